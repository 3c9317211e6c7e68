#include "platform/UserDefaults.h"

#include "platform/FileWriteError.h"
#include "platform/WorkerPools.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QUuid>
#include <QtDebug>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

// Writes the changes to the settings file, in order, one write at a time.
// Shared with the writes queued on the worker pool, which may run after
// the defaults have gone (finding nothing left to write).
class UserDefaults::FileWriter : public std::enable_shared_from_this<FileWriter> {
public:
    explicit FileWriter(QString path) : m_path(std::move(path)) {}

    // An invalid value: a removal.
    void add(const QString &key, const QVariant &value)
    {
        QMutexLocker lock(&m_pendingMutex);
        m_pending.insert(key, value);
        if (m_queued)
            return;
        m_queued = true;
        WorkerPools::files().start([writer = shared_from_this()] { writer->write(); });
    }

    // What was added before, on the calling thread.
    void write()
    {
        QMutexLocker writing(&m_writeMutex);
        QHash<QString, QVariant> changes;
        {
            QMutexLocker lock(&m_pendingMutex);
            changes.swap(m_pending);
            m_queued = false;
        }
        if (changes.isEmpty())
            return;
        if (const std::optional<QString> reason = writeFile(changes)) {
            qWarning("Settings: cannot write %s: %s", qPrintable(m_path), qPrintable(*reason));
            // Written with the next changes, unless changed again meanwhile.
            QMutexLocker lock(&m_pendingMutex);
            for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
                if (!m_pending.contains(change.key()))
                    m_pending.insert(change.key(), change.value());
            }
        }
    }

private:
    // QSettings takes a file that a full disk cut short for a whole one and
    // puts it in place of the settings. So the settings are written to a
    // copy beside the file, which takes the file's place once it is known
    // to be whole. Answers why the file could not be written, or none.
    std::optional<QString> writeFile(const QHash<QString, QVariant> &changes) const
    {
        // A name never used before: QSettings keeps what it read of a file
        // by its name for the process, and trusts it while the file's size
        // and time look the same.
        const QString copyPath = m_path + QStringLiteral(".new-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
        if (QFile::exists(m_path) && !QFile::copy(m_path, copyPath))
            return failure(copyPath, QFileInfo(m_path).size());
        QStringList keys;
        {
            QSettings copy(copyPath, QSettings::IniFormat);
            for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
                if (change.value().isValid())
                    copy.setValue(change.key(), change.value());
                else
                    copy.remove(change.key());
            }
            keys = copy.allKeys();
            copy.sync();
            if (copy.status() != QSettings::NoError)
                return failure(copyPath, QFileInfo(copyPath).size() + 1);
        }
        if (!isWhole(copyPath, keys))
            return failure(copyPath, QFileInfo(copyPath).size() + 1);
        if (::rename(QFile::encodeName(copyPath).constData(), QFile::encodeName(m_path).constData()) != 0) {
            const QString reason = FileWriteError::reasonFor(errno);
            QFile::remove(copyPath);
            return reason;
        }
        return std::nullopt;
    }

    // Whether the file holds every key and its last line whole: a file cut
    // short misses keys or ends within a line.
    static bool isWhole(const QString &path, QStringList keys)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        file.close();
        if (keys.isEmpty())
            return true;
        QStringList found = QSettings(path, QSettings::IniFormat).allKeys();
        keys.sort();
        found.sort();
        return bytes.endsWith('\n') && found == keys;
    }

    // Why the copy at `path` could not be written, as the system says when
    // the copy is made to hold `bytes` bytes (the whole of what failed: a
    // few bytes may fit where the whole did not); removes it.
    static QString failure(const QString &path, qint64 bytes)
    {
        const QByteArray name = QFile::encodeName(path);
        int error = 0;
        const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) {
            error = errno;
        } else {
            error = ::posix_fallocate(fd, 0, std::max<qint64>(bytes, 1));
            ::close(fd);
        }
        QFile::remove(path);
        return error ? FileWriteError::reasonFor(error) : QStringLiteral("the file was cut short");
    }

    const QString m_path;
    QMutex m_writeMutex; // held while the file is written
    QMutex m_pendingMutex;
    QHash<QString, QVariant> m_pending;
    bool m_queued = false;
};

