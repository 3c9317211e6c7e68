#include "platform/RegularFile.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 nanoseconds(const struct timespec &time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

FileIdentity identityOf(const struct stat &info)
{
    return FileIdentity{quint64(info.st_dev), quint64(info.st_ino), qint64(info.st_size), nanoseconds(info.st_mtim),
                        nanoseconds(info.st_ctim), quint64(info.st_nlink)};
}

RegularFileContents failure(FileReadError error)
{
    return RegularFileContents{{}, std::move(error)};
}

OpenedRegularFile openingFailure(FileReadError error)
{
    OpenedRegularFile opened;
    opened.error = std::move(error);
    return opened;
}

} // namespace

std::optional<FileIdentity> FileIdentity::ofDescriptor(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

std::optional<FileIdentity> FileIdentity::ofPath(const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);
    struct stat info {};
    if (nativePath.isEmpty() || ::stat(nativePath.constData(), &info) != 0)
        return std::nullopt;
    return identityOf(info);
}

bool FileIdentity::holdsTheSameBytesAs(const FileIdentity &earlier) const
{
    return device == earlier.device && inode == earlier.inode && size == earlier.size && modified == earlier.modified
        && (statusChanged == earlier.statusChanged || links != earlier.links);
}

OpenedRegularFile RegularFile::open(const QString &path, const QString &displayName)
{
    const QByteArray nativePath = QFile::encodeName(path);
    if (nativePath.isEmpty())
        return openingFailure(FileReadError::fromSystemError(ENOENT, displayName));

    // Look before opening: opening some devices has effects of its own.
    struct stat info {};
    if (::stat(nativePath.constData(), &info) != 0)
        return openingFailure(FileReadError::fromSystemError(errno, displayName));
    if (!S_ISREG(info.st_mode))
        return openingFailure(FileReadError{FileReadError::Reason::notRegularFile, displayName, 0});

    // Non-blocking, so that a file swapped for a pipe since the look cannot
    // hang the open; checked again on the opened file below.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return openingFailure(FileReadError::fromSystemError(errno, displayName));
    auto file = std::make_unique<QFile>();
    if (!file->open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return openingFailure(FileReadError{FileReadError::Reason::readFailed, displayName, 0});
    }
    if (::fstat(fd, &info) != 0)
        return openingFailure(FileReadError::fromSystemError(errno, displayName));
    if (!S_ISREG(info.st_mode))
        return openingFailure(FileReadError{FileReadError::Reason::notRegularFile, displayName, 0});

    OpenedRegularFile opened;
    opened.file = std::move(file);
    opened.size = qint64(info.st_size);
    opened.identity = identityOf(info);
    return opened;
}

bool RegularFile::isUnchanged(const OpenedRegularFile &opened, const QString &path)
{
    if (opened.error)
        return false;
    // The file read from, and the one the path names now.
    return FileIdentity::ofDescriptor(opened.file->handle()) == opened.identity
        && FileIdentity::ofPath(path) == opened.identity;
}

RegularFileContents RegularFile::readAll(const QString &path, const QString &displayName)
{
    const OpenedRegularFile opened = open(path, displayName);
    if (opened.error)
        return failure(*opened.error);
    return readAll(opened, displayName);
}

RegularFileContents RegularFile::readAll(const OpenedRegularFile &opened, const QString &displayName,
                                         qint64 maximumSize)
{
    if (opened.error)
        return failure(*opened.error);
    const int fd = opened.file->handle();
    // Whatever was looked at before, from the start.
    if (::lseek(fd, 0, SEEK_SET) != 0)
        return failure(FileReadError::fromSystemError(errno, displayName));
    const qint64 bound = maximumSize < 0 ? std::numeric_limits<qint64>::max() : maximumSize + 1;

    QByteArray data;
    // One byte more than the file's size, so that its end shows as a read
    // of nothing without growing (and copying) the buffer.
    qsizetype capacity = qsizetype(qMin(opened.size + 1, bound));
    data.resize(capacity);
    qsizetype filled = 0;
    while (filled < bound) {
        if (filled == capacity) {
            // The file grew since it was measured: keep reading to its end.
            capacity = qsizetype(qMin<qint64>(bound, capacity + qMax<qsizetype>(capacity / 2, 64 * 1024)));
            data.resize(capacity);
        }
        const ssize_t count = ::read(fd, data.data() + filled, size_t(capacity - filled));
        if (count < 0) {
            if (errno == EINTR)
                continue;
            return failure(FileReadError::fromSystemError(errno, displayName));
        }
        if (count == 0)
            break;
        filled += count;
    }
    data.resize(filled);
    return RegularFileContents{std::move(data), std::nullopt};
}
