#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QUuid>

#include <csignal>
#include <optional>

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Ways to make a test's files impossible to write, the way a user meets
// them: permissions, a read-only mount, a full disk; and to see whether
// what was written has reached the disk, as it must before a power cut.

namespace writebarriers {

// The system's count of a file's pages in memory (cachestat(), Linux 6.5).
struct CachedPages {
    quint64 cached = 0, unwritten = 0, beingWritten = 0, evicted = 0, recentlyEvicted = 0;
};

inline std::optional<CachedPages> cachedPages(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    struct {
        quint64 offset = 0, length = 0; // the whole file
    } range;
    CachedPages pages;
    const long cachestat = 451; // the same number on every architecture
    const bool counted = ::syscall(cachestat, fd, &range, &pages, 0) == 0;
    ::close(fd);
    return counted ? std::optional(pages) : std::nullopt;
}

} // namespace writebarriers

// Whether everything written to the file at `path` has reached its disk,
// none of it waiting in memory to be written back: what fdatasync() makes
// sure of. None where the system can't tell: a kernel before 6.5, or a
// disk kept in memory (tmpfs), whose pages never wait for the disk; a
// file written without a sync beside it shows which.
inline std::optional<bool> writtenToDisk(const QString &path)
{
    const QString probe = QFileInfo(path).dir().filePath(QUuid::createUuid().toString(QUuid::WithoutBraces));
    QFile unsynced(probe);
    const bool written = unsynced.open(QIODevice::WriteOnly) && unsynced.write("unsynced") == 8 && unsynced.flush();
    unsynced.close();
    const std::optional<writebarriers::CachedPages> probed = writebarriers::cachedPages(probe);
    QFile::remove(probe);
    if (!written || !probed || probed->unwritten == 0)
        return std::nullopt;
    const std::optional<writebarriers::CachedPages> pages = writebarriers::cachedPages(path);
    if (!pages)
        return std::nullopt;
    return pages->unwritten == 0 && pages->beingWritten == 0;
}

// While it lives, no file of this process may grow beyond `bytes`, as on a
// disk that fills up.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN); // a failed write, not a killed process
        getrlimit(RLIMIT_FSIZE, &m_before);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_before); }

private:
    rlimit m_before{};
};

// While it lives, the calling thread obeys file permissions even as root:
// it gives up, in its effective set only, the capabilities that override
// them (the process keeps them and takes them back at the end). Without
// root nothing changes: permissions hold anyway.
class PermissionsObeyed {
public:
    PermissionsObeyed()
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_before) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_before[0], m_before[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        m_changed = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~PermissionsObeyed()
    {
        if (!m_changed)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, m_before);
    }
    PermissionsObeyed(const PermissionsObeyed &) = delete;
    PermissionsObeyed &operator=(const PermissionsObeyed &) = delete;

private:
    __user_cap_data_struct m_before[2]{};
    bool m_changed = false;
};

// Gives the test process mounts of its own, which go with it however it
// ends: call from the test's initMain(), before any thread starts. False
// where the process may not (no privilege to mount, as in most containers).
inline bool enterPrivateMounts()
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

// While it lives, `folder` (and all in it) is a read-only mount. Needs
// enterPrivateMounts(); isMounted() says whether it worked.
class ReadOnlyMount {
public:
    explicit ReadOnlyMount(const QString &folder)
        : m_folder(QFile::encodeName(folder))
    {
        m_mounted = ::mount(m_folder.constData(), m_folder.constData(), nullptr, MS_BIND, nullptr) == 0;
        if (m_mounted
            && ::mount(nullptr, m_folder.constData(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            ::umount2(m_folder.constData(), MNT_DETACH);
            m_mounted = false;
        }
    }
    ~ReadOnlyMount()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    ReadOnlyMount(const ReadOnlyMount &) = delete;
    ReadOnlyMount &operator=(const ReadOnlyMount &) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

// While it lives, the file or folder at `path` is a mount point (bound onto
// itself): it can be written, but neither removed nor renamed. Needs
// enterPrivateMounts(); isMounted() says whether it worked.
class BusyMountPoint {
public:
    explicit BusyMountPoint(const QString &path)
        : m_path(QFile::encodeName(path))
    {
        m_mounted = ::mount(m_path.constData(), m_path.constData(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BusyMountPoint()
    {
        if (m_mounted)
            ::umount2(m_path.constData(), MNT_DETACH);
    }
    BusyMountPoint(const BusyMountPoint &) = delete;
    BusyMountPoint &operator=(const BusyMountPoint &) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_path;
    bool m_mounted = false;
};

// While it lives, `folder` is a disk of `bytes` (a tmpfs), empty at first.
// Needs enterPrivateMounts(); isMounted() says whether it worked.
class SmallDisk {
public:
    SmallDisk(const QString &folder, qint64 bytes)
        : m_folder(QFile::encodeName(folder))
    {
        const QByteArray options = "size=" + QByteArray::number(bytes);
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;
    bool isMounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};
