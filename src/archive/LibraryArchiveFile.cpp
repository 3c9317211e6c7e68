#include "archive/LibraryArchiveFile.h"

#include "archive/ZipArchive.h"
#include "archive/ZipArchiveReader.h"
#include "platform/WorkerPools.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>
#include <cerrno>
#include <numeric>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Result<QByteArray, LibraryArchiveFile::ReadError> LibraryArchiveFile::read(const QString &path)
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
    QtConcurrent::blockingMap(&WorkerPools::files(), pieces, [&](qint64 piece) {
        const qint64 at = piece * pieceSize;
        if (!failed && !readRange(bytes.data() + at, at, qMin(size, at + pieceSize)))
            failed = true;
    });
    if (failed)
        return FileReadError{FileReadError::Reason::readFailed, name, 0};
    return bytes;
}

Result<qint64, LibraryArchiveSource::ExportError> LibraryArchiveFile::write(const LibraryArchiveSource &source,
                                                                           const QString &path)
{
    StoredImageDataReader reader;
    auto planned = source.plan(reader);
    if (!planned)
        return planned.error();
    return write(source, planned.value(), reader, path);
}

Result<qint64, LibraryArchiveSource::ExportError> LibraryArchiveFile::write(const LibraryArchiveSource &source,
                                                                           LibraryArchiveSource::Plan &plan,
                                                                           StoredImageDataReader &reader,
                                                                           const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return FileWriteError{name, FileWriteError::reasonFor(file)};
    const auto writeFailed = [&] { return FileWriteError{name, FileWriteError::reasonFor(file)}; };
    // The commit syncs the file to the disk. Asking the system to start
    // writing each piece out as soon as it is written lets the disk work
    // while the rest is read, and leaves the commit little to wait for.
    qint64 written = 0;
    qint64 flushed = 0;
    const auto startWriteBack = [&](qint64 size) {
        written += size;
        constexpr qint64 piece = 32 << 20;
        if (written - flushed >= piece) {
            ::sync_file_range(file.handle(), flushed, written - flushed, SYNC_FILE_RANGE_WRITE);
            flushed = written;
        }
    };

    if (!plan.writer.writeEntry(file, plan.manifestJson))
        return writeFailed();
    startWriteBack(plan.manifestJson.size());
    for (const LibraryArchiveSource::Plan::File &entry : std::as_const(plan.files)) {
        const std::optional<QByteArray> bytes = reader.read(entry.bytes);
        if (!bytes || bytes->size() != entry.size)
            return LibraryArchiveError::unreadableImageData(source.imageTitle(entry.record));
        if (!plan.writer.writeEntry(file, *bytes))
            return writeFailed();
        startWriteBack(bytes->size());
    }
    if (!plan.writer.finish(file) || !file.commit())
        return writeFailed();
    return plan.writer.archiveSize();
}
