#include "platform/LibraryLock.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

LibraryLock::~LibraryLock()
{
    unlock();
}

LibraryLock::Outcome LibraryLock::tryLock(const QString &folder)
{
    if (isLocked())
        return Outcome::locked;
    m_systemError = 0;
    // Not inherited by programs this process starts: the lock must go with
    // this process alone.
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        m_systemError = errno;
        return Outcome::failed;
    }
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK)
            return Outcome::heldElsewhere;
        m_systemError = error;
        return Outcome::failed;
    }
    m_fd = fd;
    return Outcome::locked;
}

void LibraryLock::unlock()
{
    if (m_fd < 0)
        return;
    // Closing the only descriptor of the open folder releases its lock.
    ::close(m_fd);
    m_fd = -1;
}
