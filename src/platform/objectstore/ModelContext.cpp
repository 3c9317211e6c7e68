#include "platform/objectstore/ModelContext.h"

#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFutureWatcher>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>
#include <QtConcurrent/QtConcurrentRun>
#include <QtConcurrent/qtconcurrenttask.h>
#include <QtDebug>

#include <sqlite3.h>

#include <atomic>
#include <iterator>
#include <utility>

namespace {

// Deletions of many rows name this many keys a statement.
constexpr qsizetype keysPerStatement = 500;

// What the statements of a save may call, on every connection that writes.
void offerFunctions(sqlite3 *connection)
{
    sqlite3_create_function_v2(
        connection, "newIdentifier", 0, SQLITE_UTF8, nullptr,
        [](sqlite3_context *result, int, sqlite3_value **) {
            const QByteArray bytes = QUuid::createUuid().toRfc4122();
            sqlite3_result_blob(result, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        },
        nullptr, nullptr, nullptr);
}

// What a worker's save answers: its error, and whether it holds the
// external folder's lock, which the context lets go once it has taken
// the result in.
struct WorkerOutcome {
    std::optional<ModelStoreError> error;
    bool lockedExternal = false;
};

// Writes recorded statements in one transaction on a connection of the
// calling thread; the staged external files first.
WorkerOutcome writeOnWorker(const QString &storePath, ExternalStorage *external, bool writesFiles,
                            const RecordedWrites &recorded)
{
    WorkerOutcome outcome;
    if (writesFiles) {
        QString whyNot;
        if (!external->lock(&whyNot)) {
            external->discard();
            outcome.error = ModelStoreError::saveFailed(whyNot);
            return outcome;
        }
        outcome.lockedExternal = true;
        if (const std::optional<QString> error = external->writeStaged()) {
            outcome.error = ModelStoreError::saveFailed(*error);
            return outcome;
        }
    }
    static std::atomic<quint64> connections{0};
    const QString name = QStringLiteral("veloran-save-%1").arg(++connections);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(storePath);
        // The main connection's reads never block it for long.
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!database.open()) {
            outcome.error = ModelStoreError::saveFailed(database, database.lastError());
        } else {
            if (sqlite3 *connection = sqliteConnection(database))
                offerFunctions(connection);
            QSqlQuery(database).exec(QStringLiteral("PRAGMA synchronous = NORMAL"));
            ConnectionWrites writes(database, *external);
            if (!database.transaction()) {
                outcome.error = ModelStoreError::saveFailed(database, database.lastError());
            } else {
                try {
                    recorded.replay(writes);
                    writes.syncCopies();
                    external->willCommit();
                    if (!database.commit())
                        throw ModelStoreError::saveFailed(database, database.lastError());
                    writes.keepCopies();
                } catch (const ModelStoreError &error) {
                    database.rollback();
                    writes.removeCopies();
                    outcome.error = error;
                }
            }
        }
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
    return outcome;
}

} // namespace

struct ModelContext::BackgroundSave {
    QFuture<WorkerOutcome> outcome;
    QPointer<QFutureWatcher<WorkerOutcome>> watcher;
    std::vector<qint64> firstKeys;
    bool addsRows = false;
    QPointer<QObject> receiver;
    std::function<void(const std::optional<ModelStoreError> &)> done;
};

QString ModelContext::keyList(const QList<qint64> &keys)
{
    QStringList listed;
    listed.reserve(keys.size());
    for (const qint64 key : keys)
        listed << QString::number(key);
    return listed.join(QLatin1Char(','));
}

ModelContext::ModelContext(QSqlDatabase database, const Schema &schema, bool allowsSave,
                           const QString &externalFolder)
    : m_database(database), m_schema(schema), m_allowsSave(allowsSave),
      m_external(std::make_unique<ExternalStorage>(externalFolder))
{
    // Qt's SQLite driver and this program use the same system SQLite
    // library, so the driver's connection serves our own reads as well.
    m_handle = sqliteConnection(m_database);
    if (!m_handle)
        qFatal("Store: the database driver gives no SQLite connection");
    for (const EntityType *type : schema.entities()) {
        EntityState entity;
        entity.type = type;
        entity.table = type->name();
        entity.toOne = type->toOneRelationship();
        entity.toMany = type->toManyRelationships();
        QStringList columns{QStringLiteral("rowKey")};
        if (entity.toOne)
            columns << QString::fromLatin1(entity.toOne->foreignKeyColumn);
        columns << type->columns();
        entity.selectColumns = columns.join(QStringLiteral(", "));

        QSqlQuery query(m_database);
        if (query.exec(QStringLiteral("SELECT COALESCE(MAX(rowKey), 0) FROM %1").arg(entity.table)) && query.next())
            entity.nextKey = query.value(0).toLongLong() + 1;
        m_entities.push_back(std::move(entity));
    }
    // The write-ahead log is copied back into the file by a connection of
    // a worker rather than by the commit that fills it (SQLite's automatic
    // checkpoint, which this hook replaces): a checkpoint after a large
    // save would keep the GUI thread from the next event for as long as
    // the save itself.
    if (!storePath().isEmpty())
        sqlite3_wal_hook(m_handle, &ModelContext::walCommitted, this);
    offerFunctions(m_handle);
    m_writes = std::make_unique<ConnectionWrites>(m_database, *m_external);
}

