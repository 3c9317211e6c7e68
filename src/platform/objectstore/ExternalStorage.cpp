#include "platform/objectstore/ExternalStorage.h"

#include "platform/FileWriteError.h"
#include "platform/LibraryLock.h"
#include "platform/WorkerPools.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QUuid>
#include <QWaitCondition>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The lock file that earlier versions of the store kept in the folder (the
// folder itself is locked now): it holds nothing of a library's.
const QString lockName = QStringLiteral(".lock");
const QString temporarySuffix = QStringLiteral(".tmp");
// The subfolder of the records of staged files.
const QString recordsName = QStringLiteral(".staged");
// What opening reads of one record, and of all: a record of the largest
// save names a few hundred thousand files.
constexpr qint64 recordBound = qint64(16) << 20;
constexpr qint64 recordsBound = qint64(64) << 20;

QString filePath(const QString &folder, const QString &name)
{
    return folder + QLatin1Char('/') + name;
}

struct NewFile {
    QString name;
    QByteArray bytes;
    std::shared_ptr<StagingRecord> record; // kept until the file is taken or removed
};

// A file offered by name (PreparedFiles): the record that names it, and the
// prepared values that hold it.
struct NamedOffer {
    std::shared_ptr<StagingRecord> record;
    std::weak_ptr<void> holder;
};

// A prepared file as its preparation knows it: by name and by the address
// of its bytes, which it doesn't keep (none for a file that PreparedFiles
// wrote).
struct OfferedFile {
    const char *key;
    QString name;
};

// Writes all of `size` bytes to `fd`; false when that fails (errno says
// why). A write cut short goes on: the one that fails says why.
bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// The same to `out`, opened; on failure answers why.
std::optional<QString> writeAll(QFile &out, QByteArrayView bytes)
{
    if (writeAll(out.handle(), bytes.data(), bytes.size()))
        return std::nullopt;
    return FileWriteError::reasonFor(errno);
}

// Makes `folder` and its parents; on failure answers why.
std::optional<QString> makeFolder(const QString &folder)
{
    if (QDir().mkpath(folder))
        return std::nullopt;
    // Making the folder itself again says why it can't be made.
    return FileWriteError::reasonFor(::mkdir(QFile::encodeName(folder).constData(), 0777) == 0 ? EIO : errno);
}

// Syncs `out` (a temporary file written whole, or not when `failed`) and
// gives it the name `target`. On failure removes it and answers why.
std::optional<QString> syncAndRename(QFile &out, std::optional<QString> failed, const QString &target)
{
    // On disk before the transaction that names the file commits, so a
    // power cut can't leave a stored row with a short file.
    if (!failed && ::fdatasync(out.handle()) != 0)
        failed = FileWriteError::reasonFor(errno);
    out.close();
    if (!failed && out.error() != QFileDevice::NoError)
        failed = FileWriteError::reasonFor(out);
    if (!failed && ::rename(QFile::encodeName(out.fileName()).constData(), QFile::encodeName(target).constData()) != 0)
        failed = FileWriteError::reasonFor(errno);
    if (failed)
        out.remove();
    return failed;
}

bool writeFile(const QString &folder, const NewFile &file, QString *error)
{
    const QString target = filePath(folder, file.name);
    const QString temporary = target + temporarySuffix;
    QFile out(temporary);
    std::optional<QString> failed;
    // A new file of a name never used: whatever is there (a link) is not
    // written through.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        failed = FileWriteError::reasonFor(out);
    else
        failed = syncAndRename(out, writeAll(out, file.bytes), target);
    if (failed)
        *error = *failed;
    return !failed;
}

void removeFiles(const QString &folder, const QList<NewFile> &files)
{
    for (const NewFile &file : files) {
        QFile::remove(filePath(folder, file.name));
        QFile::remove(filePath(folder, file.name + temporarySuffix));
    }
}

// Writes the files into `folder` (several at a time), then syncs the
// folder. On failure removes every one of them and returns the error.
std::optional<QString> writeFiles(const QString &folder, const QList<NewFile> &files)
{
    if (files.isEmpty())
        return std::nullopt;
    if (const std::optional<QString> failed = makeFolder(folder))
        return failed;
    std::atomic<bool> failed{false};
    QString error;
    QMutex errorLock;
    const auto write = [&](const NewFile &file) {
        if (failed)
            return;
        QString message;
        if (!writeFile(folder, file, &message)) {
            failed = true;
            const QMutexLocker locker(&errorLock);
            error = message;
        }
    };
    // The calling thread writes too, helped by the workers of the files pool
    // that are free now: it never waits for a busy pool, which may be busy
    // with preparations that are themselves in here.
    std::atomic<qsizetype> next{0};
    const auto writeSome = [&] {
        for (qsizetype i = next++; i < files.size(); i = next++)
            write(files.at(i));
    };
    // Shared with the helpers: a semaphore's release may still touch it
    // after the waiting thread has gone on (the wake that follows the count).
    const auto helpersDone = std::make_shared<QSemaphore>();
    int helpers = 0;
    while (helpers < files.size() - 1 && WorkerPools::files().tryStart([&writeSome, helpersDone] {
        writeSome();
        helpersDone->release();
    }))
        ++helpers;
    writeSome();
    helpersDone->acquire(helpers);
    // The new names themselves are made durable with the folder.
    if (!failed && !ExternalStorage::syncFolder(folder)) {
        failed = true;
        error = FileWriteError::reasonFor(errno);
    }
    if (failed) {
        removeFiles(folder, files);
        return error;
    }
    return std::nullopt;
}

// Whether `name` can only name an entry of a folder itself.
bool isPlainName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QLatin1Char('/'))
        && !name.contains(QChar(0)) && QFile::encodeName(name).size() <= NAME_MAX;
}