UserDefaults::UserDefaults(QObject *parent)
    : QObject(parent)
{
}

UserDefaults::UserDefaults(const QVariantMap &values, QObject *parent)
    : QObject(parent)
    , m_memory(values)
{
}

UserDefaults::UserDefaults(const QString &settingsFilePath, QObject *parent)
    : QObject(parent)
    , m_settings(std::make_unique<QSettings>(settingsFilePath, QSettings::IniFormat))
    , m_writer(std::make_shared<FileWriter>(settingsFilePath))
{
}

UserDefaults::~UserDefaults()
{
    waitForWrites();
}

void UserDefaults::waitForWrites()
{
    if (m_writer)
        m_writer->write();
}

UserDefaults &UserDefaults::standard()
{
    // Deliberately never destroyed: views may still read settings while the
    // process winds down. Its writes run on the files pool, which the
    // application waits for before it ends.
    static UserDefaults *const instance = [] {
        QString folder = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
        if (folder.isEmpty())
            folder = QDir::homePath() + QStringLiteral("/.config/Veloran");
        QDir().mkpath(folder);
        return new UserDefaults(folder + QStringLiteral("/defaults.ini"));
    }();
    return *instance;
}

void UserDefaults::registerDefaults(const QVariantMap &defaults)
{
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.cbegin(); it != defaults.cend(); ++it)
        m_registered.insert(it.key(), it.value());
}

QVariant UserDefaults::storedValue(const QString &key) const
{
    if (!m_settings)
        return m_memory.value(key);
    const auto written = m_written.constFind(key);
    return written != m_written.cend() ? *written : m_settings->value(key);
}

QVariant UserDefaults::object(const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    const QVariant stored = storedValue(key);
    if (stored.isValid())
        return stored;
    return m_registered.value(key);
}

bool UserDefaults::contains(const QString &key) const
{
    return object(key).isValid();
}

bool UserDefaults::boolForKey(const QString &key) const
{
    const QVariant value = object(key);
    if (!value.isValid())
        return false;
    if (value.typeId() == QMetaType::QString) {
        // The settings file keeps every value as text.
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("yes"))
            return true;
        bool isNumber = false;
        const double number = text.toDouble(&isNumber);
        return isNumber && number != 0;
    }
    return value.toBool();
}

std::optional<QByteArray> UserDefaults::dataForKey(const QString &key) const
{
    const QVariant value = object(key);
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    return value.toByteArray();
}

std::optional<QString> UserDefaults::stringForKey(const QString &key) const
{
    const QVariant value = object(key);
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    default:
        return std::nullopt;
    }
}

void UserDefaults::setBool(bool value, const QString &key)
{
    setObject(value, key);
}

void UserDefaults::setData(const QByteArray &value, const QString &key)
{
    setObject(value, key);
}

void UserDefaults::setString(const QString &value, const QString &key)
{
    setObject(value, key);
}

void UserDefaults::setObject(const QVariant &value, const QString &key)
{
    if (!value.isValid()) {
        removeObject(key);
        return;
    }
    store(key, value);
    emit valueChanged(key);
}

void UserDefaults::store(const QString &key, const QVariant &value)
{
    QMutexLocker lock(&m_mutex);
    if (!m_writer) {
        if (value.isValid())
            m_memory.insert(key, value);
        else
            m_memory.remove(key);
        return;
    }
    m_written.insert(key, value);
    m_writer->add(key, value);
}

void UserDefaults::removeObject(const QString &key)
{
    store(key, QVariant());
    emit valueChanged(key);
}
