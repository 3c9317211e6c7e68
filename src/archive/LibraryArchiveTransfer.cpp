#include "archive/LibraryArchiveTransfer.h"

#include "archive/LibraryArchiveFile.h"
#include "archive/VeloranLibraryType.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTextBoundaryFinder>
#include <QUuid>

#include <cerrno>
#include <optional>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype maximumFileNameBytes = 255;
constexpr qint64 staleAfterSeconds = 3600;

QString systemReason(int error)
{
    return FileWriteError::reasonFor(error);
}

// Why `folder` can't hold shared archives; none when it can (made here when
// missing, with mode 0700).
std::optional<QString> refusePrivateFolder(const QString &folder, bool create)
{
    const QByteArray path = QFile::encodeName(folder);
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        if (errno != ENOENT || !create)
            return systemReason(errno);
        const QFileInfo parent(QFileInfo(folder).absolutePath());
        if (!QDir().mkpath(parent.absoluteFilePath()))
            return QStringLiteral("its folder couldn\u2019t be made");
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return systemReason(errno);
        if (::lstat(path.constData(), &info) != 0)
            return systemReason(errno);
    }
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("the folder \u201C%1\u201D is a symbolic link").arg(folder);
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("\u201C%1\u201D is not a folder").arg(folder);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the folder \u201C%1\u201D belongs to another user").arg(folder);
    if ((info.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return systemReason(errno);
    return std::nullopt;
}

void removeItem(const QString &path, const struct stat &info)
{
    if (S_ISDIR(info.st_mode))
        QDir(path).removeRecursively(); // unlinks the symbolic links inside, follows none
    else
        ::unlink(QFile::encodeName(path).constData());
}

// The archive's name cut to at most `bytes` bytes of UTF-8, between user-
// perceived characters where one fits, else between code points.
QString cutToBytes(const QString &text, qsizetype bytes)
{
    if (text.toUtf8().size() <= bytes)
        return text;
    qsizetype end = 0;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = graphemes.toNextBoundary(); at > 0; at = graphemes.toNextBoundary()) {
        if (QStringView(text).left(at).toUtf8().size() > bytes)
            break;
        end = at;
    }
    if (end == 0) {
        qsizetype size = 0;
        while (end < text.size()) {
            const qsizetype step = text.at(end).isHighSurrogate() && end + 1 < text.size() ? 2 : 1;
            size += QStringView(text).mid(end, step).toUtf8().size();
            if (size > bytes)
                break;
            end += step;
        }
    }
    return text.left(end);
}

LibraryArchiveTransfer::ShareError writeError(const QString &fileName, const QString &reason)
{
    return FileWriteError{fileName, reason};
}

} // namespace

LibraryArchiveTransfer::LibraryArchiveTransfer(LibraryArchiveSource contents, QString name)
    : m_contents(std::move(contents))
    , m_name(std::move(name))
{
}

QString LibraryArchiveTransfer::archiveFilename(const QString &name)
{
    const QString extension = QLatin1Char('.') + VeloranLibraryType::fileExtension;
    QString base;
    base.reserve(name.size());
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            continue;
        base.append(c == u'/' ? QChar(u'-') : c);
    }
    base = base.trimmed();
    if (base.isEmpty())
        base = QStringLiteral("Veloran Library");
    base = cutToBytes(base, maximumFileNameBytes - extension.toUtf8().size()).trimmed();
    return base + extension;
}

QString LibraryArchiveTransfer::sharedArchivesFolder()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::CacheLocation)).filePath(QStringLiteral("SharedArchives"));
}

Result<QString, LibraryArchiveTransfer::ShareError> LibraryArchiveTransfer::writeSharedArchive(const QString &folder) const
{
    const QString fileName = archiveFilename();
    if (const auto refused = refusePrivateFolder(folder, true))
        return writeError(fileName, *refused);
    removeStaleSharedArchives(folder);

    // Every image reachable and the archive within the zip format's limits,
    // before a folder is made for it.
    StoredImageDataReader reader;
    auto planned = m_contents.plan(reader);
    if (!planned)
        return planned.error();

    const QString own = QDir(folder).filePath(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper());
    if (::mkdir(QFile::encodeName(own).constData(), 0700) != 0)
        return writeError(fileName, systemReason(errno));
    const QString path = QDir(own).filePath(fileName);
    const auto written = LibraryArchiveFile::write(m_contents, planned.value(), reader, path);
    if (!written) {
        QDir(own).removeRecursively();
        return written.error();
    }
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

void LibraryArchiveTransfer::removeStaleSharedArchives(const QString &folder, const QDateTime &now)
{
    if (refusePrivateFolder(folder, false))
        return;
    const qint64 cutOff = now.toMSecsSinceEpoch() - staleAfterSeconds * 1000;
    const QDir dir(folder);
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &name : names) {
        const QString path = dir.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        const qint64 modified = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        if (modified < cutOff)
            removeItem(path, info);
    }
}

Result<QByteArray, LibraryArchiveTransfer::ShareError> LibraryArchiveTransfer::exportData() const
{
    const auto contents = m_contents.contents();
    if (!contents)
        return contents.error();
    const auto bytes = contents.value().archiveData();
    if (!bytes)
        return std::visit([](const auto &error) { return ShareError(error); }, bytes.error());
    return bytes.value();
}
