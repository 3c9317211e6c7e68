#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <csignal>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

// Ways to make a test's files impossible to write, the way a user meets
// them: permissions, a read-only mount, a full disk.

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
