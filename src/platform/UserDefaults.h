#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>

class QSettings;

// The user's preferences: typed values by key, kept across launches.
//
// A key that was written reads its written value. A key never written reads
// the value registered for it with registerDefaults(); registered values are
// not stored and live only for this run. A key neither written nor registered
// reads as false, or as none for data and text.
//
// standard() is the application's own instance, stored in the user's config
// folder. Tests make their own instance over a settings file or in memory.
// Safe to use from any thread; valueChanged is emitted on the writing thread.
//
// A value written reads back at once; the settings file is written soon
// after, on a worker thread (WorkerPools::files()), never on the writing
// one: saving a file waits for the disk, which a busy machine can make take
// hundreds of milliseconds. The writes keep their order; waitForWrites()
// and the destructor write what is left. The file is replaced only by a
// whole one: a write that fails (a full disk) leaves it as it was, is
// logged with the system's reason, and its changes go with the next write.
class UserDefaults : public QObject {
    Q_OBJECT
public:
    // Values kept in memory only, for tests; `values` as if written.
    explicit UserDefaults(QObject *parent = nullptr);
    explicit UserDefaults(const QVariantMap &values, QObject *parent = nullptr);
    // Values kept in the settings file at `settingsFilePath` (INI format),
    // written to disk after every change.
    explicit UserDefaults(const QString &settingsFilePath, QObject *parent = nullptr);
    ~UserDefaults() override;

    // The application's defaults; made on first use, lives until the process ends.
    static UserDefaults &standard();

    // Adds to (and replaces keys of) the registered defaults.
    void registerDefaults(const QVariantMap &defaults);

    // The written value, else the registered one, else an invalid QVariant.
    QVariant object(const QString &key) const;
    bool contains(const QString &key) const;

    bool boolForKey(const QString &key) const;
    // Only values stored as bytes; none for a missing key or a value of another kind.
    std::optional<QByteArray> dataForKey(const QString &key) const;
    // Text and numbers as text; none for a missing key or bytes.
    std::optional<QString> stringForKey(const QString &key) const;

    void setBool(bool value, const QString &key);
    void setData(const QByteArray &value, const QString &key);
    void setString(const QString &value, const QString &key);
    void setObject(const QVariant &value, const QString &key);
    // Forgets the written value, so the registered default shows again.
    void removeObject(const QString &key);

    // Writes to the settings file, on this thread, what was written before
    // (waiting for a write under way). Without a file, nothing.
    void waitForWrites();

signals:
    // A key was written or removed (also when the value is the same as before).
    void valueChanged(const QString &key);

private:
    class FileWriter;

    QVariant storedValue(const QString &key) const;
    // Records a write (an invalid value: a removal) and passes it on to the file.
    void store(const QString &key, const QVariant &value);

    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings; // the file as read; null: in memory
    QHash<QString, QVariant> m_written;    // with a file: written since (invalid: removed)
    QVariantMap m_memory;
    QVariantMap m_registered;
    std::shared_ptr<FileWriter> m_writer; // null: in memory
};