int ModelContext::walCommitted(void *context, sqlite3 *, const char *, int pages)
{
    // SQLite's own threshold for its automatic checkpoint.
    if (pages >= 1000)
        static_cast<ModelContext *>(context)->checkpointLater();
    return SQLITE_OK;
}

void ModelContext::checkpointLater()
{
    // While one runs, the next commit asks again.
    if (m_checkpoint.isRunning())
        return;
    m_checkpoint = QtConcurrent::run(&WorkerPools::files(), [path = storePath()] {
        sqlite3 *database = nullptr;
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &database, flags, nullptr) == SQLITE_OK) {
            // A connection learns that the file keeps a write-ahead log
            // on its first read.
            sqlite3_exec(database, "SELECT COUNT(*) FROM sqlite_master", nullptr, nullptr, nullptr);
            // Passive: it copies what no reader still needs and never
            // waits for the main connection.
            const int result = sqlite3_wal_checkpoint_v2(database, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
            if (result != SQLITE_OK && result != SQLITE_BUSY)
                qWarning("Store: checkpoint failed: %s", sqlite3_errmsg(database));
        } else {
            qWarning("Store: cannot open the store for a checkpoint: %s",
                     database ? sqlite3_errmsg(database) : "out of memory");
        }
        sqlite3_close(database);
    });
}

ModelContext::~ModelContext()
{
    if (m_background) {
        // The save ends as it would have; the files it stored stay.
        delete m_background->watcher;
        m_background->outcome.waitForFinished();
        const WorkerOutcome outcome = m_background->outcome.result();
        if (outcome.error)
            m_external->discard();
        else
            m_external->committed();
        if (outcome.lockedExternal)
            m_external->unlock();
        m_background.reset();
    }
    sqlite3_wal_hook(m_handle, nullptr, nullptr);
    m_checkpoint.waitForFinished();
    m_writes.reset();
    if (m_leavesObjects) {
        m_queries.clear();
        m_reads.clear();
        // Deliberately never freed, and reachable until the process ends.
        static std::deque<std::shared_ptr<ModelObject>> *left = nullptr;
        if (!left)
            left = new std::deque<std::shared_ptr<ModelObject>>(std::move(m_owned));
        else
            left->insert(left->end(), std::make_move_iterator(m_owned.begin()), std::make_move_iterator(m_owned.end()));
        return;
    }
    // Objects that views still hold outlive the context: cut every link
    // first, so none of them is left pointing at a freed object.
    for (const std::shared_ptr<ModelObject> &object : m_owned) {
        const EntityType &type = object->entityType();
        if (const RelationshipDescription *toOne = type.toOneRelationship())
            toOne->assignParent(object.get(), nullptr);
        for (const RelationshipDescription *toMany : type.toManyRelationships()) {
            RelationList &list = toMany->listOf(object.get());
            list.items.clear();
            list.loaded = true;
        }
        object->m_context = nullptr;
    }
    m_queries.clear();
    m_reads.clear();
    m_owned.clear();
}

ModelContext::EntityState &ModelContext::state(const EntityType &type)
{
    for (EntityState &entity : m_entities) {
        if (entity.type == &type)
            return entity;
    }
    qFatal("The model %s is not part of this container's schema", qPrintable(type.name()));
}

QString ModelContext::storePath() const
{
    const QString name = m_database.databaseName();
    return name == QLatin1String(":memory:") ? QString() : name;
}

QSqlQuery &ModelContext::preparedQuery(const QString &sql)
{
    auto found = m_queries.find(sql);
    if (found == m_queries.end()) {
        auto query = std::make_unique<QSqlQuery>(m_database);
        query->setForwardOnly(true);
        if (!query->prepare(sql))
            qWarning("Store: cannot prepare %s: %s", qPrintable(sql), qPrintable(query->lastError().text()));
        found = m_queries.emplace(sql, std::move(query)).first;
    }
    found->second->finish();
    return *found->second;
}

QSqlQuery ModelContext::singleQuery() const
{
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    return query;
}

StoreStatement &ModelContext::readStatement(const QString &sql)
{
    auto found = m_reads.find(sql);
    if (found == m_reads.end()) {
        auto statement = std::make_unique<StoreStatement>(m_handle, sql);
        if (statement->failed())
            qWarning("Store: cannot prepare %s: %s", qPrintable(sql), qPrintable(statement->errorMessage()));
        found = m_reads.emplace(sql, std::move(statement)).first;
    }
    found->second->reset();
    return *found->second;
}

void ModelContext::removeUnreferencedExternalFiles()
{
    // Only files that this store recorded as its own may go, under the
    // lock: no other process is then between writing a file and committing
    // the row that refers to it.
    const bool recorded = m_external->hasRecords();
    const bool locked = recorded && m_external->lock();
    if (recorded && !locked)
        qWarning("Store: the external files are in use; unreferenced ones are kept for now");
    if (locked) {
        QSet<QString> referenced;
        bool complete = true;
        for (const EntityType *type : m_schema.entities()) {
            const QString sql = type->externalFilesQuery();
            if (sql.isEmpty())
                continue;
            QSqlQuery query(m_database);
            query.setForwardOnly(true);
            if (!query.exec(sql)) {
                qWarning("Store: cannot list external files: %s", qPrintable(query.lastError().text()));
                complete = false;
                break;
            }
            while (query.next())
                referenced.insert(query.value(0).toString());
        }
        if (complete)
            m_external->removeUnreferenced(referenced);
        m_external->unlock();
    }
    // Its own temporary files, which no row ever names, are cleared on the
    // files pool: listing the whole folder (a second for a million files)
    // would hold the first paint. Begun only now, so that the recorded
    // files above don't wait for it.
    m_external->clearTemporariesLater();
}

