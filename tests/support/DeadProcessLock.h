#pragma once

#include <QFile>
#include <QProcess>
#include <QSysInfo>

// Writes the lock file that a process which has since ended would have left
// at `path` (as QLockFile writes it, naming `application`); false when it
// couldn't.
inline bool writeDeadProcessLock(const QString &path, const QByteArray &application)
{
    QProcess ended;
    ended.start(QStringLiteral("true"));
    if (!ended.waitForStarted())
        return false;
    const qint64 pid = ended.processId();
    if (!ended.waitForFinished())
        return false;
    QFile lock(path);
    return lock.open(QIODevice::WriteOnly)
        && lock.write(QByteArray::number(pid) + '\n' + application + '\n' + QSysInfo::machineHostName().toUtf8() + '\n')
        > 0;
}
