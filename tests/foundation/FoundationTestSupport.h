#pragma once

// Helpers shared by the foundation tests.

#include "foundation/Logger.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/fsuid.h>
#include <unistd.h>

// Collects what the log channels write while it lives, as "<category>
// <level> <text>".
class LogCapture {
public:
    LogCapture()
    {
        entries().clear();
        Logger::setWriter(&capture);
    }
    ~LogCapture() { Logger::setWriter(nullptr); }

    QStringList lines() const { return entries(); }

private:
    static QStringList &entries()
    {
        static QStringList list;
        return list;
    }
    static void capture(LogLevel level, const Logger &logger, const QString &text)
    {
        entries() << logger.category() + QLatin1Char(' ') + logLevelName(level) + QLatin1Char(' ') + text;
    }
};

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

// Makes files (and folders, for paths ending in "/") below `root`; a file
// holds its own relative path.
inline void makeTree(const QString &root, const QStringList &paths)
{
    for (const QString &path : paths) {
        const QString full = QDir(root).filePath(path);
        if (path.endsWith(QLatin1Char('/'))) {
            QDir().mkpath(full);
            continue;
        }
        QDir().mkpath(QFileInfo(full).absolutePath());
        writeFile(full, path.toUtf8());
    }
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// While it lives, file permissions are checked for an ordinary user even
// when the tests run as root (on this thread only).
class UnprivilegedFileAccess {
public:
    UnprivilegedFileAccess() : m_saved(::setfsuid(geteuid() == 0 ? 65534 : uid_t(-1))) {}
    ~UnprivilegedFileAccess() { ::setfsuid(m_saved); }

private:
    uid_t m_saved;
};
