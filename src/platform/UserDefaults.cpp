#include "platform/UserDefaults.h"

#include "platform/WorkerPools.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtDebug>

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
        QSettings settings(m_path, QSettings::IniFormat);
        for (auto change = changes.cbegin(); change != changes.cend(); ++change) {
            if (change.value().isValid())
                settings.setValue(change.key(), change.value());
            else
                settings.remove(change.key());
        }
        settings.sync();
        if (settings.status() != QSettings::NoError)
            qWarning("Settings: cannot write %s", qPrintable(m_path));
    }

private:
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
