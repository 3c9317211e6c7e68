#pragma once

#include "platform/objectstore/ModelConfiguration.h"
#include "platform/objectstore/ModelContext.h"
#include "platform/objectstore/Schema.h"

#include <QList>
#include <QString>

#include <memory>

// The object store: a SQLite database (on disk or in memory) laid out by a
// versioned schema, with one main context for the main thread. Large
// external-storage values of a store on disk live in files beside it (see
// ExternalStorage); opening removes those that a save recorded before it
// was cut short and that no row refers to, and no other file.
//
// A store file that is missing or empty while the folder of external files
// holds files (the store lost to a disk fault, or to a copy without it)
// starts a new store, and its files are kept: the folder is first moved
// aside (keptExternalFolders()), and with it the store's write-ahead log
// and its index when they hold anything; when they can't be, the container
// is refused (ModelStoreError) and nothing is changed. A store file that
// holds nothing but SQLite's header (one cut short while being made) is
// taken for an empty one. The kept folders are named in a note beside the
// store ("default.store-kept") before they are moved, and reported by every
// opening until keptFilesAnnounced(): a process that ends in between still
// has the user told; an opening refused after all leaves the note as it
// was. Only a regular file with no other link to it is the note, and only
// the names the store gives kept folders count in it: a link, a pipe, a
// file linked from elsewhere or anything else of its name is neither
// followed, written, waited for nor removed (the folder an opening keeps
// is reported by that opening all the same).
//
// Building a container creates a new store, opens one of the same version,
// or migrates an older one by the plan's stages in one transaction. A store
// of a newer version, or a file that is not a readable store, is refused
// with a ModelStoreError (thrown) and the file is left as it was; one that
// can't be read for a cause outside it (a full disk) is not called damaged,
// and the error says why in the user's words. Two
// in-memory containers never share data.
class ModelContainer {
public:
    ModelContainer(const Schema &schema, const SchemaMigrationPlan &migrationPlan,
                   const QList<ModelConfiguration> &configurations);
    ~ModelContainer();

    ModelContainer(const ModelContainer &) = delete;
    ModelContainer &operator=(const ModelContainer &) = delete;

    ModelContext &mainContext() const { return *m_mainContext; }
    const Schema &schema() const { return m_schema; }
    const QList<ModelConfiguration> &configurations() const { return m_configurations; }
    // Where the files of a store that was missing or empty were moved, by
    // this opening or by an earlier one whose folders the user has not yet
    // been told of, oldest first; empty when none were.
    QStringList keptExternalFolders() const { return m_keptExternalFolders; }
    // The newest of them; empty when none.
    QString keptExternalFolder() const { return m_keptExternalFolders.value(m_keptExternalFolders.size() - 1); }
    // The user has been told of the kept folders of the store at
    // `storePath`: later openings no longer report them.
    static void keptFilesAnnounced(const QString &storePath);

    // The name of the file the store lives in ("default.store" unless the
    // configuration names it).
    static QString storeFileName(const ModelConfiguration &configuration);
    // The folder beside the store file that holds its large external
    // values ("default.store-external").
    static QString externalFolder(const QString &storePath);
    // Key of the version row in the store's metadata table.
    static QString metadataTable();
    // The note beside the store naming the kept folders the user has not
    // yet been told of ("default.store-kept").
    static QString keptFilesNote(const QString &storePath);

private:
    void openStore(const ModelConfiguration &configuration, const SchemaMigrationPlan &migrationPlan);
    void closeDatabase();
    // Moves aside the files of a lost store at `path` (and those of
    // `journals` that hold anything); throws when they can't be.
    void setAsideLostFiles(const QString &path, const QStringList &journals);

    Schema m_schema;
    QList<ModelConfiguration> m_configurations;
    QString m_connectionName;
    QStringList m_keptExternalFolders;
    std::unique_ptr<ModelContext> m_mainContext;
};