void ModelContext::throwSaveError(const QString &what, const QSqlQuery &query) const
{
    throw ModelStoreError::saveFailed(m_database, query.lastError(), what);
}

void ModelContext::retain(ModelObject *object)
{
    std::shared_ptr<ModelObject> owner = object->weak_from_this().lock();
    if (!owner)
        qFatal("Model objects must be made with their make() function");
    m_owned.push_back(std::move(owner));
}

// Reading

void ModelContext::addInKeyOrder(EntityState &entity, ModelObject *object)
{
    if (!entity.inKeyOrder.empty() && entity.inKeyOrder.back().first >= object->m_key)
        entity.inKeyOrderSorted = false;
    entity.inKeyOrder.emplace_back(object->m_key, object);
}

ModelObject *ModelContext::objectForRow(EntityState &entity, const StoreRow &row, ModelObject *knownParent,
                                       bool mayExist)
{
    const qint64 key = row.integer(0);
    if (mayExist) {
        if (ModelObject *existing = entity.byKey.value(key))
            return existing;
    }

    const int first = entity.toOne ? 2 : 1;
    std::shared_ptr<ModelObject> object = entity.type->materialize(row, first);
    ModelObject *raw = object.get();
    raw->m_context = this;
    raw->m_key = key;
    raw->m_state = ModelObject::State::persisted;
    for (const RelationshipDescription *toMany : std::as_const(entity.toMany))
        toMany->listOf(raw).loaded = false;
    m_owned.push_back(std::move(object));
    entity.byKey.insert(key, raw);
    addInKeyOrder(entity, raw);

    if (entity.toOne) {
        if (!row.isNull(1)) {
            ModelObject *parent = knownParent;
            if (!parent)
                parent = objectForKey(state(*entity.toOne->parentEntity()), row.integer(1));
            entity.toOne->assignParent(raw, parent);
            // A row of a parent whose deletion took its children unread
            // is read as deleted.
            if (parent && parent->m_state == ModelObject::State::deleted && entity.toOne->cascadeDelete) {
                raw->m_state = ModelObject::State::deleted;
                m_deleted.push_back(raw);
            }
        }
    }
    return raw;
}

ModelObject *ModelContext::objectForKey(EntityState &entity, qint64 key)
{
    if (ModelObject *existing = entity.byKey.value(key))
        return existing;
    if (entity.allLoaded)
        return nullptr;
    entity.loadedOutsideLists = true;
    StoreStatement &query =
        readStatement(QStringLiteral("SELECT %1 FROM %2 WHERE rowKey = ?").arg(entity.selectColumns, entity.table));
    query.bind(1, key);
    if (!query.next()) {
        if (query.failed())
            qWarning("Store: cannot read %s %lld: %s", qPrintable(entity.table), key,
                     qPrintable(query.errorMessage()));
        return nullptr;
    }
    ModelObject *object = objectForRow(entity, query.row(), nullptr);
    query.reset();
    return object;
}

void ModelContext::loadAll(EntityState &entity)
{
    if (entity.allLoaded)
        return;
    entity.loadedOutsideLists = true;
    if (entity.toOne)
        loadAll(state(*entity.toOne->parentEntity()));

    // Room for every row at once (keys run up to nextKey - 1).
    StoreStatement count(m_handle, QStringLiteral("SELECT COUNT(*) FROM %1").arg(entity.table));
    const qint64 rows = count.next() ? count.row().integer(0) : 0;
    entity.byKey.reserve(entity.nextKey - 1, rows);
    // Into an empty table (as at start-up) no row can meet its object.
    const bool mayExist = !entity.byKey.isEmpty();
    StoreStatement query(m_handle, QStringLiteral("SELECT %1 FROM %2 ORDER BY rowKey").arg(entity.selectColumns, entity.table));
    while (query.next())
        objectForRow(entity, query.row(), nullptr, mayExist);
    if (query.failed()) {
        qWarning("Store: cannot read %s: %s", qPrintable(entity.table), qPrintable(query.errorMessage()));
        return;
    }
    entity.allLoaded = true;
}

