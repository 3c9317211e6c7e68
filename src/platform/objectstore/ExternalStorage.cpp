#include "platform/objectstore/ExternalStorage.h"

#include "platform/WorkerPools.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMutex>
#include <QThreadPool>
#include <QUuid>
#include <QtConcurrent/QtConcurrentMap>

#include <atomic>

#include <fcntl.h>
#include <unistd.h>

namespace {

const QString lockName = QStringLiteral(".lock");
const QString temporarySuffix = QStringLiteral(".tmp");

bool syncFolder(const QString &folder)
{
    const int descriptor = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

} // namespace

ExternalStorage::ExternalStorage(const QString &folder) : m_folder(folder)
{
}

ExternalStorage::~ExternalStorage()
{
    discard();
}

QString ExternalStorage::path(const QString &name) const
{
    return m_folder + QLatin1Char('/') + name;
}

QString ExternalStorage::stage(const void *owner, const QByteArray &bytes)
{
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_staged.append({name, bytes});
    m_stagedNames.insert(owner, name);
    return name;
}

bool ExternalStorage::writeFile(const Staged &staged, QString *error) const
{
    const QString target = path(staged.name);
    const QString temporary = target + temporarySuffix;
    QFile file(temporary);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    if (ok) {
        const char *data = staged.bytes.constData();
        qsizetype left = staged.bytes.size();
        while (ok && left > 0) {
            const qint64 written = file.write(data, left);
            ok = written > 0;
            data += written;
            left -= written;
        }
        // On disk before the transaction that names the file commits, so a
        // power cut can't leave a stored row with a short file.
        ok = ok && ::fdatasync(file.handle()) == 0;
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        *error = file.errorString();
    } else {
        ok = QFile::rename(temporary, target);
        if (!ok)
            *error = QStringLiteral("cannot rename %1").arg(temporary);
    }
    if (!ok)
        QFile::remove(temporary);
    return ok;
}

std::optional<QString> ExternalStorage::writeStaged()
{
    if (m_staged.isEmpty())
        return std::nullopt;
    if (!QDir().mkpath(m_folder)) {
        discard();
        return QStringLiteral("cannot create the folder %1").arg(m_folder);
    }
    std::atomic<bool> failed{false};
    QString error;
    QMutex errorLock;
    const auto write = [&](const Staged &staged) {
        if (failed)
            return;
        QString message;
        if (!writeFile(staged, &message)) {
            failed = true;
            const QMutexLocker locker(&errorLock);
            error = message;
        }
    };
    if (m_staged.size() == 1)
        write(m_staged.first());
    else
        QtConcurrent::blockingMap(&WorkerPools::files(), m_staged, write);
    if (failed) {
        discard();
        return error;
    }
    // The new names themselves are made durable with the folder.
    if (!syncFolder(m_folder)) {
        discard();
        return QStringLiteral("cannot sync the folder %1").arg(m_folder);
    }
    return std::nullopt;
}

void ExternalStorage::removeAfterCommit(const QString &name)
{
    m_removals.append(name);
}

void ExternalStorage::committed()
{
    m_staged.clear();
    m_stagedNames.clear();
    if (m_removals.isEmpty())
        return;
    // On a worker thread: removing a thousand files takes seconds. A file
    // left behind (the process ends first) no longer has a row: the next
    // opening removes it.
    QStringList paths;
    paths.reserve(m_removals.size());
    for (const QString &name : std::as_const(m_removals))
        paths << path(name);
    m_removals.clear();
    WorkerPools::files().start([paths = std::move(paths)] {
        for (const QString &file : paths)
            QFile::remove(file);
    });
}

void ExternalStorage::discard()
{
    QStringList names;
    for (const Staged &staged : std::as_const(m_staged))
        names << staged.name << staged.name + temporarySuffix;
    m_staged.clear();
    m_stagedNames.clear();
    m_removals.clear();
    removeFiles(names);
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

void ExternalStorage::removeUnreferenced(const QSet<QString> &referenced)
{
    if (m_folder.isEmpty())
        return;
    const QStringList names =
        QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QStringList orphans;
    for (const QString &name : names) {
        if (name != lockName && !referenced.contains(name))
            orphans << name;
    }
    removeFiles(orphans);
}

bool ExternalStorage::lock()
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return false;
    if (!m_lock) {
        m_lock = std::make_unique<QLockFile>(path(lockName));
        // Stale only when its process is gone: a long save keeps it.
        m_lock->setStaleLockTime(0);
    }
    return m_lock->isLocked() || m_lock->tryLock(10000);
}

void ExternalStorage::unlock()
{
    if (m_lock && m_lock->isLocked())
        m_lock->unlock();
}
