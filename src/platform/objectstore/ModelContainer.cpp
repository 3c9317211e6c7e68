#include "platform/objectstore/ModelContainer.h"

#include "platform/FileWriteError.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <atomic>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("ModelContainer", text);
}

// Why this process can't write the library at `path` (its folder, the
// store file, the store's journals, the folder of its files, those that
// are there); none when it can.
std::optional<QString> refuseUnwritable(const QString &path)
{
    const QString folder = QFileInfo(path).absolutePath();
    for (const QString &item : {folder, path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm"),
                                ModelContainer::externalFolder(path)}) {
        const QByteArray name = QFile::encodeName(item);
        if (item != folder && ::faccessat(AT_FDCWD, name.constData(), F_OK, AT_EACCESS) != 0)
            continue;
        if (::faccessat(AT_FDCWD, name.constData(), W_OK, AT_EACCESS) != 0) {
            const QString reason = FileWriteError::reasonFor(errno);
            return QFileInfo(item).isDir()
                ? tr("The library’s folder “%1” can’t be written: %2. Nothing was changed.").arg(item, reason)
                : tr("The library file “%1” can’t be written: %2. Nothing was changed.").arg(item, reason);
        }
    }
    return std::nullopt;
}

bool run(QSqlDatabase &database, const QString &sql, QSqlError *error)
{
    QSqlQuery query(database);
    if (query.exec(sql))
        return true;
    if (error)
        *error = query.lastError();
    return false;
}

// The store at `path` could not be read or written with `error`: damaged
// only when SQLite finds it so; else it could not be opened (or, when
// `creating`, created), with why in the user's words (a full disk, a
// failing disk).
ModelStoreError storeFailure(const QSqlDatabase &database, const QSqlError &error, const QString &path,
                             bool creating = false)
{
    if (ModelStoreError::saysDamaged(database, error))
        return ModelStoreError(ModelStoreError::Code::damaged,
                               tr("The library file “%1” is damaged or is not a library.").arg(path), error.text());
    const QString description = creating ? tr("The library file “%1” could not be created.").arg(path)
                                         : tr("The library file “%1” could not be opened.").arg(path);
    const QString reason = FileWriteError::sentence(ModelStoreError::reasonOf(database, error));
    return ModelStoreError(ModelStoreError::Code::cannotOpen,
                           reason.isEmpty() ? description : description + QLatin1Char(' ') + reason, error.text());
}

} // namespace

QString ModelConfiguration::storePath() const
{
    if (isStoredInMemoryOnly)
        return {};
    QString folder = url;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    return QDir(folder).filePath(ModelContainer::storeFileName(*this));
}

QString ModelContainer::storeFileName(const ModelConfiguration &configuration)
{
    const QString name = configuration.name.value_or(QString());
    return (name.isEmpty() ? QStringLiteral("default") : name) + QStringLiteral(".store");
}

QString ModelContainer::externalFolder(const QString &storePath)
{
    return storePath + QStringLiteral("-external");
}

QString ModelContainer::metadataTable()
{
    return QStringLiteral("StoreMetadata");
}

ModelContainer::ModelContainer(const Schema &schema, const SchemaMigrationPlan &migrationPlan,
                               const QList<ModelConfiguration> &configurations)
    : m_schema(schema), m_configurations(configurations)
{
    if (m_configurations.isEmpty()) {
        ModelConfiguration configuration;
        configuration.schema = schema;
        m_configurations.append(configuration);
    }
    if (m_configurations.size() > 1)
        throw ModelStoreError(ModelStoreError::Code::invalidConfiguration,
                              tr("A library can be kept in only one store."));
    if (schema.entities().isEmpty() || schema.version().isNull())
        throw ModelStoreError(ModelStoreError::Code::invalidConfiguration, tr("The library's schema is empty."));

    static std::atomic<int> counter{0};
    m_connectionName = QStringLiteral("veloran-store-%1").arg(++counter);
    try {
        openStore(m_configurations.first(), migrationPlan);
    } catch (...) {
        closeDatabase();
        throw;
    }
}

ModelContainer::~ModelContainer()
{
    closeDatabase();
}