QList<ModelObject *> ModelContext::fetchObjects(const EntityType &type)
{
    EntityState &entity = state(type);
    loadAll(entity);
    const auto current = [&](const std::pair<qint64, ModelObject *> &entry) {
        return entry.second->m_key == entry.first && entity.byKey.value(entry.first) == entry.second;
    };
    if (!entity.inKeyOrderSorted || entity.inKeyOrder.size() > 2 * size_t(entity.byKey.size()) + 64) {
        std::erase_if(entity.inKeyOrder, [&](const auto &entry) { return !current(entry); });
        std::sort(entity.inKeyOrder.begin(), entity.inKeyOrder.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        entity.inKeyOrderSorted = true;
    }
    QList<ModelObject *> result;
    result.reserve(entity.byKey.size());
    for (const auto &[key, object] : entity.inKeyOrder) {
        if (object->m_key == key
            && (object->m_state == ModelObject::State::inserted || object->m_state == ModelObject::State::persisted))
            result.append(object);
    }
    return result;
}

void ModelContext::loadChildren(ModelObject *parent, const RelationshipDescription &relationship)
{
    RelationList &list = relationship.listOf(parent);
    if (list.loaded)
        return;
    list.loaded = true;
    const bool stored =
        parent->m_state == ModelObject::State::persisted || parent->m_state == ModelObject::State::deleted;
    if (parent->m_context != this || !stored)
        return;

    EntityState &child = state(*relationship.childEntity());
    StoreStatement &query = readStatement(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ? ORDER BY rowKey")
                                              .arg(child.selectColumns, child.table,
                                                   QString::fromLatin1(relationship.foreignKeyColumn)));
    query.bind(1, parent->m_key);
    QList<ModelObject *> items;
    while (query.next()) {
        ModelObject *object = objectForRow(child, query.row(), parent);
        // Objects already in memory count where they are now, not where
        // the store last saw them.
        if (object->m_state == ModelObject::State::persisted && relationship.parentOf(object) == parent)
            items.append(object);
    }
    if (query.failed())
        qWarning("Store: cannot read %s: %s", qPrintable(child.table), qPrintable(query.errorMessage()));
    query.reset();
    for (ModelObject *object : std::as_const(list.items)) {
        if (!items.contains(object))
            items.append(object);
    }
    list.items = items;
}

RelationList &ModelContext::loadedList(ModelObject *parent, const RelationshipDescription &relationship)
{
    RelationList &list = relationship.listOf(parent);
    if (!list.loaded)
        loadChildren(parent, relationship);
    list.loaded = true;
    return list;
}

// Changing

void ModelContext::insert(ModelObject *object)
{
    if (!object || object->m_context == this)
        return;
    finishBackgroundSave();
    if (object->m_context) {
        qWarning("Store: an object cannot move between contexts");
        return;
    }
    if (object->m_state != ModelObject::State::detached)
        return; // deleted objects do not come back
    insertLinked(object);
    emit changed();
}

void ModelContext::insertLinked(ModelObject *object)
{
    retain(object);
    EntityState &entity = state(object->entityType());
    object->m_context = this;
    object->m_key = entity.nextKey++;
    object->m_state = ModelObject::State::inserted;
    entity.byKey.insert(object->m_key, object);
    addInKeyOrder(entity, object);
    m_inserted.push_back(object);
    emit objectInserted(object);

    const auto joins = [this](ModelObject *linked) {
        if (linked && !linked->m_context && linked->m_state == ModelObject::State::detached)
            insertLinked(linked);
    };
    if (entity.toOne)
        joins(entity.toOne->parentOf(object));
    for (const RelationshipDescription *toMany : std::as_const(entity.toMany)) {
        const QList<ModelObject *> children = toMany->listOf(object).items;
        for (ModelObject *child : children)
            joins(child);
    }
}

void ModelContext::deleteObject(ModelObject *object)
{
    if (!object || object->m_context != this)
        return;
    finishBackgroundSave();
    if (object->m_state != ModelObject::State::inserted && object->m_state != ModelObject::State::persisted)
        return;
    deleteCascading(object);
    emit changed();
}

void ModelContext::deleteCascading(ModelObject *object)
{
    const bool wasNew = object->m_state == ModelObject::State::inserted;
    object->m_state = wasNew ? ModelObject::State::removed : ModelObject::State::deleted;
    if (!wasNew)
        m_deleted.push_back(object);

    const EntityType &type = object->entityType();
    for (const RelationshipDescription *toMany : std::as_const(state(type).toMany)) {
        if (!toMany->cascadeDelete)
            continue;
        RelationList &list = toMany->listOf(object);
        if (!wasNew && !list.loaded && deletesChildrenUnread(*toMany)) {
            // None of them is in memory: the save deletes their rows
            // without reading them first.
            list.items.clear();
            list.loaded = true;
            m_unreadDeletions.emplace_back(object, toMany);
            continue;
        }
        const QList<ModelObject *> children = loadedList(object, *toMany).items;
        for (ModelObject *child : children) {
            if (child->m_context == this && toMany->parentOf(child) == object
                && (child->m_state == ModelObject::State::inserted || child->m_state == ModelObject::State::persisted))
                deleteCascading(child);
        }
    }
    if (const RelationshipDescription *toOne = type.toOneRelationship()) {
        ModelObject *parent = toOne->parentOf(object);
        if (parent && !parent->isDeleted()) {
            RelationList &list = toOne->listOf(parent);
            if (list.loaded) {
                list.items.removeOne(object);
                listChanged(parent, *toOne);
                parent->notifyObservers(toOne->toManyName);
            }
        }
    }
    if (wasNew) {
        state(type).byKey.remove(object->m_key);
        object->m_context = nullptr;
        object->m_key = 0;
    }
    emit objectDeleted(object);
}

bool ModelContext::deletesChildrenUnread(const RelationshipDescription &relationship)
{
    const EntityType &child = *relationship.childEntity();
    if (state(child).loadedOutsideLists || !child.toManyRelationships().isEmpty())
        return false;
    const QList<PropertyDescription> properties = child.properties();
    return std::none_of(properties.cbegin(), properties.cend(), [](const PropertyDescription &property) {
        return property.options & PropertyDescription::externalStorage;
    });
}

void ModelContext::deleteUnreadChildren(StoreWrites &writes)
{
    std::map<const RelationshipDescription *, QList<qint64>> parents;
    for (const auto &[parent, relationship] : m_unreadDeletions) {
        if (parent->m_state == ModelObject::State::deleted)
            parents[relationship].append(parent->m_key);
    }
    for (const auto &[relationship, keys] : parents) {
        const QString table = relationship->childEntity()->name();
        for (qsizetype first = 0; first < keys.size(); first += keysPerStatement) {
            writes.run(tr("deleting from %1").arg(table),
                       QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)")
                           .arg(table, QString::fromLatin1(relationship->foreignKeyColumn),
                                keyList(keys.mid(first, keysPerStatement))));
        }
    }
}

