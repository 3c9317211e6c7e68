#include "archive/LibraryArchiveError.h"

QString LibraryArchiveError::description() const
{
    switch (kind) {
    case Kind::unsupportedFormatVersion:
        return QStringLiteral("The archive was written in format %1, which this version of Veloran can't read.")
            .arg(version);
    case Kind::missingImageFile:
        return QStringLiteral("The archive is missing the image file \u201C%1\u201D.").arg(path);
    case Kind::missingManifest:
        return QStringLiteral("The archive doesn't contain a library.json manifest.");
    case Kind::unreadableImageData:
        return QStringLiteral("The image data of \u201C%1\u201D can't be read, so the archive wasn't written.").arg(path);
    }
    return {};
}
