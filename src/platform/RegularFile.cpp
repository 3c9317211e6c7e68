#include "platform/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

RegularFileContents failure(FileReadError error)
{
    return RegularFileContents{{}, std::move(error)};
}

} // namespace

RegularFileContents RegularFile::readAll(const QString &path, const QString &displayName)
{
    const QByteArray nativePath = QFile::encodeName(path);
    if (nativePath.isEmpty())
        return failure(FileReadError::fromSystemError(ENOENT, displayName));

    // Look before opening: opening some devices has effects of its own.
    struct stat info {};
    if (::stat(nativePath.constData(), &info) != 0)
        return failure(FileReadError::fromSystemError(errno, displayName));
    if (!S_ISREG(info.st_mode))
        return failure(FileReadError{FileReadError::Reason::notRegularFile, displayName, 0});

    // Non-blocking, so that a file swapped for a pipe since the look cannot
    // hang the open; checked again on the opened file below.
    const int fd = ::open(nativePath.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return failure(FileReadError::fromSystemError(errno, displayName));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    if (::fstat(fd, &info) != 0)
        return failure(FileReadError::fromSystemError(errno, displayName));
    if (!S_ISREG(info.st_mode))
        return failure(FileReadError{FileReadError::Reason::notRegularFile, displayName, 0});

    QByteArray data;
    // One byte more than the file's size, so that its end shows as a read
    // of nothing without growing (and copying) the buffer.
    qsizetype capacity = qsizetype(info.st_size) + 1;
    data.resize(capacity);
    qsizetype filled = 0;
    for (;;) {
        if (filled == capacity) {
            // The file grew since it was measured: keep reading to its end.
            capacity = capacity + qMax<qsizetype>(capacity / 2, 64 * 1024);
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
