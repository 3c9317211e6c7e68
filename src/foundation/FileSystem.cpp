#include "foundation/FileSystem.h"

#include "foundation/Bundle.h"
#include "foundation/DataHelpers.h"
#include "foundation/Dates.h"
#include "foundation/Logger.h"
#include "foundation/Strings.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/limits.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString defaultSupportAddress = QStringLiteral("support@veloran.app");

QString parentPath(const QString &path)
{
    return QFileInfo(path).absolutePath();
}

// The URL of a folder, written with a closing slash.
QString folderURLText(const QString &path)
{
    return absoluteString(QUrl::fromLocalFile(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/')));
}

// The names in the folder at `path`, hidden ones included; throws when the
// folder cannot be read.
QStringList listDirectory(const QString &path)
{
    DIR *directory = ::opendir(QFile::encodeName(path).constData());
    if (!directory)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot list the folder"), errno);
    QStringList names;
    errno = 0;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.append(QFile::decodeName(name));
    }
    const int error = errno;
    ::closedir(directory);
    if (error != 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot list the folder"), error);
    return names;
}

bool isFolder(const QFileInfo &info)
{
    return info.isDir() && !info.isSymLink();
}

// Relative paths below `folder`, hidden ones included, that `keep` accepts.
template <typename Keep>
void walk(const QUrl &folder, Keep keep)
{
    const std::optional<QString> root = localFilePath(folder);
    if (!root || !QFileInfo(*root).isDir())
        return;
    const QDir base(*root);
    QDirIterator it(*root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        keep(base.relativeFilePath(it.filePath()), it.fileInfo());
    }
}

// Makes the folder at `path` and any missing parents, each private to the
// user (mode 0700) as the desktop makes its own folders: 0, also when it is
// there already, else why it could not be made (errno).
int makePrivateFolders(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) == 0 || errno == EEXIST)
        return 0;
    const int error = errno;
    const QString parent = parentPath(path);
    if (error != ENOENT || parent == path)
        return error;
    if (const int parentError = makePrivateFolders(parent))
        return parentError;
    return ::mkdir(name.constData(), 0700) == 0 || errno == EEXIST ? 0 : errno;
}

void moveItem(const QString &from, const QString &to)
{
    QFile file(from);
    if (!file.rename(to))
        throw FileError{from, QStringLiteral("Cannot move \u201C%1\u201D to \u201C%2\u201D: %3").arg(from, to, file.errorString())};
}

// ---- An item moved to another file system: copied whole, then removed

// The names in the folder at `path`, in one order for copying and removing.
QStringList sortedNames(const QString &path)
{
    QStringList names = listDirectory(path);
    names.sort();
    return names;
}

// What the item at `path` itself is (a link is not followed).
struct stat itemStatus(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot read"), errno);
    return info;
}

// Writes the bytes of the regular file `from` into a new file `to`.
void copyFileContents(const QString &from, const QString &to)
{
    const int in = ::open(QFile::encodeName(from).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (in < 0)
        throw FileError::fromSystemError(from, QStringLiteral("Cannot read"), errno);
    const auto closeIn = qScopeGuard([in] { ::close(in); });
    struct stat opened {};
    if (::fstat(in, &opened) != 0)
        throw FileError::fromSystemError(from, QStringLiteral("Cannot read"), errno);
    if (!S_ISREG(opened.st_mode))
        throw FileError::fromSystemError(from, QStringLiteral("Cannot copy"), ENOTSUP);
    const int out = ::open(QFile::encodeName(to).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0)
        throw FileError::fromSystemError(to, QStringLiteral("Cannot write"), errno);
    auto closeOut = qScopeGuard([out] { ::close(out); });
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), size_t(buffer.size()));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError::fromSystemError(from, QStringLiteral("Cannot read"), errno);
        if (got == 0)
            break;
        for (ssize_t put = 0; put < got;) {
            const ssize_t wrote = ::write(out, buffer.constData() + put, size_t(got - put));
            if (wrote < 0 && errno != EINTR)
                throw FileError::fromSystemError(to, QStringLiteral("Cannot write"), errno);
            put += std::max<ssize_t>(wrote, 0);
        }
    }
    closeOut.dismiss();
    if (::close(out) != 0)
        throw FileError::fromSystemError(to, QStringLiteral("Cannot write"), errno);
}