void ModelContext::markChanged(ModelObject *object)
{
    if (!object->m_inChangedList) {
        object->m_inChangedList = true;
        m_changed.push_back(object);
    }
}

void ModelContext::listChanged(ModelObject *parent, const RelationshipDescription &relationship)
{
    if (parent->m_context == this)
        m_touchedLists.emplace_back(parent, &relationship);
}

void ModelContext::emitChange(ModelObject *object, const char *property)
{
    emit propertyChanged(object, property);
    emit changed();
}

bool ModelContext::hasChanges() const
{
    if (!m_deleted.empty())
        return true;
    for (const ModelObject *object : m_inserted) {
        if (object->m_state == ModelObject::State::inserted)
            return true;
    }
    for (const ModelObject *object : m_changed) {
        if (object->m_state == ModelObject::State::persisted)
            return true;
    }
    return false;
}

// Saving

QVariantList ModelContext::rowValues(EntityState &entity, const ModelObject *object, std::optional<qint64> key)
{
    QVariantList values;
    if (key)
        values << *key;
    if (entity.toOne) {
        ModelObject *parent = entity.toOne->parentOf(object);
        const bool stored = parent && parent->m_context == this && parent->m_key != 0;
        values << (stored ? QVariant(parent->m_key) : QVariant());
    }
    entity.type->bindColumns(values, *object);
    return values;
}

