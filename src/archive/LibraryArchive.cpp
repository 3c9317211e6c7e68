#include "archive/LibraryArchive.h"

#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"
#include "platform/FileWorkers.h"

#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool startsWith(QByteArrayView data, const char *signature, qsizetype length, qsizetype at = 0)
{
    return data.size() >= at + length && std::memcmp(data.data() + at, signature, size_t(length)) == 0;
}

// The image type of an ISO base media file by its "ftyp" brands: the major
// brand first, then the compatible ones in order.
const char *isoMediaExtension(QByteArrayView data)
{
    if (data.size() < 16 || !startsWith(data, "ftyp", 4, 4))
        return nullptr;
    const auto *bytes = reinterpret_cast<const uchar *>(data.data());
    const qsizetype boxSize = qsizetype(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    const qsizetype end = qMin(data.size(), boxSize < 16 ? qsizetype(16) : boxSize);
    struct Brand {
        const char *code;
        const char *extension;
    };
    static constexpr Brand brands[] = {
        {"avif", "avif"}, {"avis", "avif"}, {"heic", "heic"}, {"heix", "heic"}, {"heim", "heic"},
        {"heis", "heic"}, {"hevc", "heic"}, {"hevx", "heic"}, {"mif1", "heif"}, {"msf1", "heif"},
    };
    auto extensionOf = [&](qsizetype at) -> const char * {
        for (const Brand &brand : brands) {
            if (startsWith(data, brand.code, 4, at))
                return brand.extension;
        }
        return nullptr;
    };
    if (const char *major = extensionOf(8))
        return major;
    for (qsizetype at = 16; at + 4 <= end; at += 4) {
        if (const char *compatible = extensionOf(at))
            return compatible;
    }
    return nullptr;
}

} // namespace

QString LibraryArchive::fileExtension(QByteArrayView data)
{
    struct Signature {
        const char *bytes;
        qsizetype length;
        qsizetype offset;
        const char *extension;
    };
    static const Signature signatures[] = {
        {"\x89PNG\r\n\x1A\n", 8, 0, "png"},
        {"\xFF\xD8\xFF", 3, 0, "jpeg"},
        {"GIF87a", 6, 0, "gif"},
        {"GIF89a", 6, 0, "gif"},
        {"II*\0", 4, 0, "tiff"},
        {"MM\0*", 4, 0, "tiff"},
        {"BM", 2, 0, "bmp"},
        {"\0\0\0\x0CjP  \r\n\x87\n", 12, 0, "jp2"},
        {"\xFF\x4F\xFF\x51", 4, 0, "jp2"},
        {"8BPS", 4, 0, "psd"},
        {"icns", 4, 0, "icns"},
        {"\0\0\1\0", 4, 0, "ico"},
        {"v/1\x01", 4, 0, "exr"},
        {"DDS ", 4, 0, "dds"},
    };
    for (const Signature &signature : signatures) {
        if (startsWith(data, signature.bytes, signature.length, signature.offset))
            return QLatin1String(signature.extension);
    }
    if (startsWith(data, "RIFF", 4) && startsWith(data, "WEBP", 4, 8))
        return QStringLiteral("webp");
    if (const char *extension = isoMediaExtension(data))
        return QLatin1String(extension);
    return QStringLiteral("dat");
}

Result<QByteArray, LibraryArchive::ReadFileError> LibraryArchive::readFile(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return FileReadError::fromSystemError(errno, name);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return FileReadError::fromSystemError(errno, name);
    if (!S_ISREG(info.st_mode))
        return FileReadError{FileReadError::Reason::notRegularFile, name, 0};

    // Reads [at, end) of the file into `into`; false on an error or a file
    // that shrank meanwhile.
    const auto readRange = [fd](char *into, qint64 at, qint64 end) {
        while (at < end) {
            const ssize_t got = ::pread(fd, into, size_t(end - at), off_t(at));
            if (got > 0) {
                at += got;
                into += got;
            } else if (got == 0 || errno != EINTR) {
                return false;
            }
        }
        return true;
    };
    const qint64 size = info.st_size;
    if (size > ZipArchiveReader::maximumArchiveSize) {
        const qint64 tailSize = qMin<qint64>(size, 22 + 0xFFFF);
        QByteArray tail(tailSize, Qt::Uninitialized);
        if (!readRange(tail.data(), size - tailSize, size))
            return FileReadError{FileReadError::Reason::readFailed, name, errno};
        return ZipArchiveReader::tooLargeToRead(tail);
    }

    QByteArray bytes = ZipArchive::largeBuffer(size);
    constexpr qint64 pieceSize = 8 << 20;
    std::vector<qint64> pieces(size_t((size + pieceSize - 1) / pieceSize));
    std::iota(pieces.begin(), pieces.end(), 0);
    std::atomic<bool> failed{false};
    QtConcurrent::blockingMap(&FileWorkers::pool(), pieces, [&](qint64 piece) {
        const qint64 at = piece * pieceSize;
        if (!failed && !readRange(bytes.data() + at, at, qMin(size, at + pieceSize)))
            failed = true;
    });
    if (failed)
        return FileReadError{FileReadError::Reason::readFailed, name, 0};
    return bytes;
}
