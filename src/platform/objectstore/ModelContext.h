#pragma once

#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelObject.h"
#include "platform/objectstore/ModelStoreError.h"
#include "platform/objectstore/RowKeyMap.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreStatement.h"
#include "platform/objectstore/StoreWrites.h"

#include <QFuture>
#include <QHash>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <QDeadlineTimer>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <functional>
#include <map>
#include <memory>
#include <vector>

// The container's main context: the one place where model objects are
// inserted, fetched, deleted, saved and rolled back. Main thread only.
//
// Changes live in memory until save(), which writes them in one SQLite
// transaction (large external values go to files first, see
// ExternalStorage); rollback() returns every object to the last saved state.
// Fetches see unsaved inserts and no pending deletes. Relationship lists are
// kept consistent in memory at once and load lazily from the store.
class ModelContext : public QObject {
    Q_OBJECT
public:
    ~ModelContext() override;

    // Inserts the object and every object linked to it that is in no
    // context. Inserting an object that is already in this context does
    // nothing. The object must be held by a std::shared_ptr.
    void insert(ModelObject *object);
    template<class T>
    T *insert(const std::shared_ptr<T> &object)
    {
        insert(static_cast<ModelObject *>(object.get()));
        return object.get();
    }

    // Deletes the object, cascading along relationships whose delete rule is
    // cascade. It leaves fetches and the inverse lists at once; the object
    // itself stays readable. C++ reserves `delete`, hence the name.
    void deleteObject(ModelObject *object);

    // Every live object of a type, in stored (insertion) order, or sorted by
    // a key getter (ascending unless `order` says otherwise), ties in stored
    // order.
    template<class T>
    QList<T *> fetch()
    {
        return modelCast<T>(fetchObjects(T::entity()));
    }
    template<class T, class Key>
    QList<T *> fetch(Key (T::*key)() const, Qt::SortOrder order = Qt::AscendingOrder)
    {
        QList<T *> objects = fetch<T>();
        const auto before = [&](const T *a, const T *b) {
            return order == Qt::AscendingOrder ? (a->*key)() < (b->*key)() : (b->*key)() < (a->*key)();
        };
        // Stored order often is the wanted one already (creation dates).
        if (!std::is_sorted(objects.begin(), objects.end(), before))
            std::stable_sort(objects.begin(), objects.end(), before);
        return objects;
    }
    QList<ModelObject *> fetchObjects(const EntityType &type);

    // Writes every change since the last save in one transaction. Throws
    // ModelStoreError; on failure nothing is written and the changes stay
    // pending in memory.
    //
    // `addRows`, when given, runs in that transaction after the changes
    // are written: it adds rows in SQL through `writes` (many at a time,
    // without making their objects), each with a row key from nextKey()
    // upwards (or reserved by reserveKeys()), and throws ModelStoreError on
    // failure. After the commit the context takes them in: the rows of a
    // model whose objects were read as a whole become objects at once, and
    // lists they join are read again when next used. The store's
    // connection offers newIdentifier() to them: a new random identifier
    // as stored.
    using AddRows = std::function<void(StoreWrites &writes)>;
    void save(const AddRows &addRows = {});
    qint64 nextKey(const EntityType &type);
    // `count` row keys of `type` that no object of this context takes, for
    // rows that a save adds in SQL; answers the first.
    qint64 reserveKeys(const EntityType &type, qint64 count);
    // For rows that a save adds: writes the row of `object` (made with its
    // make() function, in no context) under `key`, its parent's key in the
    // foreign key, as a save would write the object. The object itself
    // never joins the context: the row does once saved.
    void addRow(StoreWrites &writes, const ModelObject &object, qint64 key, qint64 parentKey = 0);
    // The object of a row key, once its row is in memory or read now;
    // null when there is none.
    template<class T>
    T *objectWithKey(qint64 key)
    {
        return static_cast<T *>(objectForKey(state(T::entity()), key));
    }

