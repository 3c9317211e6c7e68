#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QStandardPaths>

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
{
}

UserDefaults::~UserDefaults() = default;

UserDefaults &UserDefaults::standard()
{
    // Deliberately never destroyed: every write is synced at once, and views
    // may still read settings while the process winds down.
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
    if (m_settings)
        return m_settings->value(key);
    return m_memory.value(key);
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
    {
        QMutexLocker lock(&m_mutex);
        if (m_settings) {
            m_settings->setValue(key, value);
            m_settings->sync();
        } else {
            m_memory.insert(key, value);
        }
    }
    emit valueChanged(key);
}

void UserDefaults::removeObject(const QString &key)
{
    {
        QMutexLocker lock(&m_mutex);
        if (m_settings) {
            m_settings->remove(key);
            m_settings->sync();
        } else {
            m_memory.remove(key);
        }
    }
    emit valueChanged(key);
}
