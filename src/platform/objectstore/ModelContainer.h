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
// aside (keptExternalFolder()); when it can't be, the container is refused
// (ModelStoreError) and nothing is changed.
//
// Building a container creates a new store, opens one of the same version,
// or migrates an older one by the plan's stages in one transaction. A store
// of a newer version, or a file that is not a readable store, is refused
// with a ModelStoreError (thrown) and the file is left as it was. Two
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
    // Where the files of a store that was missing or empty were moved when
    // this container made a new one; empty when none were.
    QString keptExternalFolder() const { return m_keptExternalFolder; }

    // The name of the file the store lives in ("default.store" unless the
    // configuration names it).
    static QString storeFileName(const ModelConfiguration &configuration);
    // The folder beside the store file that holds its large external
    // values ("default.store-external").
    static QString externalFolder(const QString &storePath);
    // Key of the version row in the store's metadata table.
    static QString metadataTable();

private:
    void openStore(const ModelConfiguration &configuration, const SchemaMigrationPlan &migrationPlan);
    void closeDatabase();

    Schema m_schema;
    QList<ModelConfiguration> m_configurations;
    QString m_connectionName;
    QString m_keptExternalFolder;
    std::unique_ptr<ModelContext> m_mainContext;
};
