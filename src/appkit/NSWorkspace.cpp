#include "appkit/NSWorkspace.h"

#include "foundation/Logger.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace {

QStringList applicationDirectories()
{
    return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

// The [Desktop Entry] "Exec" value of a desktop file.
QString execLine(const QString &entryPath)
{
    QFile file(entryPath);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inEntry = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == u"[Desktop Entry]";
        else if (inEntry && line.startsWith(QStringLiteral("Exec=")))
            return line.mid(5);
    }
    return {};
}

} // namespace

std::optional<QString> NSWorkspace::desktopEntryPath(const QString &identifier)
{
    if (identifier.isEmpty() || identifier.contains(QLatin1Char('/')))
        return std::nullopt;
    for (const QString &directory : applicationDirectories()) {
        const QString path = QDir(directory).filePath(identifier + QStringLiteral(".desktop"));
        if (QFileInfo(path).isFile())
            return path;
    }
    return std::nullopt;
}

QStringList NSWorkspace::openCommand(const QString &entryPath, const QUrl &url)
{
    QStringList command;
    bool placed = false;
    const QString target = url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded);
    for (const QString &argument : QProcess::splitCommand(execLine(entryPath))) {
        if (argument == u"%u" || argument == u"%U" || argument == u"%f" || argument == u"%F") {
            if (!placed)
                command << target;
            placed = true;
        } else if (argument.size() == 2 && argument.startsWith(QLatin1Char('%'))) {
            continue; // icon, name and file-location codes carry nothing here
        } else {
            QString plain = argument;
            command << plain.replace(QStringLiteral("%%"), QStringLiteral("%"));
        }
    }
    if (!command.isEmpty() && !placed)
        command << target;
    return command;
}

bool NSWorkspace::open(const QUrl &url, const QString &identifier)
{
    const auto entry = desktopEntryPath(identifier);
    const QStringList command = entry ? openCommand(*entry, url) : QStringList();
    if (command.isEmpty()) {
        Logger::filing().errorPublic(QStringLiteral("Unable to find app for bundle '") + identifier
                                     + QStringLiteral("'"));
        return false;
    }
    return QProcess::startDetached(command.first(), command.mid(1));
}

QStringList NSWorkspace::identifiersFor(const QString &mimeType)
{
    QStringList identifiers;
    for (const QString &directory : applicationDirectories()) {
        const QString cache = QDir(directory).filePath(QStringLiteral("mimeinfo.cache"));
        if (!QFileInfo::exists(cache))
            continue;
        QFile file(cache);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        bool inCache = false;
        while (!file.atEnd()) {
            const QString line = QString::fromUtf8(file.readLine()).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inCache = line == u"[MIME Cache]";
                continue;
            }
            if (!inCache || !line.startsWith(mimeType + QLatin1Char('=')))
                continue;
            for (const QString &entry : line.mid(mimeType.size() + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                QString identifier = entry.trimmed();
                if (identifier.endsWith(QStringLiteral(".desktop")))
                    identifier.chop(8);
                if (!identifier.isEmpty() && !identifiers.contains(identifier))
                    identifiers << identifier;
            }
        }
    }
    if (identifiers.isEmpty())
        Logger::filing().errorPublic(QStringLiteral("Failed to fetch bundle IDs for specified filetype: ") + mimeType);
    return identifiers;
}

std::optional<QUrl> NSWorkspace::searchURL(const QString &text)
{
    QUrl url(QStringLiteral("https://www.google.com/search"));
    if (!url.isValid())
        return std::nullopt;
    QString query = text;
    query.replace(QLatin1Char(' '), QLatin1Char('+'));
    // "+" stays as written: it is the blank of a query.
    const QByteArray encoded = QUrl::toPercentEncoding(query, "+");
    url.setQuery(QStringLiteral("q=") + QString::fromLatin1(encoded), QUrl::StrictMode);
    return url;
}

void NSWorkspace::searchInGoogle(const QString &text)
{
    if (const auto url = searchURL(text))
        QDesktopServices::openUrl(*url);
}