    // The same save, its rows written and committed by a connection of its
    // own on a worker thread, so that a large change keeps the windows
    // responsive. The statements are prepared here first (as save() would
    // run them, `addRows` included); the context is held
    // (beginHeldChange) until the commit or the failure, which `done`
    // hears on this thread (none once `receiver` is destroyed) after the
    // context has taken in the result: on failure nothing is written and
    // the changes are pending, as after a failed save(). Any save,
    // rollback or second save in the background meanwhile first waits for
    // it to end. A store in memory, which has no second connection, saves
    // at once and answers before this returns, as does a failure to
    // prepare.
    void saveInBackground(QObject *receiver, const AddRows &addRows,
                          std::function<void(const std::optional<ModelStoreError> &)> done);
    bool isSavingInBackground() const { return m_background != nullptr; }
    // The same save in steps, for a change that holds the context
    // (beginHeldChange) and so may spread its one transaction over turns
    // of the event loop: each call writes rows for about `budget`, and the
    // one that commits answers true. Throws as save() does, the
    // transaction rolled back and the changes pending; nothing may change
    // the context between the steps.
    bool saveStep(std::chrono::milliseconds budget);
    // Large new values are written to files by the save, before its
    // transaction. A change that stores many of them (an import) has their
    // files written on the files pool first, then makes its change and
    // saves while the result lives: that save only takes the files over.
    // Values that a save keeps in the database are left out; a store in
    // memory writes no file.
    bool keepsAnyInFile(const QList<QByteArray> &values) const;
    QFuture<PreparedValues> prepareValues(const QList<QByteArray> &values) const;
    // Files that the caller writes itself ahead of the save, for values too
    // large to hold (AtlasImage::setImageDataFile); none for a store in
    // memory.
    std::optional<PreparedFiles> prepareFiles() const { return m_external->prepareFiles(); }
    // Back to the last saved state: inserted objects are detached, deleted
    // ones come back, changed values are restored.
    void rollback();
    bool hasChanges() const;

    // A change that spans turns of the event loop (an archive merged in
    // slices) has the context to itself from begin to end: meanwhile the
    // windows take no input, and other changes that come due wait for its
    // end (whenUnheld). The holder ends it after its save or rollback.
    void beginHeldChange();
    void endHeldChange();
    bool isHeld() const { return m_heldChanges > 0; }
    // Calls `change` now when no held change is under way, else in a turn
    // of the event loop after the last has ended (never after `receiver` is
    // destroyed).
    void whenUnheld(QObject *receiver, std::function<void()> change);

    bool allowsSave() const { return m_allowsSave; }
    // The store's database file, for connections of other threads that
    // only read it; empty for a store in memory.
    QString storePath() const;

    // For the model classes' storage code. Reads of many rows go through
    // SQLite's own interface on the same connection (main thread only).
    QSqlQuery &preparedQuery(const QString &sql);
    // A statement run once (not kept prepared), such as one that lists keys.
    QSqlQuery singleQuery() const;
    // Row keys as the text of an SQL list: "1,2,3".
    static QString keyList(const QList<qint64> &keys);
    StoreStatement &readStatement(const QString &sql);
    sqlite3 *connectionHandle() const { return m_handle; }
    ExternalStorage &externalStorage() const { return *m_external; }
    [[noreturn]] void throwSaveError(const QString &what, const QSqlQuery &query) const;
    void loadChildren(ModelObject *parent, const RelationshipDescription &relationship);

    // For the end of the process: the objects are left to the system when
    // the context goes, rather than freed one by one (a million images take
    // over a second). The store closes as ever.
    void leaveObjectsAtExit() { m_leavesObjects = true; }

signals:
    // Every property write of an object in this context, also of an
    // unchanged value. `property` is the property's name.
    void propertyChanged(ModelObject *object, const char *property);
    void objectInserted(ModelObject *object);
    void objectDeleted(ModelObject *object);
    void didSave();
    void didRollback();
    // A held change began (true) or the last one ended.
    void heldChanged(bool held);
    // After any of the above: one signal for views that refresh as a whole.
    void changed();

private:
    friend class ModelContainer;
    friend class ModelObject;