// Whether a record may name `name`: a file of the folder itself.
bool isStagedName(const QString &name)
{
    return isPlainName(name) && !name.startsWith(QLatin1Char('.'));
}

// The subfolder of the records of `folder`, opened when it is a folder
// itself (a link to one is not followed); -1 otherwise, with errno.
int openRecords(const QString &folder)
{
    return ::open(QFile::encodeName(filePath(folder, recordsName)).constData(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

// Opens the regular file `name` of the folder open as `folder` (AT_FDCWD:
// `name` is a path) to read it: a link is not followed, and a pipe or a
// device is refused once open, without waiting for a writer. -1 when it
// is not such a file; else what it is (its size, its links) is in `status`.
int openRegularFile(int folder, const char *name, struct stat *status)
{
    const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (::fstat(fd, status) != 0 || !S_ISREG(status->st_mode)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Up to `bound` bytes of the file open as `fd`, from its start.
QByteArray readUpTo(int fd, qint64 bound)
{
    QByteArray bytes(bound, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t count = ::pread(fd, bytes.data() + filled, size_t(bytes.size() - filled), filled);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        filled += count;
    }
    bytes.truncate(filled);
    return bytes;
}

// The key of `name` when it is one the storage gives a file while it
// writes it: a new file's name (newFileName(), written as it writes it)
// and ".tmp"; else null. Told at a glance for most names: opening asks for
// every file of the folder.
QUuid temporaryKey(const char *name)
{
    constexpr size_t keyLength = 36; // newFileName()
    if (std::strlen(name) != keyLength + 4 || std::memcmp(name + keyLength, ".tmp", 4) != 0)
        return {};
    const QUuid key = QUuid::fromString(QLatin1String(name, keyLength));
    if (key.isNull() || std::memcmp(key.toByteArray(QUuid::WithoutBraces).constData(), name, keyLength) != 0)
        return {};
    return key;
}

QByteArray temporaryName(const QUuid &key)
{
    return key.toByteArray(QUuid::WithoutBraces) + ".tmp";
}

// The folder `path` opened to list it, or -1.
int openFolder(const QString &path)
{
    return path.isEmpty() ? -1 : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// The storage's temporary files found in a folder: the folder, held open
// (they are removed from the folder that was listed), and the key and
// inode of each file. Moves only.
struct LeftTemporaries {
    struct File {
        ino_t inode;
        QUuid key;
    };

    int folder = -1;
    std::vector<File> files;

    LeftTemporaries() = default;
    LeftTemporaries(LeftTemporaries &&other) noexcept
        : folder(std::exchange(other.folder, -1)), files(std::move(other.files)) {}
    LeftTemporaries &operator=(LeftTemporaries &&other) noexcept
    {
        std::swap(folder, other.folder);
        std::swap(files, other.files);
        return *this;
    }
    ~LeftTemporaries()
    {
        if (folder >= 0)
            ::close(folder);
    }
};

// The storage's temporary files (temporaryKey()) in the folder `path`:
// regular files only, a link not followed. Told from the listing alone
// where the file system gives each entry's type (one system call for
// hundreds of files), else asked of each. In the order of their inodes,
// which a file system such as ext4 removes several times faster than in
// the listing's order (find and rm sort them so too). Nothing once `stop`
// is set.
LeftTemporaries listTemporaries(const QString &path, const std::atomic<bool> &stop)
{
    LeftTemporaries left;
    left.folder = openFolder(path);
    const int listed = left.folder >= 0 ? ::dup(left.folder) : -1;
    DIR *listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!listing) {
        if (listed >= 0)
            ::close(listed);
        return left;
    }
    while (const dirent *entry = ::readdir(listing)) {
        if (stop.load(std::memory_order_relaxed)) {
            left.files.clear();
            break;
        }
        const QUuid key = temporaryKey(entry->d_name);
        if (key.isNull())
            continue;
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat status;
            regular = ::fstatat(left.folder, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode);
        }
        if (regular)
            left.files.push_back({entry->d_ino, key});
    }
    ::closedir(listing);
    std::sort(left.files.begin(), left.files.end(),
              [](const LeftTemporaries::File &a, const LeftTemporaries::File &b) { return a.inode < b.inode; });
    return left;
}

// The name setAside() gives the files of `folder` kept at `when`, before
// the number that tells it from one taken.
QString keptFolderName(const QString &folder, const QDateTime &when)
{
    return QStringLiteral("%1 (kept %2)").arg(folder, when.toString(QStringLiteral("yyyy-MM-dd HH.mm")));
}

// Whether `name` is one that setAside() gives the files of the folder
// named `folderName` (keptFolderName(), with or without a number).
bool isKeptFolderName(const QString &name, const QString &folderName)
{
    static const QRegularExpression stamp(
        QStringLiteral("^ \\(kept [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}\\.[0-9]{2}\\)(?: [1-9][0-9]*)?$"));
    return name.startsWith(folderName) && stamp.match(name.mid(folderName.size())).hasMatch();
}

// Why the entry `status` describes is not a note of the store's own, or
// null when it is one: only a regular file with no other link is. A hard
// link to a file elsewhere is that file as much as the note: nothing of the
// store's may be written into it.
const char *notOwnNote(const struct stat &status)
{
    if (!S_ISREG(status.st_mode))
        return "is not a regular file";
    return status.st_nlink == 1 ? nullptr : "has other links to it, so it is not the store's own";
}

// A line added to the note of kept folders, and taken back when what it
// names could not be kept after all: the note is then as it was before, or
// gone when this made it.
class NoteLine {
public:
    NoteLine() = default;
    NoteLine(const NoteLine &) = delete;
    NoteLine &operator=(const NoteLine &) = delete;
    ~NoteLine()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Adds `line` to the note at `path` (made when missing), on the disk
    // with its folder's entry. False with errno when that failed (nothing
    // of it is left then); false with errno 0 and why in `whyNot` when the
    // note is not the store's own (notOwnNote()): a link is not followed, a
    // pipe not waited for, and nothing is written.
    bool add(const QString &path, const QByteArray &line, const char **whyNot)
    {
        m_path = QFile::encodeName(path);
        m_folder = QFileInfo(path).absolutePath();
        const int flags = O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
        int fd = ::open(m_path.constData(), flags);
        if (fd < 0 && errno == ENOENT) {
            fd = ::open(m_path.constData(), flags | O_CREAT | O_EXCL, 0644);
            m_created = fd >= 0;
            if (fd < 0 && errno == EEXIST) // made meanwhile, or a link
                fd = ::open(m_path.constData(), flags);
        }
        if (fd < 0) {
            // A link; a pipe or socket without a reader; a folder.
            if (errno == ELOOP || errno == ENXIO || errno == EISDIR || errno == EWOULDBLOCK) {
                *whyNot = "is not a regular file";
                errno = 0;
            }
            return false;
        }
        struct stat status;
        if (::fstat(fd, &status) != 0) {
            const int statError = errno;
            ::close(fd);
            errno = statError;
            return false;
        }
        if ((*whyNot = notOwnNote(status))) {
            ::close(fd);
            errno = 0;
            return false;
        }
        m_fd = fd;
        m_sizeBefore = status.st_size;
        if (writeAll(m_fd, line.constData(), line.size()) && ::fdatasync(m_fd) == 0
            && ExternalStorage::syncFolder(m_folder))
            return true;
        const int writeError = errno;
        undo();
        errno = writeError;
        return false;
    }

    // Takes the line back, if one was added.
    void undo()
    {
        if (m_fd < 0)
            return;
        if (m_created) {
            // Only the file this made, should another have taken its name.
            struct stat made, named;
            if (::fstat(m_fd, &made) == 0 && ::lstat(m_path.constData(), &named) == 0 && made.st_dev == named.st_dev
                && made.st_ino == named.st_ino)
                ::unlink(m_path.constData());
        } else if (::ftruncate(m_fd, m_sizeBefore) == 0) {
            ::fdatasync(m_fd);
        }
        ::close(m_fd);
        m_fd = -1;
        ExternalStorage::syncFolder(m_folder);
    }

private:
    int m_fd = -1;
    QByteArray m_path;
    QString m_folder;
    bool m_created = false;
    off_t m_sizeBefore = 0;
};

// The names of the records in `records` (opened by openRecords()): its
// regular files, a link not followed. Closes `records`.
QList<QByteArray> recordEntries(int records)
{
    QList<QByteArray> entries;
    DIR *listing = ::fdopendir(records);
    if (!listing) {
        ::close(records);
        return entries;
    }
    while (const dirent *entry = ::readdir(listing)) {
        struct stat status;
        if (::fstatat(::dirfd(listing), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            entries << QByteArray(entry->d_name);
    }
    ::closedir(listing);
    return entries;
}

// Whether the entry at `path` is gone, or never was one of the store's
// files: those are files, so a folder there is left as it is.
bool removeRecordedFile(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status;
    if (::lstat(name.constData(), &status) != 0)
        return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG;
    if (S_ISDIR(status.st_mode))
        return true;
    return ::unlink(name.constData()) == 0 || errno == ENOENT;
}

// Whether the bytes are in a block the QByteArray shares in (not taken
// from raw data).
bool ownsItsBytes(const QByteArray &bytes)
{
    return const_cast<QByteArray &>(bytes).data_ptr().d_ptr() != nullptr;
}


} // namespace

// What the storage shares with the threads that prepare files and with the
// prepared files themselves, which may outlive it: the folder's lock and the
// files written ahead of their save. Thread-safe.
class ExternalFolder {
public:
    explicit ExternalFolder(const QString &path) : path(path) {}

    const QString path;

    // With `whyNot`, why it failed in the user's words.
    bool lock(QString *whyNot = nullptr)
    {
        // Nothing of this process is written before the left temporary
        // files are listed: none of them is ever taken for one left.
        awaitListing();
        QMutexLocker locker(&m_lockMutex);
        if (m_lockHolders == 0 && !takeLock(whyNot))
            return false;
        ++m_lockHolders;
        return true;
    }

    void unlock()
    {
        const QMutexLocker locker(&m_lockMutex);
        if (m_lockHolders > 0 && --m_lockHolders == 0)
            m_lock.unlock();
    }

    // From now until the left temporary files are listed, lock() waits.
    void beginClearing()
    {
        const QMutexLocker locker(&m_clearingMutex);
        m_listing = Listing::pending;
    }

    // Removes the temporary files a process cut short left (see
    // ExternalStorage::clearTemporariesLater()), until stopClearing().
    void clearTemporaries()
    {
        {
            const QMutexLocker locker(&m_clearingMutex);
            if (m_stopped)
                return;
            m_clearingRuns = true;
        }
        awaitListing();
        LeftTemporaries left;
        {
            const QMutexLocker locker(&m_clearingMutex);
            left = std::move(m_left);
        }
        if (!left.files.empty() && !m_stopped) {
            // Another process's files are temporaries only while it writes
            // them, under the lock: once it is ours, those listed have
            // been renamed into place or were left. This process's own
            // holders share it: none of their files was listed.
            QString whyNot;
            bool locked = false;
            {
                QMutexLocker locker(&m_lockMutex);
                locked = m_lockHolders > 0 || takeLock(&whyNot, &m_stopped);
                if (locked)
                    ++m_lockHolders;
            }
            if (locked) {
                // What stands at a listed name is the file listed, or
                // nothing: the store makes nothing else of a name it gives
                // a file, nor gives a name twice (a folder put there is not
                // removed all the same).
                for (const LeftTemporaries::File &file : left.files) {
                    if (m_stopped.load(std::memory_order_relaxed))
                        break;
                    ::unlinkat(left.folder, temporaryName(file.key).constData(), 0);
                }
                unlock();
            } else if (!m_stopped) {
                qWarning("Store: left temporary files are kept for now: %s", qPrintable(whyNot));
            }
        }
        const QMutexLocker locker(&m_clearingMutex);
        m_clearingRuns = false;
        m_clearingChanged.wakeAll();
    }

    // Stops the clearing between two files and waits until it has let the
    // lock go; the clearing that has not begun never will.
    void stopClearing()
    {
        QMutexLocker locker(&m_clearingMutex);
        m_stopped = true;
        while (m_clearingRuns)
            m_clearingChanged.wait(locker.mutex());
        m_left = LeftTemporaries();
    }

    // The files are on disk: a save may take them.
    void offer(const QList<NewFile> &files)
    {
        const QMutexLocker locker(&m_offersMutex);
        for (const NewFile &file : files)
            m_offers.emplace(file.bytes.constData(), file);
    }

    // The file offered for these bytes (its name and record), which from
    // now on belongs to the caller; none if there is none.
    std::optional<NewFile> take(const QByteArray &bytes)
    {
        const QMutexLocker locker(&m_offersMutex);
        auto [first, last] = m_offers.equal_range(bytes.constData());
        for (auto offer = first; offer != last; ++offer) {
            if (offer->second.bytes.size() == bytes.size()) {
                NewFile file{offer->second.name, QByteArray(), offer->second.record};
                m_offers.erase(offer);
                return file;
            }
        }
        return std::nullopt;
    }

    // Files offered by name (PreparedFiles), with the record that names them
    // and the prepared values that hold them.
    void offerNamed(const QStringList &names, const std::shared_ptr<StagingRecord> &record,
                    const std::weak_ptr<void> &holder)
    {
        const QMutexLocker locker(&m_offersMutex);
        for (const QString &name : names)
            m_namedOffers.insert(name, {record, holder});
    }

    std::optional<NamedOffer> takeNamed(const QString &name)
    {
        const QMutexLocker locker(&m_offersMutex);
        const auto offer = m_namedOffers.constFind(name);
        if (offer == m_namedOffers.cend())
            return std::nullopt;
        NamedOffer taken = offer.value();
        m_namedOffers.erase(offer);
        return taken;
    }

    // A file taken by name by a save that failed is offered again while its
    // holder lives, for the next save, and goes when the holder does; false
    // when the holder has gone: the file is then the caller's to remove.
    bool offerAgain(const QString &name, const NamedOffer &offer)
    {
        // Held until the offer is in: a holder that goes meanwhile finds it.
        const std::shared_ptr<void> holder = offer.holder.lock();
        if (!holder)
            return false;
        const QMutexLocker locker(&m_offersMutex);
        m_namedOffers.insert(name, offer);
        return true;
    }

    // Removes those of the files that are still offered; from the thread
    // that made the storage (the GUI thread) on the files pool, where their
    // bytes are let go too (a gigabyte takes a while to free).
    void withdraw(const QList<OfferedFile> &files)
    {
        QList<NewFile> left;
        {
            const QMutexLocker locker(&m_offersMutex);
            for (const OfferedFile &file : files) {
                if (!file.key) {
                    if (const auto offer = m_namedOffers.constFind(file.name); offer != m_namedOffers.cend()) {
                        left.append({file.name, QByteArray(), offer->record});
                        m_namedOffers.erase(offer);
                    }
                    continue;
                }
                auto [first, last] = m_offers.equal_range(file.key);
                for (auto offer = first; offer != last; ++offer) {
                    if (offer->second.name == file.name) {
                        left.append(std::move(offer->second));
                        m_offers.erase(offer);
                        break;
                    }
                }
            }
        }
        if (left.isEmpty())
            return;
        // Their records go once they are removed.
        if (QThread::currentThread() == m_madeOn)
            WorkerPools::files().start([folder = path, left = std::move(left)] { removeFiles(folder, left); });
        else
            removeFiles(path, left);
    }

private:
    // Lists the left temporary files once, on the first thread that needs
    // them listed (the clearing's, or a save's that comes first); the others
    // wait for that.
    void awaitListing()
    {
        QMutexLocker locker(&m_clearingMutex);
        if (m_listing == Listing::pending) {
            m_listing = Listing::underway;
            locker.unlock();
            LeftTemporaries left = listTemporaries(path, m_stopped);
            locker.relock();
            if (!m_stopped)
                m_left = std::move(left);
            m_listing = Listing::done;
            m_clearingChanged.wakeAll();
        }
        while (m_listing == Listing::underway)
            m_clearingChanged.wait(locker.mutex());
    }

    // Takes the system's lock, waiting a while for another holder (and no
    // longer once `stop` is set); with `whyNot`, why it failed. Under
    // m_lockMutex.
    bool takeLock(QString *whyNot, const std::atomic<bool> *stop = nullptr)
    {
        const auto fail = [whyNot](const QString &reason) {
            if (whyNot)
                *whyNot = reason;
            return false;
        };
        if (path.isEmpty())
            return fail(QStringLiteral("the library keeps no files"));
        if (const std::optional<QString> failed = makeFolder(path))
            return fail(*failed);
        // A long save holds it: another one waits a while.
        const QDeadlineTimer deadline(10000);
        LibraryLock::Outcome outcome = m_lock.tryLock(path);
        while (outcome == LibraryLock::Outcome::heldElsewhere && !deadline.hasExpired() && !(stop && *stop)) {
            QThread::msleep(20);
            outcome = m_lock.tryLock(path);
        }
        if (outcome == LibraryLock::Outcome::heldElsewhere)
            return fail(QCoreApplication::translate("ModelContext", "another program is writing the library's files"));
        if (outcome == LibraryLock::Outcome::failed)
            return fail(FileWriteError::reasonFor(m_lock.systemError()));
        return true;
    }

    QThread *const m_madeOn = QThread::currentThread();
    QMutex m_lockMutex;
    LibraryLock m_lock;
    int m_lockHolders = 0;
    // The clearing of left temporary files.
    enum class Listing { none, pending, underway, done };
    QMutex m_clearingMutex;
    QWaitCondition m_clearingChanged;
    Listing m_listing = Listing::none;
    LeftTemporaries m_left; // listed, not yet taken by the clearing
    bool m_clearingRuns = false;
    std::atomic<bool> m_stopped{false};
    QMutex m_offersMutex;
    // By the address of the bytes, which the offer's own copy keeps alive:
    // only a QByteArray sharing them has that address.
    std::unordered_multimap<const char *, NewFile> m_offers;
    QHash<QString, NamedOffer> m_namedOffers;
};

struct PreparedValues::Files {
    std::shared_ptr<ExternalFolder> folder;
    QList<OfferedFile> files;

    ~Files()
    {
        folder->withdraw(files);
        folder->unlock();
    }
};

struct PreparedFiles::State {
    std::shared_ptr<ExternalFolder> folder;
    QMutex mutex;
    bool locked = false;
    bool offered = false;
    std::shared_ptr<StagingRecord> record; // every file made, from before it is made
    QStringList completed;
    std::optional<QString> error;

    ~State()
    {
        if (offered)
            return;
        for (const QString &name : std::as_const(completed))
            QFile::remove(filePath(folder->path, name));
        if (locked)
            folder->unlock();
    }
};

PreparedFiles::Writer::~Writer()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_completed)
        QFile::remove(filePath(m_folder, m_name + temporarySuffix));
}

bool PreparedFiles::Writer::write(QByteArrayView piece)
{
    return writeAll(m_fd, piece.data(), piece.size());
}

bool PreparedFiles::Writer::complete()
{
    // On disk before the transaction that names the file commits.
    bool ok = ::fdatasync(m_fd) == 0;
    ok = ::close(m_fd) == 0 && ok;
    m_fd = -1;
    const QString target = filePath(m_folder, m_name);
    ok = ok
        && ::rename(QFile::encodeName(target + temporarySuffix).constData(), QFile::encodeName(target).constData()) == 0;
    m_completed = ok;
    return ok;
}

std::unique_ptr<PreparedFiles::Writer> PreparedFiles::create()
{
    const QMutexLocker locker(&m->mutex);
    if (m->error)
        return nullptr;
    // Locked from the first file until the files are taken or let go.
    if (!m->locked) {
        QString whyNot;
        if (!m->folder->lock(&whyNot)) {
            m->error = whyNot;
            return nullptr;
        }
        m->locked = true;
    }
    const QString name = ExternalStorage::newFileName();
    if (const std::optional<QString> failed = StagingRecord::add(m->record, m->folder->path, {name})) {
        m->error = *failed;
        return nullptr;
    }
    const QByteArray path = QFile::encodeName(filePath(m->folder->path, name + temporarySuffix));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        m->error = FileWriteError::reasonFor(errno);
        return nullptr;
    }
    // Known from now on: a file completed later is removed with the rest
    // when the files are never offered.
    m->completed.append(name);
    return std::unique_ptr<Writer>(new Writer(m, m->folder->path, name, fd));
}

std::optional<ModelStoreError> PreparedFiles::error() const
{
    const QMutexLocker locker(&m->mutex);
    return m->error ? std::optional(ModelStoreError::saveFailed(*m->error)) : std::nullopt;
}

void PreparedFiles::setError(const QString &reason)
{
    const QMutexLocker locker(&m->mutex);
    if (!m->error)
        m->error = reason;
}

PreparedValues PreparedFiles::offer()
{
    const QMutexLocker locker(&m->mutex);
    if (m->error)
        return PreparedValues(ModelStoreError::saveFailed(*m->error));
    if (m->completed.isEmpty())
        return PreparedValues();
    // The new names themselves are made durable with the folder.
    if (!ExternalStorage::syncFolder(m->folder->path))
        return PreparedValues(ModelStoreError::saveFailed(FileWriteError::reasonFor(errno)));
    auto files = std::make_shared<PreparedValues::Files>();
    files->folder = m->folder;
    for (const QString &name : std::as_const(m->completed))
        files->files.append({nullptr, name});
    m->folder->offerNamed(m->completed, m->record, files);
    // From here the offered files remove what no save takes, and let the
    // lock go.
    m->offered = true;
    PreparedValues values;
    values.m_files = std::move(files);
    return values;
}

ExternalStorage::ExternalStorage(const QString &folder)
    : m_folder(folder)
    , m_shared(std::make_shared<ExternalFolder>(folder))
{
}

ExternalStorage::~ExternalStorage()
{
    discard();
    // Closing doesn't wait for the clearing: the next opening clears the
    // rest.
    stopClearing();
}

QString ExternalStorage::path(const QString &name) const
{
    return filePath(m_folder, name);
}

QFuture<PreparedValues> ExternalStorage::prepare(const QList<QByteArray> &values) const
{
    QList<NewFile> files;
    for (const QByteArray &bytes : values) {
        // Bytes that the QByteArray doesn't own (fromRawData) may change or
        // go, and their address be taken by others: left to the save.
        if (keepsInFile(bytes) && ownsItsBytes(bytes))
            files.append({ExternalStorage::newFileName(), bytes, nullptr});
    }
    if (files.isEmpty())
        return QtFuture::makeReadyFuture(PreparedValues());
    return QtConcurrent::run(&WorkerPools::files(), [folder = m_shared, files = std::move(files)]() mutable {
        // Locked until the files are taken or let go.
        QString whyNot;
        if (!folder->lock(&whyNot))
            return PreparedValues(ModelStoreError::saveFailed(whyNot));
        auto prepared = std::make_shared<PreparedValues::Files>();
        prepared->folder = folder;
        QStringList names;
        for (const NewFile &file : files)
            names << file.name;
        std::shared_ptr<StagingRecord> record;
        if (const std::optional<QString> failed = StagingRecord::add(record, folder->path, names))
            return PreparedValues(ModelStoreError::saveFailed(*failed));
        if (const std::optional<QString> failed = writeFiles(folder->path, files))
            return PreparedValues(ModelStoreError::saveFailed(*failed));
        for (NewFile &file : files) {
            prepared->files.append({file.bytes.constData(), file.name});
            file.record = record;
        }
        folder->offer(files);
        PreparedValues values;
        values.m_files = std::move(prepared);
        return values;
    });
}

std::optional<PreparedFiles> ExternalStorage::prepareFiles() const
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return std::nullopt;
    PreparedFiles files;
    files.m = std::make_shared<PreparedFiles::State>();
    files.m->folder = m_shared;
    return files;
}

void ExternalStorage::adopt(const void *owner, const QString &name)
{
    Staged staged;
    staged.name = name;
    staged.written = true;
    const std::optional<NamedOffer> taken = m_shared->takeNamed(name);
    staged.missing = !taken;
    if (taken) {
        staged.record = taken->record;
        staged.holder = taken->holder;
    }
    m_staged.append(staged);
    m_stagedNames.insert(owner, name);
}

QString ExternalStorage::stage(const void *owner, const QByteArray &bytes)
{
    Staged staged;
    if (std::optional<NewFile> prepared = m_shared->take(bytes)) {
        staged.name = prepared->name;
        staged.written = true;
        staged.record = std::move(prepared->record);
    } else {
        staged.name = ExternalStorage::newFileName();
        staged.bytes = bytes;
    }
    m_staged.append(staged);
    m_stagedNames.insert(owner, staged.name);
    return staged.name;
}

std::optional<QString> ExternalStorage::writeStaged()
{
    QList<NewFile> files;
    QStringList names;
    for (const Staged &staged : std::as_const(m_staged)) {
        if (staged.missing) {
            const QString error = QStringLiteral("the file %1 written for a new value is gone").arg(staged.name);
            discard();
            return error;
        }
        if (!staged.written) {
            files.append({staged.name, staged.bytes, nullptr});
            names << staged.name;
        }
    }
    if (files.isEmpty())
        return std::nullopt;
    // Recorded before they are written, until the save has committed.
    std::shared_ptr<StagingRecord> record;
    if (const std::optional<QString> failed = StagingRecord::add(record, m_folder, names)) {
        discard();
        return failed;
    }
    for (Staged &staged : m_staged) {
        if (!staged.written)
            staged.record = record;
    }
    if (const std::optional<QString> error = writeFiles(m_folder, files)) {
        discard();
        return error;
    }
    return std::nullopt;
}

void ExternalStorage::removeAfterCommit(const QString &name)
{
    m_removals.append(name);
}

void ExternalStorage::willCommit()
{
    if (m_removals.isEmpty() || m_folder.isEmpty())
        return;
    // Not synced: a file left by a power cut only takes room.
    m_removalRecord.reset();
    if (const std::optional<QString> failed = StagingRecord::add(m_removalRecord, m_folder, m_removals, false))
        qWarning("Store: cannot record the files a save removes: %s", qPrintable(*failed));
}

void ExternalStorage::committed()
{
    m_staged.clear();
    m_stagedNames.clear();
    std::shared_ptr<StagingRecord> record = std::move(m_removalRecord);
    if (m_removals.isEmpty())
        return;
    // On a worker thread: removing a thousand files takes seconds. A file
    // left behind (the process ends first) no longer has a row, and its
    // record stays: the next opening removes it.
    QStringList paths;
    paths.reserve(m_removals.size());
    for (const QString &name : std::as_const(m_removals))
        paths << path(name);
    m_removals.clear();
    WorkerPools::files().start([paths = std::move(paths), record = std::move(record)] {
        for (const QString &file : paths)
            QFile::remove(file);
    });
}

void ExternalStorage::discard()
{
    // Files prepared by name (PreparedFiles) go back to their holder, whose
    // values the next save can take again; other prepared files taken by
    // the save go too: their values are written afresh by the next save.
    QStringList names;
    for (const Staged &staged : std::as_const(m_staged)) {
        if (staged.missing) // not ours to remove
            continue;
        if (m_shared->offerAgain(staged.name, {staged.record, staged.holder}))
            continue;
        names << staged.name << staged.name + temporarySuffix;
    }
    removeFiles(names);
    // Their records go after them.
    m_staged.clear();
    m_stagedNames.clear();
    m_removals.clear();
    m_removalRecord.reset();
}

void ExternalStorage::removeFiles(const QStringList &names) const
{
    for (const QString &name : names)
        QFile::remove(path(name));
}

std::optional<QByteArray> ExternalStorage::read(const QString &name) const
{
    if (m_folder.isEmpty())
        return std::nullopt;
    QFile file(path(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return std::nullopt;
    QByteArray bytes(file.size(), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const qint64 count = file.read(bytes.data() + filled, bytes.size() - filled);
        if (count <= 0)
            return std::nullopt;
        filled += count;
    }
    return bytes;
}

QString ExternalStorage::newFileName()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

bool ExternalStorage::syncFolder(const QString &folder)
{
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

std::optional<QString> ExternalStorage::copyFile(const QString &folder, const QString &name, const QString &newName)
{
    const QByteArray source = QFile::encodeName(filePath(folder, name));
    const QByteArray target = QFile::encodeName(filePath(folder, newName));
    if (::link(source.constData(), target.constData()) == 0)
        return std::nullopt;
    if (errno == ENOENT)
        return QStringLiteral("the file %1 is gone").arg(name);
    // A file system without links: the bytes are copied, under a
    // temporary name until they are all on the disk.
    QFile in(QFile::decodeName(source));
    if (!in.open(QIODevice::ReadOnly))
        return in.errorString();
    QFile out(QFile::decodeName(target) + temporarySuffix);
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return FileWriteError::reasonFor(out);
    std::optional<QString> failed;
    QByteArray piece;
    while (!failed && !(piece = in.read(1 << 20)).isEmpty())
        failed = writeAll(out, piece);
    if (!failed && in.error() != QFileDevice::NoError)
        failed = in.errorString();
    return syncAndRename(out, failed, QFile::decodeName(target));
}

void ExternalStorage::removeUnreferenced(const QSet<QString> &referenced)
{
    if (m_folder.isEmpty())
        return;
    QStringList records;
    bool allGone = true;
    for (const QString &name : StagingRecord::recordedNames(m_folder, &records)) {
        // A temporary file never has a row.
        allGone = removeRecordedFile(path(name + temporarySuffix)) && allGone;
        if (!referenced.contains(name))
            allGone = removeRecordedFile(path(name)) && allGone;
    }
    // A file that could not be removed keeps its record, for the next time.
    if (allGone)
        StagingRecord::remove(m_folder, records);
}

void ExternalStorage::clearTemporariesLater()
{
    if (m_folder.isEmpty())
        return;
    m_shared->beginClearing();
    WorkerPools::files().start([folder = m_shared] { folder->clearTemporaries(); });
}

void ExternalStorage::stopClearing()
{
    m_shared->stopClearing();
}

QString ExternalStorage::setAside(const QString &folder, const QDateTime &when, QString *error,
                                  const QStringList &companions, const QString &note)
{
    bool holdsFiles = false;
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (!holdsFiles && files.hasNext())
        holdsFiles = files.next() != filePath(folder, lockName);
    QStringList kept;
    for (const QString &companion : companions) {
        const QFileInfo info(companion);
        if (info.isFile() && info.size() > 0)
            kept << companion;
    }
    if (!holdsFiles && kept.isEmpty())
        return {};
    const QString name = keptFolderName(folder, when);
    QString target = name;
    for (int number = 2; QFileInfo::exists(target); ++number)
        target = name + QStringLiteral(" %1").arg(number);
    const QString parent = QFileInfo(folder).absolutePath();
    // Named in the note before anything moves: a start that ends after
    // the move still has the user told. A start refused after all leaves
    // the note as it found it.
    NoteLine noted;
    const auto fail = [error, &noted](int errorNumber) {
        noted.undo();
        *error = FileWriteError::reasonFor(errorNumber);
        return QString();
    };
    if (!note.isEmpty()) {
        // On a line of its own, whatever a process that ended while writing
        // the note left.
        const QByteArray line = '\n' + QFile::encodeName(QFileInfo(target).fileName()) + '\n';
        const char *whyNot = nullptr;
        if (!noted.add(note, line, &whyNot)) {
            if (errno != 0)
                return fail(errno);
            qWarning("Store: %s %s: it is left as it is, and the kept folder %s is not noted in it", qPrintable(note),
                     whyNot, qPrintable(target));
        }
    }
    const QByteArray from = QFile::encodeName(folder);
    const QByteArray to = QFile::encodeName(target);
    if (holdsFiles ? ::rename(from.constData(), to.constData()) != 0 : ::mkdir(to.constData(), 0777) != 0)
        return fail(errno);
    for (qsizetype i = 0; i < kept.size(); ++i) {
        const QByteArray companion = QFile::encodeName(kept.at(i));
        const QByteArray inKept = QFile::encodeName(filePath(target, QFileInfo(kept.at(i)).fileName()));
        if (::rename(companion.constData(), inKept.constData()) == 0)
            continue;
        const int moveError = errno;
        // Everything back where it was.
        while (--i >= 0) {
            ::rename(QFile::encodeName(filePath(target, QFileInfo(kept.at(i)).fileName())).constData(),
                     QFile::encodeName(kept.at(i)).constData());
        }
        if (holdsFiles)
            ::rename(to.constData(), from.constData());
        else
            ::rmdir(to.constData());
        return fail(moveError);
    }
    syncFolder(target);
    syncFolder(parent);
    return target;
}

QStringList ExternalStorage::keptFolders(const QString &note, const QString &folder)
{
    const QByteArray path = QFile::encodeName(note);
    struct stat status;
    const int fd = openRegularFile(AT_FDCWD, path.constData(), &status);
    // Whatever is there and is not the store's own note is not read.
    const char *whyNot = nullptr;
    if (fd >= 0 || ::lstat(path.constData(), &status) == 0)
        whyNot = notOwnNote(status);
    if (whyNot) {
        qWarning("Store: %s %s: it is left as it is, and names no kept folder", path.constData(), whyNot);
        if (fd >= 0)
            ::close(fd);
        return {};
    }
    if (fd < 0)
        return {};
    // Far more than any note holds.
    const QList<QByteArray> lines = readUpTo(fd, std::min<qint64>(status.st_size, 64 * 1024)).split('\n');
    ::close(fd);
    const QString parent = QFileInfo(note).path();
    const QString folderName = QFileInfo(folder).fileName();
    QStringList kept;
    for (const QByteArray &line : lines) {
        const QString name = QFile::decodeName(line);
        if (!isPlainName(name) || !isKeptFolderName(name, folderName))
            continue;
        const QString keptPath = filePath(parent, name);
        const QFileInfo info(keptPath);
        if (info.isDir() && !info.isSymLink() && !kept.contains(keptPath))
            kept << keptPath;
    }
    return kept;
}

void ExternalStorage::removeNote(const QString &note)
{
    const QByteArray path = QFile::encodeName(note);
    struct stat status;
    if (::lstat(path.constData(), &status) != 0)
        return;
    if (const char *whyNot = notOwnNote(status)) {
        qWarning("Store: %s %s: it is left as it is", path.constData(), whyNot);
        return;
    }
    ::unlink(path.constData());
}

// Staging records

std::shared_ptr<StagingRecord> StagingRecord::create(const QString &folder, bool durable, QString *error)
{
    const QString records = filePath(folder, recordsName);
    const auto fail = [error](const QString &reason) {
        *error = reason;
        return nullptr;
    };
    // Written only in a folder of records itself, held open from here: a
    // link there, or one put there later, is never written through.
    int directory = openRecords(folder);
    if (directory < 0 && errno == ENOENT) {
        if (const std::optional<QString> failed = makeFolder(folder))
            return fail(*failed);
        if (::mkdir(QFile::encodeName(records).constData(), 0777) != 0 && errno != EEXIST)
            return fail(FileWriteError::reasonFor(errno));
        // The subfolder's name is durable with the folder.
        if (durable && !ExternalStorage::syncFolder(folder))
            return fail(FileWriteError::reasonFor(errno));
        directory = openRecords(folder);
    }
    if (directory < 0) {
        const int openError = errno;
        struct stat status;
        if ((openError == ELOOP || openError == ENOTDIR) && ::lstat(QFile::encodeName(records).constData(), &status) == 0
            && !S_ISDIR(status.st_mode))
            return fail(QCoreApplication::translate("ModelContext",
                                                    "the library\u2019s folder \u201C%1\u201D is a link or another "
                                                    "kind of file, not a folder of its own")
                            .arg(records));
        return fail(FileWriteError::reasonFor(openError));
    }
    const QByteArray name = QFile::encodeName(ExternalStorage::newFileName());
    const int fd =
        ::openat(directory, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        const int openError = errno;
        ::close(directory);
        return fail(FileWriteError::reasonFor(openError));
    }
    std::shared_ptr<StagingRecord> record(new StagingRecord(directory, name, fd, durable));
    if (durable && ::fsync(directory) != 0)
        return fail(FileWriteError::reasonFor(errno));
    return record;
}

StagingRecord::~StagingRecord()
{
    ::close(m_fd);
    ::unlinkat(m_folder, m_name.constData(), 0);
    ::close(m_folder);
}

std::optional<QString> StagingRecord::add(std::shared_ptr<StagingRecord> &record, const QString &folder,
                                          const QStringList &names, bool durable)
{
    QString error;
    if (!record)
        record = create(folder, durable, &error);
    return record ? record->append(names) : std::optional(error);
}

std::optional<QString> StagingRecord::append(const QStringList &names)
{
    QByteArray lines;
    for (const QString &name : names)
        lines += QFile::encodeName(name) + '\n';
    const QMutexLocker locker(&m_mutex);
    if (!writeAll(m_fd, lines.constData(), lines.size()) || (m_durable && ::fdatasync(m_fd) != 0))
        return FileWriteError::reasonFor(errno);
    return std::nullopt;
}

bool StagingRecord::anyIn(const QString &folder)
{
    if (folder.isEmpty())
        return false;
    const int records = openRecords(folder);
    return records >= 0 && !recordEntries(records).isEmpty();
}

QSet<QString> StagingRecord::recordedNames(const QString &folder, QStringList *records)
{
    QSet<QString> names;
    const int directory = openRecords(folder);
    if (directory < 0)
        return names;
    const int held = ::dup(directory); // for the records themselves; the listing takes the other
    qint64 budget = recordsBound;
    for (const QByteArray &entry : recordEntries(directory)) {
        if (held < 0)
            break;
        // A link, a device or a pipe in its place is not one of ours.
        struct stat status;
        const int fd = openRegularFile(held, entry.constData(), &status);
        if (fd < 0)
            continue;
        // Past its bound a record is not read; past the bound of all, the
        // records left wait for the next time.
        const qint64 size = std::min<qint64>(status.st_size, recordBound);
        if (size > budget) {
            ::close(fd);
            break;
        }
        const QByteArray text = readUpTo(fd, size);
        budget -= size;
        records->append(QFile::decodeName(entry));
        ::close(fd);
        // Only whole lines: a line cut short names a file not yet made.
        for (const QByteArray &line : text.left(text.lastIndexOf('\n') + 1).split('\n')) {
            const QString name = QFile::decodeName(line);
            if (isStagedName(name))
                names.insert(name);
        }
    }
    if (held >= 0)
        ::close(held);
    return names;
}

void StagingRecord::remove(const QString &folder, const QStringList &records)
{
    // Only in the folder they were read from.
    const int directory = openRecords(folder);
    if (directory < 0)
        return;
    for (const QString &record : records)
        ::unlinkat(directory, QFile::encodeName(record).constData(), 0);
    ::close(directory);
}

bool ExternalStorage::lock(QString *whyNot)
{
    return m_shared->lock(whyNot);
}

void ExternalStorage::unlock()
{
    m_shared->unlock();
}