QString ModelContext::insertStatement(const EntityState &entity)
{
    QStringList names{QStringLiteral("rowKey")};
    if (entity.toOne)
        names << QString::fromLatin1(entity.toOne->foreignKeyColumn);
    names << entity.type->columns();
    QStringList marks;
    for (qsizetype i = 0; i < names.size(); ++i)
        marks << QStringLiteral("?");
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(entity.table, names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
}

bool ModelContext::writeChanges(SaveCursor &cursor, const QDeadlineTimer &deadline, StoreWrites &writes)
{
    int rows = 0;
    const auto due = [&] { return ++rows % 64 == 0 && deadline.hasExpired(); };
    if (cursor.entity == 0 && cursor.phase == 0 && cursor.index == 0)
        deleteUnreadChildren(writes);
    for (; cursor.entity < m_entities.size(); ++cursor.entity, cursor.phase = 0, cursor.index = 0) {
        EntityState &entity = m_entities[cursor.entity];
        const EntityType &type = *entity.type;
        if (cursor.phase == 0) {
            // Deletions go many keys a statement, in one step.
            QList<qint64> deletedKeys;
            for (ModelObject *object : m_deleted) {
                if (&object->entityType() == &type)
                    deletedKeys.append(object->m_key);
            }
            for (qsizetype first = 0; first < deletedKeys.size(); first += keysPerStatement) {
                const QList<qint64> keys = deletedKeys.mid(first, keysPerStatement);
                writes.run(tr("deleting from %1").arg(entity.table),
                           QStringLiteral("DELETE FROM %1 WHERE rowKey IN (%2)").arg(entity.table, keyList(keys)));
                type.deleteExternal(*this, writes, keys);
            }
            cursor.phase = 1;
            cursor.index = 0;
        }

        if (cursor.phase == 1) {
            const QString insertRow = insertStatement(entity);
            const QString adding = tr("adding to %1").arg(entity.table);
            for (; cursor.index < m_inserted.size(); ++cursor.index) {
                ModelObject *object = m_inserted[cursor.index];
                if (&object->entityType() != &type || object->m_state != ModelObject::State::inserted)
                    continue;
                writes.run(adding, insertRow, rowValues(entity, object, object->m_key));
                type.writeExternal(*object, true, writes);
                if (due())
                    return (++cursor.index, false);
            }
            cursor.phase = 2;
            cursor.index = 0;
        }

        QStringList assignments;
        if (entity.toOne)
            assignments << QString::fromLatin1(entity.toOne->foreignKeyColumn) + QStringLiteral(" = ?");
        for (const QString &name : type.columns())
            assignments << name + QStringLiteral(" = ?");
        const QString update = QStringLiteral("UPDATE %1 SET %2 WHERE rowKey = ?")
                                   .arg(entity.table, assignments.join(QStringLiteral(", ")));
        const QString changing = tr("changing %1").arg(entity.table);
        for (; cursor.index < m_changed.size(); ++cursor.index) {
            ModelObject *object = m_changed[cursor.index];
            if (&object->entityType() != &type || object->m_state != ModelObject::State::persisted)
                continue;
            QVariantList values = rowValues(entity, object, std::nullopt);
            values << object->m_key;
            writes.run(changing, update, values);
            type.writeExternal(*object, false, writes);
            if (due())
                return (++cursor.index, false);
        }
    }
    return true;
}

void ModelContext::stageChanges()
{
    for (ModelObject *object : m_inserted) {
        if (object->m_state == ModelObject::State::inserted)
            object->entityType().stageExternal(*object, true, *m_external);
    }
    for (ModelObject *object : m_changed) {
        if (object->m_state == ModelObject::State::persisted)
            object->entityType().stageExternal(*object, false, *m_external);
    }
}

qint64 ModelContext::nextKey(const EntityType &type)
{
    return state(type).nextKey;
}

qint64 ModelContext::reserveKeys(const EntityType &type, qint64 count)
{
    EntityState &entity = state(type);
    const qint64 first = entity.nextKey;
    entity.nextKey += std::max<qint64>(count, 0);
    return first;
}

void ModelContext::addRow(StoreWrites &writes, const ModelObject &object, qint64 key, qint64 parentKey)
{
    EntityState &entity = state(object.entityType());
    QVariantList values{key};
    if (entity.toOne)
        values << (parentKey != 0 ? QVariant(parentKey) : QVariant());
    entity.type->bindColumns(values, object);
    writes.run(tr("adding to %1").arg(entity.table), insertStatement(entity), values);
}

std::vector<qint64> ModelContext::firstNewKeys() const
{
    std::vector<qint64> keys;
    for (const EntityState &entity : m_entities)
        keys.push_back(entity.nextKey);
    return keys;
}

void ModelContext::save(const AddRows &addRows)
{
    finishBackgroundSave();
    Q_ASSERT(!m_saveInSteps); // the context is held until a save in steps ends
    if (!hasChanges() && !addRows)
        return;
    beginSave();
    const std::vector<qint64> firstKeys = firstNewKeys();
    SaveCursor cursor;
    try {
        writeChanges(cursor, QDeadlineTimer(QDeadlineTimer::Forever), *m_writes);
        if (addRows)
            addRows(*m_writes);
    } catch (...) {
        abandonSave();
        throw;
    }
    commitSave(addRows ? &firstKeys : nullptr);
}

void ModelContext::saveInBackground(QObject *receiver, const AddRows &addRows,
                                    std::function<void(const std::optional<ModelStoreError> &)> done)
{
    finishBackgroundSave();
    Q_ASSERT(!m_saveInSteps);
    const auto answer = [&](const std::optional<ModelStoreError> &error) {
        if (done)
            done(error);
    };
    if (storePath().isEmpty() || !m_allowsSave) {
        try {
            save(addRows);
        } catch (const ModelStoreError &error) {
            answer(error);
            return;
        }
        answer(std::nullopt);
        return;
    }
    if (!hasChanges() && !addRows) {
        answer(std::nullopt);
        return;
    }
    auto job = std::make_shared<BackgroundSave>();
    job->firstKeys = firstNewKeys();
    job->addsRows = bool(addRows);
    job->receiver = receiver;
    job->done = std::move(done);
    // The statements are made here, where the objects live; the worker
    // only runs them.
    stageChanges();
    RecordedWrites recorded;
    try {
        SaveCursor cursor;
        writeChanges(cursor, QDeadlineTimer(QDeadlineTimer::Forever), recorded);
        if (addRows)
            addRows(recorded);
    } catch (const ModelStoreError &error) {
        m_external->discard();
        if (job->done)
            job->done(error);
        return;
    }
    beginHeldChange();
    m_background = job;
    job->watcher = new QFutureWatcher<WorkerOutcome>(this);
    connect(job->watcher, &QFutureWatcherBase::finished, this, [this, job] {
        if (m_background == job)
            finishBackgroundSave();
    });
    // Ahead of whatever else the files pool has queued (an import writing
    // its pictures): the windows wait for it.
    job->outcome = QtConcurrent::task(&writeOnWorker)
                       .withArguments(storePath(), m_external.get(), m_external->hasStaged(), std::move(recorded))
                       .onThreadPool(WorkerPools::files())
                       .withPriority(1)
                       .spawn();
    job->watcher->setFuture(job->outcome);
}

void ModelContext::finishBackgroundSave()
{
    if (!m_background)
        return;
    const std::shared_ptr<BackgroundSave> job = std::move(m_background);
    m_background.reset();
    if (job->watcher)
        job->watcher->deleteLater();
    job->outcome.waitForFinished();
    const WorkerOutcome outcome = job->outcome.result();
    m_externalLocked = outcome.lockedExternal;
    if (outcome.error) {
        discardStaged();
    } else {
        // Reads of the main connection start afresh, so that they see
        // what the worker committed.
        for (const auto &[sql, query] : m_queries)
            query->finish();
        for (const auto &[sql, statement] : m_reads)
            statement->reset();
        m_external->committed();
        unlockExternal();
        markSaved(job->addsRows ? &job->firstKeys : nullptr);
    }
    endHeldChange();
    if (job->done && job->receiver)
        job->done(outcome.error);
}

bool ModelContext::saveStep(std::chrono::milliseconds budget)
{
    finishBackgroundSave();
    const QDeadlineTimer deadline(budget);
    if (!m_saveInSteps) {
        if (!hasChanges())
            return true;
        beginSave();
        m_saveInSteps = SaveCursor();
        // The files and the transaction's start take a step of their own.
        if (deadline.hasExpired())
            return false;
    }
    try {
        if (!writeChanges(*m_saveInSteps, deadline, *m_writes))
            return false;
    } catch (...) {
        m_saveInSteps.reset();
        abandonSave();
        throw;
    }
    m_saveInSteps.reset();
    commitSave();
    return true;
}

void ModelContext::beginSave()
{
    if (!m_allowsSave)
        throw ModelStoreError(ModelStoreError::Code::readOnly, tr("This library is open for reading only."));

    // New external files are written completely before the transaction
    // that refers to them (or were prepared ahead); they are removed again
    // if it does not commit.
    stageChanges();
    if (m_external->hasStaged()) {
        std::optional<QString> error;
        QString whyNot;
        if (!m_external->lock(&whyNot)) {
            error = whyNot;
        } else {
            m_externalLocked = true;
            error = m_external->writeStaged();
        }
        if (error) {
            discardStaged();
            throw ModelStoreError::saveFailed(*error);
        }
    }

    if (!m_database.transaction()) {
        discardStaged();
        throw ModelStoreError::saveFailed(m_database, m_database.lastError());
    }
}

void ModelContext::abandonSave()
{
    m_database.rollback();
    m_writes->removeCopies();
    discardStaged();
}

void ModelContext::discardStaged()
{
    m_external->discard();
    unlockExternal();
}

void ModelContext::unlockExternal()
{
    if (std::exchange(m_externalLocked, false))
        m_external->unlock();
}

void ModelContext::commitSave(const std::vector<qint64> *addedFrom)
{
    try {
        m_writes->syncCopies();
    } catch (...) {
        abandonSave();
        throw;
    }
    m_external->willCommit();
    if (!m_database.commit()) {
        const ModelStoreError error = ModelStoreError::saveFailed(m_database, m_database.lastError());
        abandonSave();
        throw error;
    }
    m_writes->keepCopies();
    // Only now may the files of replaced and deleted values go.
    m_external->committed();
    unlockExternal();
    markSaved(addedFrom);
}

void ModelContext::markSaved(const std::vector<qint64> *addedFrom)
{
    for (ModelObject *object : m_inserted) {
        if (object->m_state == ModelObject::State::inserted) {
            object->m_state = ModelObject::State::persisted;
            object->entityType().saved(*object, true);
        }
        object->m_changedFlags = 0;
    }
    for (ModelObject *object : m_changed) {
        if (object->m_state == ModelObject::State::persisted)
            object->entityType().saved(*object, false);
        if (object->m_hasSnapshot)
            object->discardSnapshot();
        object->m_hasSnapshot = false;
        object->m_inChangedList = false;
        object->m_changedFlags = 0;
    }
    for (ModelObject *object : m_deleted) {
        if (object->m_hasSnapshot)
            object->discardSnapshot();
        object->m_hasSnapshot = false;
        object->m_state = ModelObject::State::removed;
        state(object->entityType()).byKey.remove(object->m_key);
        object->m_context = nullptr;
    }
    m_inserted.clear();
    m_changed.clear();
    m_deleted.clear();
    m_touchedLists.clear();
    m_unreadDeletions.clear();
    if (addedFrom)
        takeInAddedRows(*addedFrom);
    emit didSave();
    emit changed();
}

void ModelContext::takeInAddedRows(const std::vector<qint64> &firstKeys)
{
    // Parents first, so that an added row finds an added parent.
    std::vector<size_t> order;
    std::vector<bool> taken(m_entities.size(), false);
    for (bool progress = true; progress;) {
        progress = false;
        for (size_t i = 0; i < m_entities.size(); ++i) {
            const RelationshipDescription *toOne = m_entities[i].toOne;
            const bool parentTaken = !toOne || std::any_of(order.cbegin(), order.cend(), [&](size_t j) {
                return m_entities[j].type == toOne->parentEntity();
            });
            if (!taken[i] && parentTaken) {
                taken[i] = true;
                order.push_back(i);
                progress = true;
            }
        }
    }
    for (size_t i = 0; i < m_entities.size(); ++i) {
        if (!taken[i])
            order.push_back(i);
    }
    for (const size_t i : order) {
        EntityState &entity = m_entities[i];
        StoreStatement last(m_handle, QStringLiteral("SELECT MAX(rowKey) FROM %1").arg(entity.table));
        if (!last.next() || last.row().isNull(0) || last.row().integer(0) < firstKeys[i])
            continue;
        entity.nextKey = std::max(entity.nextKey, last.row().integer(0) + 1);
        const QString added = QStringLiteral(" FROM %1 WHERE rowKey >= %2").arg(entity.table).arg(firstKeys[i]);
        if (entity.allLoaded || entity.loadedOutsideLists) {
            StoreStatement rows(m_handle, QStringLiteral("SELECT %1%2 ORDER BY rowKey").arg(entity.selectColumns, added));
            while (rows.next()) {
                const bool known = entity.byKey.value(rows.row().integer(0)) != nullptr;
                ModelObject *object = objectForRow(entity, rows.row(), nullptr);
                if (known)
                    continue;
                if (entity.toOne) {
                    if (ModelObject *parent = entity.toOne->parentOf(object)) {
                        RelationList &list = entity.toOne->listOf(parent);
                        if (list.loaded && !list.items.contains(object))
                            list.items.append(object);
                    }
                }
                emit objectInserted(object);
            }
        } else if (entity.toOne) {
            // Lists in memory that the rows join are read again when next used.
            EntityState &parents = state(*entity.toOne->parentEntity());
            // (Not DISTINCT: SQLite would walk the foreign key's whole index.)
            StoreStatement keys(m_handle, QStringLiteral("SELECT %1%2")
                                              .arg(QString::fromLatin1(entity.toOne->foreignKeyColumn), added));
            qint64 previous = 0;
            while (keys.next()) {
                const qint64 key = keys.row().integer(0);
                if (key == previous)
                    continue;
                previous = key;
                ModelObject *parent = parents.byKey.value(key);
                if (parent && parent->m_state == ModelObject::State::persisted) {
                    RelationList &list = entity.toOne->listOf(parent);
                    list.items.clear();
                    list.loaded = false;
                }
            }
        }
    }
}

bool ModelContext::keepsAnyInFile(const QList<QByteArray> &values) const
{
    return std::any_of(values.cbegin(), values.cend(),
                       [this](const QByteArray &bytes) { return m_external->keepsInFile(bytes); });
}

QFuture<PreparedValues> ModelContext::prepareValues(const QList<QByteArray> &values) const
{
    return m_external->prepare(values);
}

// Held changes

void ModelContext::beginHeldChange()
{
    if (m_heldChanges++ == 0)
        emit heldChanged(true);
}

void ModelContext::endHeldChange()
{
    Q_ASSERT(m_heldChanges > 0);
    if (--m_heldChanges == 0)
        emit heldChanged(false);
}

void ModelContext::whenUnheld(QObject *receiver, std::function<void()> change)
{
    if (!isHeld()) {
        change();
        return;
    }
    // In the turn after the end, once the holder has finished; held again
    // by then (another waiting change took it first), it waits on.
    auto connection = std::make_shared<QMetaObject::Connection>();
    *connection = connect(
        this, &ModelContext::heldChanged, receiver,
        [this, receiver, connection, change = std::move(change)](bool held) {
            if (held || !*connection)
                return;
            std::function<void()> pending = change;
            disconnect(*connection);
            *connection = {};
            whenUnheld(receiver, std::move(pending));
        },
        Qt::QueuedConnection);
}

// Rolling back

void ModelContext::rollback()
{
    finishBackgroundSave();
    Q_ASSERT(!m_saveInSteps);
    // Inserted objects leave the context.
    std::vector<ModelObject *> detached;
    for (ModelObject *object : m_inserted) {
        if (object->m_state != ModelObject::State::inserted)
            continue;
        state(object->entityType()).byKey.remove(object->m_key);
        object->m_state = ModelObject::State::detached;
        object->m_context = nullptr;
        object->m_key = 0;
        object->m_changedFlags = 0;
        detached.push_back(object);
    }
    // Changed and deleted objects get their saved values back.
    for (ModelObject *object : m_changed) {
        if (object->m_hasSnapshot)
            object->restoreSnapshot();
        object->m_hasSnapshot = false;
        object->m_inChangedList = false;
        object->m_changedFlags = 0;
    }
    for (ModelObject *object : m_deleted) {
        if (object->m_hasSnapshot)
            object->restoreSnapshot();
        object->m_hasSnapshot = false;
        object->m_state = ModelObject::State::persisted;
        object->m_changedFlags = 0;
    }
    // Lists changed since the save are read again from the store when next
    // used; the restored references decide what they hold.
    for (const auto &[parent, relationship] : m_touchedLists) {
        if (parent->m_context != this)
            continue;
        RelationList &list = relationship->listOf(parent);
        list.items.clear();
        list.loaded = false;
    }
    for (ModelObject *object : m_deleted) {
        for (const RelationshipDescription *toMany : object->entityType().toManyRelationships()) {
            RelationList &list = toMany->listOf(object);
            list.items.clear();
            list.loaded = false;
        }
    }
    // Detached objects keep only links among themselves.
    for (ModelObject *object : detached) {
        const EntityType &type = object->entityType();
        if (const RelationshipDescription *toOne = type.toOneRelationship()) {
            ModelObject *parent = toOne->parentOf(object);
            if (parent && parent->m_context == this)
                toOne->assignParent(object, nullptr);
        }
        for (const RelationshipDescription *toMany : type.toManyRelationships()) {
            RelationList &list = toMany->listOf(object);
            list.items.removeIf([&](ModelObject *child) { return toMany->parentOf(child) != object; });
        }
    }

    m_inserted.clear();
    m_changed.clear();
    m_deleted.clear();
    m_touchedLists.clear();
    m_unreadDeletions.clear();
    emit didRollback();
    emit changed();
}