    struct EntityState {
        const EntityType *type = nullptr;
        QString table;
        QString selectColumns; // rowKey[, foreign key], columns...
        const RelationshipDescription *toOne = nullptr;
        QList<const RelationshipDescription *> toMany;
        RowKeyMap<ModelObject *, nullptr> byKey; // rows in memory, including pending deletes
        // The same objects by row key, for fetches in stored order without
        // sorting: entries whose object has since left or taken another
        // key are skipped, and dropped when the list is sorted.
        // (Segmented: a million of them never move in one piece as more come.)
        std::deque<std::pair<qint64, ModelObject *>> inKeyOrder;
        bool inKeyOrderSorted = true;
        bool allLoaded = false;
        // Whether objects were read other than as a parent's list: until
        // then, a parent whose list is not loaded has no child in memory.
        bool loadedOutsideLists = false;
        qint64 nextKey = 1;
    };

    ModelContext(QSqlDatabase database, const Schema &schema, bool allowsSave, const QString &externalFolder);

    void removeUnreferencedExternalFiles();
    void stageChanges();

    EntityState &state(const EntityType &type);
    void loadAll(EntityState &entity);
    // The object of a row: the one in memory when `mayExist`, else made.
    ModelObject *objectForRow(EntityState &entity, const StoreRow &row, ModelObject *knownParent,
                              bool mayExist = true);
    void addInKeyOrder(EntityState &entity, ModelObject *object);
    ModelObject *objectForKey(EntityState &entity, qint64 key);
    void retain(ModelObject *object);

    void insertLinked(ModelObject *object);
    void deleteCascading(ModelObject *object);
    bool deletesChildrenUnread(const RelationshipDescription &relationship);
    void deleteUnreadChildren(StoreWrites &writes);
    // After a commit: a checkpoint of the write-ahead log on a worker.
    static int walCommitted(void *context, sqlite3 *, const char *, int pages);
    void checkpointLater();
    RelationList &loadedList(ModelObject *parent, const RelationshipDescription &relationship);
    void markChanged(ModelObject *object);
    void listChanged(ModelObject *parent, const RelationshipDescription &relationship);
    void emitChange(ModelObject *object, const char *property);

    void takeInAddedRows(const std::vector<qint64> &firstKeys);
    // Where a save in steps has got to in writeChanges().
    struct SaveCursor {
        size_t entity = 0;
        int phase = 0; // deletes, inserts, updates
        size_t index = 0;
    };
    void beginSave();
    // Writes rows until done (true) or `deadline` has passed.
    bool writeChanges(SaveCursor &cursor, const QDeadlineTimer &deadline, StoreWrites &writes);
    // Commits; with `addedFrom`, the rows added from those keys on join the context.
    void commitSave(const std::vector<qint64> *addedFrom = nullptr);
    // After the commit: the objects are saved, and rows added from
    // `addedFrom` on join the context.
    void markSaved(const std::vector<qint64> *addedFrom);
    void abandonSave();
    std::vector<qint64> firstNewKeys() const;
    // Waits for a save in the background, then takes in its result.
    void finishBackgroundSave();
    // The files staged for a save go, and the external folder is let go.
    void discardStaged();
    void unlockExternal();
    QVariantList rowValues(EntityState &entity, const ModelObject *object, std::optional<qint64> key);
    static QString insertStatement(const EntityState &entity);

    QSqlDatabase m_database;
    Schema m_schema;
    bool m_allowsSave = true;
    std::vector<EntityState> m_entities;
    std::deque<std::shared_ptr<ModelObject>> m_owned;
    std::vector<ModelObject *> m_inserted;
    std::vector<ModelObject *> m_deleted;
    std::vector<ModelObject *> m_changed;
    std::vector<std::pair<ModelObject *, const RelationshipDescription *>> m_touchedLists;
    // Deleted parents whose children go by their foreign key, unread.
    std::vector<std::pair<ModelObject *, const RelationshipDescription *>> m_unreadDeletions;
    QFuture<void> m_checkpoint;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_queries; // stable addresses
    sqlite3 *m_handle = nullptr;
    std::map<QString, std::unique_ptr<StoreStatement>> m_reads;
    std::unique_ptr<ExternalStorage> m_external;
    bool m_leavesObjects = false;
    int m_heldChanges = 0;
    std::optional<SaveCursor> m_saveInSteps; // a save in steps is under way
    bool m_externalLocked = false;
    std::unique_ptr<ConnectionWrites> m_writes; // the saves' own statements
    struct BackgroundSave;
    std::shared_ptr<BackgroundSave> m_background; // a save on a worker is under way
};
