#pragma once

#include "model/AtlasImage.h"
#include "model/VeloranSchemaV1.h"
#include "platform/LibraryLock.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContainer.h"
#include "support/WriteBarriers.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThreadPool>
#include <QUuid>
#include <QVariantList>

#include <memory>

// Containers for tests: in memory, or on disk in a given folder.
inline ModelConfiguration testConfiguration(const QString &folder = {})
{
    ModelConfiguration configuration;
    configuration.schema = Schema(VeloranSchemaV1::versionedSchema());
    configuration.isStoredInMemoryOnly = folder.isEmpty();
    configuration.url = folder;
    return configuration;
}

inline std::unique_ptr<ModelContainer> makeTestContainer(const QString &folder = {})
{
    const ModelConfiguration configuration = testConfiguration(folder);
    return std::make_unique<ModelContainer>(configuration.schema, VeloranMigrationPlan::plan(),
                                            QList<ModelConfiguration>{configuration});
}

// An image holding `bytes`, the rest left to the defaults.
inline std::shared_ptr<AtlasImage> imageWithBytes(const std::optional<QByteArray> &bytes, const QString &title = {})
{
    return AtlasImage::make(title, Modality::mr, Region::head, Plane::unspecified, {}, Sex::unspecified, bytes);
}

inline QString externalFolderOf(const QString &folder)
{
    return ModelContainer::externalFolder(QDir(folder).filePath(QStringLiteral("default.store")));
}

// The names of the files of large bytes beside the store in `folder`, sorted
// (its lock left out): once the removals saves leave to the files pool are
// done, or as they are now.
inline QStringList externalFileNames(const QString &folder, bool settled = true)
{
    if (settled)
        WorkerPools::files().waitForDone();
    const QDir files(externalFolderOf(folder));
    QStringList names = files.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral(".lock"));
    names.sort();
    return names;
}

// Whether the lock of the folder of files beside the store in `folder` is
// held (by this process or another).
inline bool filesLocked(const QString &folder)
{
    LibraryLock probe;
    return probe.tryLock(externalFolderOf(folder)) == LibraryLock::Outcome::heldElsewhere;
}

// What tells `actual` from `expected`: the names only in the one ("left")
// and only in the other ("missing"), for a failed comparison's message.
inline QByteArray namesThatDiffer(const QStringList &actual, const QStringList &expected)
{
    QStringList left;
    QStringList missing;
    for (const QString &name : actual) {
        if (!expected.contains(name))
            left << name;
    }
    for (const QString &name : expected) {
        if (!actual.contains(name))
            missing << name;
    }
    return QStringLiteral("left: [%1]; missing: [%2]").arg(left.join(u", "), missing.join(u", ")).toLocal8Bit();
}

// Runs SQL on the store file in `folder` through a connection of its own,
// the way another program (or a damaged disk) would; false when a statement
// fails. With `results`, the first column of the last statement's rows.
inline bool runOnStore(const QString &folder, const QStringList &statements, QVariantList *results = nullptr)
{
    bool ok = true;
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("side"));
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        ok = database.open();
        for (const QString &statement : statements) {
            QSqlQuery query(database);
            if (!ok || !query.exec(statement)) {
                qWarning("%s: %s", qPrintable(statement), qPrintable(query.lastError().text()));
                ok = false;
                break;
            }
            if (results) {
                results->clear();
                while (query.next())
                    results->append(query.value(0));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("side"));
    return ok;
}

// The first column of what `query` finds in the store file in `folder`.
inline QVariantList storeColumn(const QString &folder, const QString &query)
{
    QVariantList results;
    runOnStore(folder, {query}, &results);
    return results;
}

// The file names the store's rows refer to, sorted.
inline QStringList storedFileNames(const QString &folder)
{
    QStringList names;
    for (const QVariant &name : storeColumn(folder, QStringLiteral("SELECT fileName FROM ImageFile")))
        names << name.toString();
    names.sort();
    return names;
}

// Makes every write to the store file in `folder` fail while switched on, as
// a full or failing disk would: a connection of its own adds triggers that
// abort each insert, update and delete, so the next save fails inside its
// transaction.
class FailingWrites {
public:
    explicit FailingWrites(const QString &folder)
        : m_connection(QStringLiteral("failing-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        if (!database.open())
            qFatal("cannot open the store a second time");
    }
    ~FailingWrites()
    {
        QSqlDatabase::database(m_connection).close();
        QSqlDatabase::removeDatabase(m_connection);
    }
    FailingWrites(const FailingWrites &) = delete;
    FailingWrites &operator=(const FailingWrites &) = delete;

    void set(bool fail)
    {
        QSqlQuery query(QSqlDatabase::database(m_connection));
        for (const char *table : {"Series", "AtlasImage", "ImageData", "PointAnnotation", "RegionAnnotation"}) {
            for (const char *event : {"INSERT", "UPDATE", "DELETE"}) {
                const QString name = QStringLiteral("failing_%1_%2").arg(QLatin1String(table), QLatin1String(event));
                const QString sql = fail ? QStringLiteral("CREATE TRIGGER IF NOT EXISTS %1 BEFORE %2 ON %3 BEGIN "
                                                          "SELECT RAISE(ABORT, 'disk I/O error'); END")
                                               .arg(name, QLatin1String(event), QLatin1String(table))
                                         : QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(name);
                if (!query.exec(sql))
                    qFatal("cannot change the store's triggers: %s", qPrintable(query.lastError().text()));
            }
        }
    }

private:
    QString m_connection;
};