// Copies the item at `from` to `to`, where nothing is yet: a file with its
// bytes, a link as a link, a folder with all it holds, each with its
// permissions and times. Anything else (a pipe, a socket, a device) is not
// copied. Throws at the first failure, leaving what it has copied.
void copyItem(const QString &from, const QString &to)
{
    const struct stat info = itemStatus(from);
    const QByteArray target = QFile::encodeName(to);
    if (S_ISDIR(info.st_mode)) {
        if (::mkdir(target.constData(), 0700) != 0)
            throw FileError::fromSystemError(to, QStringLiteral("Cannot create the folder"), errno);
        for (const QString &name : sortedNames(from))
            copyItem(from + QLatin1Char('/') + name, to + QLatin1Char('/') + name);
    } else if (S_ISLNK(info.st_mode)) {
        QByteArray link(qMax<qsizetype>(qsizetype(info.st_size), PATH_MAX) + 1, Qt::Uninitialized);
        const ssize_t length = ::readlink(QFile::encodeName(from).constData(), link.data(), size_t(link.size()));
        if (length < 0 || length == link.size())
            throw FileError::fromSystemError(from, QStringLiteral("Cannot read"), length < 0 ? errno : ENAMETOOLONG);
        link.truncate(length);
        if (::symlink(link.constData(), target.constData()) != 0)
            throw FileError::fromSystemError(to, QStringLiteral("Cannot write"), errno);
    } else if (S_ISREG(info.st_mode)) {
        copyFileContents(from, to);
    } else {
        throw FileError::fromSystemError(from, QStringLiteral("Cannot copy"), ENOTSUP);
    }
    // Permissions and times last, once a folder is filled.
    if (!S_ISLNK(info.st_mode) && ::chmod(target.constData(), info.st_mode & 07777) != 0)
        throw FileError::fromSystemError(to, QStringLiteral("Cannot set the permissions of"), errno);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::utimensat(AT_FDCWD, target.constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw FileError::fromSystemError(to, QStringLiteral("Cannot set the times of"), errno);
}

// Removes the item at `path`, a folder with all it holds, in the order it
// was copied. Throws at the first failure, leaving what it has not reached.
// A copy this process made (`ownCopy`) has its folders opened to it first,
// since a copy keeps the permissions of what it copies.
void removeItem(const QString &path, bool ownCopy)
{
    const QByteArray native = QFile::encodeName(path);
    if (!S_ISDIR(itemStatus(path).st_mode)) {
        if (::unlink(native.constData()) != 0)
            throw FileError::fromSystemError(path, QStringLiteral("Cannot remove"), errno);
        return;
    }
    if (ownCopy)
        ::chmod(native.constData(), 0700);
    for (const QString &name : sortedNames(path))
        removeItem(path + QLatin1Char('/') + name, ownCopy);
    if (::rmdir(native.constData()) != 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot remove the folder"), errno);
}

// Copies back from `copy` what is missing of it at `item`: what a removal
// cut short took. Each folder that stayed gets its times back.
void putBack(const QString &copy, const QString &item)
{
    struct stat there {};
    if (::lstat(QFile::encodeName(item).constData(), &there) != 0) {
        if (errno != ENOENT)
            throw FileError::fromSystemError(item, QStringLiteral("Cannot read"), errno);
        copyItem(copy, item);
        return;
    }
    const struct stat info = itemStatus(copy);
    if (!S_ISDIR(info.st_mode) || !S_ISDIR(there.st_mode))
        return;
    for (const QString &name : sortedNames(copy))
        putBack(copy + QLatin1Char('/') + name, item + QLatin1Char('/') + name);
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    if (::utimensat(AT_FDCWD, QFile::encodeName(item).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw FileError::fromSystemError(item, QStringLiteral("Cannot set the times of"), errno);
}

// Writes to its disk all that waits to be written to the file system that
// holds the folder `path`.
void syncFileSystemOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot write"), errno);
    const int synced = ::syncfs(fd);
    const int error = errno;
    ::close(fd);
    if (synced != 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot write"), error);
}

struct MoveFailure {
    FileError error;
    bool copyKept = false; // the whole copy stayed, since part of the item is gone
};

// Moves the item at `from` to `to` on another file system: copied whole
// and made durable there, then removed here. When the copy fails, what it
// made goes; when the removal fails, what it took is put back from the copy,
// which then goes (and stays only when that fails too). The failure, with
// `operation` and `from` before it.
std::optional<MoveFailure> moveAcrossFileSystems(const QString &from, const QString &to, const QString &operation)
{
    const auto failure = [&](const FileError &cause, bool copyKept = false) {
        const QString after = copyKept ? QStringLiteral(" Part of it is still there, and all of it is in the trash.") : QString();
        return MoveFailure{{from, QStringLiteral("%1 \u201C%2\u201D: %3%4").arg(operation, from, cause.description, after),
                            cause.systemError},
                           copyKept};
    };
    const auto discardCopy = [&] {
        try {
            removeItem(to, true);
        } catch (const FileError &) {
        }
    };
    struct stat taken {};
    if (::lstat(QFile::encodeName(to).constData(), &taken) == 0)
        return MoveFailure{FileError::fromSystemError(from, operation, EEXIST)};
    try {
        copyItem(from, to);
        syncFileSystemOf(parentPath(to));
    } catch (const FileError &cause) {
        discardCopy();
        return failure(cause);
    }
    try {
        removeItem(from, false);
    } catch (const FileError &cause) {
        try {
            putBack(to, from);
        } catch (const FileError &) {
            return failure(cause, true);
        }
        discardCopy();
        return failure(cause);
    }
    return std::nullopt;
}

} // namespace

bool directoryExists(const QString &path)
{
    return QFileInfo(path).isDir();
}

bool directoryExists(const QUrl &url)
{
    const std::optional<QString> path = localFilePath(url);
    return path && directoryExists(*path);
}

void createDirectoryIfNeeded(const QString &path)
{
    if (directoryExists(path))
        return;
    QString reason = QStringLiteral("A file is in the way.");
    if (!QFileInfo::exists(path)) {
        errno = 0;
        if (QDir().mkpath(path))
            return;
        reason = QString::fromLocal8Bit(std::strerror(errno ? errno : EIO));
    }
    Logger::filing().errorPublic(QStringLiteral("Failed to create directory at: ") + path);
    Logger::filing().errorPublic(QStringLiteral("Error: ") + reason);
}

void recursivelyDeleteEmptyParentFolders(const QUrl &url)
{
    QString item = QFileInfo(requireLocalPath(url)).absoluteFilePath();
    QString folder = parentPath(item);
    Logger::filing().logPublic(QStringLiteral("Recursively delete empty folders at ") + folderURLText(folder));
    while (folder != item && listDirectory(folder).isEmpty()) {
        if (::rmdir(QFile::encodeName(folder).constData()) != 0)
            throw FileError::fromSystemError(folder, QStringLiteral("Cannot remove the folder"), errno);
        item = folder;
        folder = parentPath(folder);
    }
}

QStringList filePathsInSubFolders(const QUrl &folder)
{
    QStringList paths;
    walk(folder, [&](const QString &path, const QFileInfo &info) {
        if (!isFolder(info))
            paths.append(path);
    });
    return paths;
}

QStringList folderPathsInSubFolders(const QUrl &folder)
{
    QStringList paths;
    walk(folder, [&](const QString &path, const QFileInfo &info) {
        if (isFolder(info))
            paths.append(path);
    });
    return paths;
}

QList<QUrl> emptySubFolders(const QUrl &folder)
{
    QList<QUrl> empty;
    walk(folder, [&](const QString &, const QFileInfo &info) {
        if (isFolder(info) && listDirectory(info.filePath()).isEmpty())
            empty.append(QUrl::fromLocalFile(info.filePath()));
    });
    return empty;
}

void moveItemToTrash(const QUrl &url)
{
    const QString path = QFileInfo(requireLocalPath(url)).absoluteFilePath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return;
    // The user's own trash, as the desktop keeps it: the items in "files",
    // where each came from and when in "info".
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (dataHome.isEmpty())
        return;
    const QDir trash(dataHome + QStringLiteral("/Trash"));
    const QDateTime now = QDateTime::currentDateTime();
    const QString extension = pathExtension(path);
    const QString name = deletingPathExtension(path) + QStringLiteral(" (") + backupDateTimeString(now)
        + QLatin1Char(')') + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    const QString destination = trash.filePath(QStringLiteral("files/") + name);
    Logger::filing().logPublic(QStringLiteral("Move ") + absoluteString(QUrl::fromLocalFile(path)) + QStringLiteral(" to ")
                               + absoluteString(QUrl::fromLocalFile(destination)));

    // On a fresh account even the data folder may be missing.
    for (const QString &folder : {trash.path(), trash.filePath(QStringLiteral("files")), trash.filePath(QStringLiteral("info"))}) {
        if (const int error = makePrivateFolders(folder))
            throw FileError::fromSystemError(folder, QStringLiteral("Cannot create the folder"), error);
    }
    // The information file is made first, and only if it is new: it holds
    // the name in the trash for this item.
    const QString infoPath = trash.filePath(QStringLiteral("info/") + name + QStringLiteral(".trashinfo"));
    const QByteArray info = "[Trash Info]\nPath=" + QUrl::toPercentEncoding(path, "/")
        + "\nDeletionDate=" + now.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + "\n";
    const int fd = ::open(QFile::encodeName(infoPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw FileError::fromSystemError(path, QStringLiteral("Cannot move to the trash"), errno);
    const bool written = ::write(fd, info.constData(), size_t(info.size())) == info.size();
    const int writeError = errno;
    ::close(fd);
    const auto abandon = [&](const FileError &failure) {
        QFile::remove(infoPath);
        throw failure;
    };
    const QString operation = QStringLiteral("Cannot move to the trash");
    if (!written)
        abandon(FileError::fromSystemError(path, operation, writeError ? writeError : EIO));
    if (::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD, QFile::encodeName(destination).constData(),
                    RENAME_NOREPLACE)
        == 0)
        return;
    const int error = errno;
    if (error != EXDEV)
        abandon(FileError::fromSystemError(path, operation, error));
    if (const std::optional<MoveFailure> failed = moveAcrossFileSystems(path, destination, operation)) {
        // The record stays while the copy does.
        if (failed->copyKept)
            throw failed->error;
        abandon(failed->error);
    }
}

void swap(const QUrl &fileAtURL, const QUrl &with)
{
    const QString a = QFileInfo(requireLocalPath(fileAtURL)).absoluteFilePath();
    const QString b = QFileInfo(requireLocalPath(with)).absoluteFilePath();
    const QString canonicalA = QFileInfo(a).canonicalFilePath();
    if (a == b || (!canonicalA.isEmpty() && canonicalA == QFileInfo(b).canonicalFilePath()))
        return;
    if (::renameat2(AT_FDCWD, QFile::encodeName(a).constData(), AT_FDCWD, QFile::encodeName(b).constData(),
                    RENAME_EXCHANGE)
        == 0)
        return;
    const int error = errno;
    // Other file systems, or ones that cannot exchange: three moves.
    if (error != EXDEV && error != EINVAL && error != ENOSYS && error != ENOTSUP)
        throw FileError::fromSystemError(a, QStringLiteral("Cannot swap with \u201C%1\u201D the file").arg(b), error);
    const QString folder = parentPath(b);
    QDir().mkpath(folder);
    const QString temporary = QDir(folder).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    moveItem(b, temporary);
    try {
        moveItem(a, b);
    } catch (...) {
        moveItem(temporary, b);
        throw;
    }
    try {
        moveItem(temporary, a);
    } catch (...) {
        moveItem(b, a);
        moveItem(temporary, b);
        throw;
    }
}

QString absoluteString(const QUrl &url)
{
    return url.toString(QUrl::FullyEncoded);
}

QString lastPathComponentWithoutExtension(const QUrl &url)
{
    return deletingPathExtension(url.path(QUrl::FullyDecoded));
}

std::optional<QString> localFilePath(const QUrl &url)
{
    const QString host = url.host();
    if (!url.isLocalFile() || !(host.isEmpty() || host.compare(u"localhost", Qt::CaseInsensitive) == 0))
        return std::nullopt;
    const QString path = url.path(QUrl::FullyDecoded);
    if (!path.startsWith(QLatin1Char('/')))
        return std::nullopt;
    return path;
}

QString requireLocalPath(const QUrl &url)
{
    if (const auto path = localFilePath(url))
        return *path;
    const QString text = absoluteString(url);
    throw FileError{text, QStringLiteral("\u201C%1\u201D is not a file on this computer.").arg(text)};
}

bool isDirectory(const QUrl &url)
{
    const std::optional<QString> path = localFilePath(url);
    return path && isFolder(QFileInfo(*path));
}

QList<QUrl> subFolders(const QUrl &url)
{
    if (!isDirectory(url))
        return {};
    QList<QUrl> folders;
    const QDir dir(*localFilePath(url));
    for (const QFileInfo &info : dir.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        if (isFolder(info))
            folders.append(QUrl::fromLocalFile(info.filePath()));
    }
    return folders;
}

std::optional<QUrl> components(const QUrl &url, const QUrl &baseURL)
{
    if (!url.isValid() || (!baseURL.isEmpty() && !baseURL.isValid()))
        return std::nullopt;
    return baseURL.isEmpty() ? url : baseURL.resolved(url);
}

QUrl staticURL(const char *literal)
{
    const QUrl url(QString::fromUtf8(literal), QUrl::StrictMode);
    if (!url.isValid() || url.isEmpty())
        qFatal("Invalid static URL string: %s", literal);
    return url;
}

QUrl appendingUniqueFileName(const QUrl &folder, const QString &baseName, const QString &extension,
                             const QString &label)
{
    const std::optional<QString> folderPath = localFilePath(folder);
    if (!folderPath)
        return QUrl();
    const QDir dir(*folderPath);
    const QString dottedExtension = extension.isEmpty() ? QString() : QLatin1Char('.') + extension;
    QString suffix;
    for (qint64 n = 2;; ++n) {
        const QString candidate = dir.filePath(baseName + suffix + dottedExtension);
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink())
            return QUrl::fromLocalFile(candidate);
        // Joined piece by piece: a label may itself hold "%1".
        suffix = QStringLiteral(" (") + label + (label.isEmpty() ? QString() : QStringLiteral(" ")) + QString::number(n)
            + QLatin1Char(')');
    }
}

QUrl datedFileURL(const QUrl &url, const std::optional<QString> &subFolder)
{
    // Worked out on the URL's path alone, so that a web address stays one.
    QString path = url.path(QUrl::FullyDecoded);
    const QString extension = pathExtension(path);
    const QString name = deletingPathExtension(path) + QLatin1Char(' ')
        + backupDateTimeString(QDateTime::currentDateTime())
        + (extension.isEmpty() ? QString() : QLatin1Char('.') + extension);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    QString folder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
    if (subFolder)
        folder += *subFolder + QLatin1Char('/');
    QUrl dated = url;
    dated.setPath(folder + name, QUrl::DecodedMode);
    return dated;
}

void backup(const QUrl &url, const std::optional<QString> &toSubDirectory)
{
    const QString sourcePath = requireLocalPath(url);
    const QUrl destination = datedFileURL(url, toSubDirectory);
    const QString destinationPath = requireLocalPath(destination);
    const QString folder = parentPath(destinationPath);
    if (!directoryExists(folder)) {
        Logger::filing().logPublic(QStringLiteral("Create directory at ") + folderURLText(folder));
        errno = 0;
        if (!QDir().mkpath(folder))
            throw FileError::fromSystemError(folder, QStringLiteral("Cannot create the folder"), errno ? errno : EEXIST);
    }
    Logger::filing().logPublic(QStringLiteral("Copy ") + absoluteString(url) + QStringLiteral("\rto  ")
                               + absoluteString(destination));
    QFile source(sourcePath);
    if (!source.copy(destinationPath))
        throw FileError{source.fileName(), QStringLiteral("Cannot copy \u201C%1\u201D: %2").arg(source.fileName(), source.errorString())};
}

std::optional<QJsonDocument> json(const QUrl &url)
{
    QString problem;
    if (const std::optional<QByteArray> contents = contentsOfURL(url, &problem)) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(*contents, &error);
        if (error.error == QJsonParseError::NoError)
            return document;
        problem = error.errorString();
    }
    Logger::filing().errorPublic(QStringLiteral("Unable to parse JSON: ") + problem);
    return std::nullopt;
}

std::optional<QUrl> documentsFileURL(const QString &name, const std::optional<QString> &extension)
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        return std::nullopt;
    QString fileName = name;
    if (extension && !extension->isEmpty())
        fileName += QLatin1Char('.') + *extension;
    return QUrl::fromLocalFile(QDir(documents).filePath(fileName));
}

bool isRunningInPreview()
{
    return qEnvironmentVariable("XCODE_RUNNING_FOR_PREVIEWS") == u"1";
}

bool isTesting()
{
    return qEnvironmentVariableIsSet("XCTestConfigurationFilePath");
}

std::optional<QString> city(const QTimeZone &zone)
{
    const QStringList parts = QString::fromUtf8(zone.id()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return std::nullopt;
    return QString(parts.last()).replace(QLatin1Char('_'), QLatin1Char(' '));
}

QStringList ipAddresses(const QList<QByteArray> &addressRecords)
{
    QStringList addresses;
    for (const QByteArray &record : addressRecords) {
        sockaddr_storage address{};
        std::memcpy(&address, record.constData(), std::min(size_t(record.size()), sizeof address));
        const size_t needed = address.ss_family == AF_INET ? sizeof(sockaddr_in)
                            : address.ss_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                            : 0;
        char host[1025] = {};
        if (needed > 0 && size_t(record.size()) >= needed)
            ::getnameinfo(reinterpret_cast<const sockaddr *>(&address), socklen_t(needed), host, sizeof host, nullptr,
                          0, NI_NUMERICHOST);
        addresses.append(QString::fromUtf8(host));
    }
    return addresses;
}

std::optional<QUrl> supportEmailURL(const QString &address)
{
    return supportEmailURL(address, Bundle::main());
}

std::optional<QUrl> supportEmailURL(const QString &address, const Bundle &bundle)
{
    const QString subject = QStringLiteral("%1 v%2 (%3) support request")
                                .arg(bundle.applicationName().value_or(QStringLiteral("?")),
                                     bundle.releaseVersionNumber().value_or(QStringLiteral("?")),
                                     bundle.buildVersionNumber().value_or(QStringLiteral("?")));
    // Percent-encoded as a URL path would be: letters, digits and
    // !$&'()*+,-./:=@_~ are left as they are (";" is not).
    const QByteArray encoded = subject.toUtf8().toPercentEncoding("!$&'()*+,-./:=@_~");
    const QUrl url(QStringLiteral("mailto:%1?subject=%2").arg(address, QString::fromLatin1(encoded)), QUrl::StrictMode);
    if (!url.isValid())
        return std::nullopt;
    return url;
}

std::optional<QUrl> supportEmailURL()
{
    return supportEmailURL(defaultSupportAddress);
}