void ModelContainer::closeDatabase()
{
    m_mainContext.reset();
    {
        QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
        if (database.isOpen())
            database.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

void ModelContainer::openStore(const ModelConfiguration &configuration, const SchemaMigrationPlan &migrationPlan)
{
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    const bool inMemory = configuration.isStoredInMemoryOnly;
    bool existed = false;
    QString path;
    if (inMemory) {
        database.setDatabaseName(QStringLiteral(":memory:"));
    } else {
        path = configuration.storePath();
        const QFileInfo info(path);
        if (info.exists() && !info.isFile())
            throw ModelStoreError(ModelStoreError::Code::cannotOpen,
                                  tr("The library file “%1” is not a file.").arg(path));
        if (!QDir().mkpath(info.absolutePath()))
            throw ModelStoreError(ModelStoreError::Code::cannotOpen,
                                  tr("The library's folder “%1” could not be created.").arg(info.absolutePath()));
        // Opened only to be written: a library this process can't write is
        // refused before anything reads it, and left as it is.
        if (const std::optional<QString> refused = refuseUnwritable(path))
            throw ModelStoreError(ModelStoreError::Code::cannotOpen, *refused);
        existed = info.exists() && info.size() > 0;
        // The pictures of a store that was lost are never taken for the new
        // store's, nor its write-ahead log deleted (SQLite deletes the log
        // of an empty file): it may hold the lost store's last saves.
        if (!existed)
            setAsideLostFiles(path, {path + QStringLiteral("-wal"), path + QStringLiteral("-shm")});
        database.setDatabaseName(path);
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!database.open())
        throw ModelStoreError(ModelStoreError::Code::cannotOpen, tr("The library file “%1” could not be opened.").arg(path),
                              database.lastError().text());

    const QVersionNumber current = m_schema.version();
    const QString metadata = metadataTable();
    QSqlError error;
    if (existed) {
        // Read before anything is written: a file that is refused is left
        // exactly as it was.
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master")))
            throw storeFailure(database, query.lastError(), path);
        QStringList names;
        while (query.next())
            names << query.value(0).toString();
        query.finish();
        qint64 pages = 0;
        if (names.isEmpty()) {
            if (!query.exec(QStringLiteral("PRAGMA page_count")) || !query.next())
                throw storeFailure(database, query.lastError(), path);
            pages = query.value(0).toLongLong();
            query.finish();
        }
        if (names.isEmpty() && pages <= 1) {
            // Nothing but SQLite's header, as a store cut short while being
            // made is left: it holds nothing to lose, and becomes the new
            // store. What was beside it is kept as for a lost store.
            existed = false;
            setAsideLostFiles(path, {});
        } else if (!names.contains(metadata)) {
            throw ModelStoreError(ModelStoreError::Code::damaged, tr("The file “%1” is not a library.").arg(path));
        }
    }
    if (existed) {
        QSqlQuery query(database);
        QVersionNumber stored;
        if (!query.exec(QStringLiteral("SELECT value FROM %1 WHERE key = 'version'").arg(metadata)))
            throw storeFailure(database, query.lastError(), path);
        if (query.next())
            stored = QVersionNumber::fromString(query.value(0).toString());
        query.finish();
        if (stored.isNull())
            throw ModelStoreError(ModelStoreError::Code::damaged,
                                  tr("The library file “%1” is damaged: its version is missing.").arg(path));
        if (stored > current)
            throw ModelStoreError(ModelStoreError::Code::newerVersion,
                                  tr("The library was saved by a newer version of Veloran (library version %1; this "
                                     "version reads up to %2). Update Veloran to open it.")
                                      .arg(stored.toString(), current.toString()));
        if (stored < current) {
            // Chain the plan's stages from the stored version to this one.
            QList<MigrationStage> chain;
            QVersionNumber version = stored;
            while (version < current) {
                const auto stage = std::find_if(migrationPlan.stages.begin(), migrationPlan.stages.end(),
                                                [&](const MigrationStage &s) { return s.fromVersion == version; });
                if (stage == migrationPlan.stages.end() || !(stage->toVersion > version))
                    throw ModelStoreError(ModelStoreError::Code::unknownVersion,
                                          tr("The library's version %1 cannot be brought up to date by this "
                                             "version of Veloran.")
                                              .arg(stored.toString()));
                chain.append(*stage);
                version = stage->toVersion;
            }
            if (version != current)
                throw ModelStoreError(ModelStoreError::Code::unknownVersion,
                                      tr("The library's version %1 cannot be brought up to date by this version of "
                                         "Veloran.")
                                          .arg(stored.toString()));
            if (!database.transaction())
                throw ModelStoreError(ModelStoreError::Code::migrationFailed,
                                      tr("The library could not be updated."), database.lastError().text());
            QString stageError;
            bool ok = true;
            for (const MigrationStage &stage : std::as_const(chain)) {
                if (stage.migrate && !stage.migrate(database, &stageError)) {
                    ok = false;
                    break;
                }
            }
            ok = ok
                && run(database,
                       QStringLiteral("UPDATE %1 SET value = '%2' WHERE key = 'version'").arg(metadata, current.toString()),
                       &error)
                && database.commit();
            if (!ok) {
                if (stageError.isEmpty())
                    stageError = error.isValid() ? error.text() : database.lastError().text();
                database.rollback();
                throw ModelStoreError(ModelStoreError::Code::migrationFailed,
                                      tr("The library could not be updated from version %1; it was left unchanged.")
                                          .arg(stored.toString()),
                                      stageError);
            }
        }
    } else {
        if (!inMemory && !run(database, QStringLiteral("PRAGMA journal_mode = WAL"), &error))
            throw storeFailure(database, error, path, true);
        bool ok = database.transaction();
        ok = ok
            && run(database, QStringLiteral("CREATE TABLE %1 (key TEXT PRIMARY KEY, value TEXT)").arg(metadata), &error)
            && run(database,
                   QStringLiteral("INSERT INTO %1 (key, value) VALUES ('version', '%2')").arg(metadata, current.toString()),
                   &error);
        for (const EntityType *type : m_schema.entities()) {
            for (const QString &statement : type->createStatements())
                ok = ok && run(database, statement, &error);
        }
        ok = ok && database.commit();
        if (!ok) {
            if (!error.isValid())
                error = database.lastError();
            database.rollback();
            throw storeFailure(database, error, path, true);
        }
    }
    // With the write-ahead log, NORMAL never corrupts the file and keeps
    // every committed save across a crash of the process; only a power
    // failure may lose the last saves. FULL would sync on every save and
    // make a one-field save cost milliseconds.
    if (existed) {
        // Every model's table must be there (after a migration too).
        QSqlQuery tables(database);
        QStringList names;
        if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table'")))
            throw storeFailure(database, tables.lastError(), path);
        while (tables.next())
            names << tables.value(0).toString();
        for (const EntityType *type : m_schema.entities()) {
            if (!names.contains(type->name()))
                throw ModelStoreError(ModelStoreError::Code::damaged,
                                      tr("The library file “%1” is damaged: its %2 records are missing.")
                                          .arg(path, type->name()));
        }
        for (const EntityType *type : m_schema.entities()) {
            for (const QString &statement : type->upgradeStatements()) {
                if (!run(database, statement, &error))
                    throw storeFailure(database, error, path);
            }
        }
    }
    if (!inMemory)
        run(database, QStringLiteral("PRAGMA synchronous = NORMAL"), nullptr);

    m_mainContext.reset(new ModelContext(database, m_schema, configuration.allowsSave,
                                         inMemory ? QString() : externalFolder(path)));
    // A new store has no files of its own yet.
    if (existed)
        m_mainContext->removeUnreferencedExternalFiles();
    if (!inMemory) {
        // Kept by this opening or by one that ended before the user was told.
        const QString note = keptFilesNote(path);
        const QString keptNow = m_keptExternalFolders.value(0);
        m_keptExternalFolders = ExternalStorage::keptFolders(note, externalFolder(path));
        // Told all the same when the note could not name it.
        if (!keptNow.isEmpty() && !m_keptExternalFolders.contains(keptNow))
            m_keptExternalFolders << keptNow;
        if (m_keptExternalFolders.isEmpty())
            ExternalStorage::removeNote(note);
    }
}

void ModelContainer::setAsideLostFiles(const QString &path, const QStringList &journals)
{
    QString error;
    const QString kept = ExternalStorage::setAside(externalFolder(path), QDateTime::currentDateTime(), &error,
                                                   journals, keptFilesNote(path));
    if (!kept.isEmpty())
        m_keptExternalFolders = QStringList{kept};
    if (!error.isEmpty())
        throw ModelStoreError(ModelStoreError::Code::cannotOpen,
                              tr("The library file “%1” is missing or empty, and the files of its pictures could not "
                                 "be moved aside to keep them.")
                                  .arg(path),
                              error);
}

QString ModelContainer::keptFilesNote(const QString &storePath)
{
    return storePath + QStringLiteral("-kept");
}

void ModelContainer::keptFilesAnnounced(const QString &storePath)
{
    ExternalStorage::removeNote(keptFilesNote(storePath));
}
