#include "archive/ZipArchiveError.h"

QString ZipArchiveError::description() const
{
    switch (kind) {
    case Kind::unsupportedCompression:
        return QStringLiteral("The archive uses an unsupported compression method (%1).").arg(method);
    case Kind::checksumMismatch:
        return QStringLiteral("\u201C%1\u201D failed its checksum and may be damaged.").arg(path);
    case Kind::notAZipArchive:
        return QStringLiteral("The file isn't a zip archive.");
    case Kind::truncated:
        return QStringLiteral("The archive is incomplete or damaged.");
    case Kind::unsupportedZip64:
        return QStringLiteral("Zip64 archives aren't supported.");
    case Kind::archiveTooLarge:
        return QStringLiteral("The archive is too large to write in the zip format.");
    }
    return {};
}
