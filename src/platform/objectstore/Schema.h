#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVersionNumber>

#include <functional>
#include <memory>

class ModelContext;
class ModelObject;
class EntityType;
class ExternalStorage;
class QSqlDatabase;
class QSqlQuery;
class StoreRow;
class StoreWrites;
struct RelationList;

// One stored property of a model, as listed in its schema.
struct PropertyDescription {
    enum class Kind { attribute, relationship };
    enum Option {
        noOptions = 0,
        allowsCloudEncryption = 1,
        externalStorage = 2,
    };

    QString name;
    Kind kind = Kind::attribute;
    int options = noOptions;
    // Relationships only.
    bool isToMany = false;
    bool cascadeDelete = false; // otherwise deleting only clears the reference
    QString inverseName;

    static PropertyDescription attribute(const QString &name, int options = noOptions)
    {
        return {name, Kind::attribute, options, false, false, {}};
    }
    static PropertyDescription toOne(const QString &name, const QString &inverse)
    {
        return {name, Kind::relationship, noOptions, false, false, inverse};
    }
    static PropertyDescription toManyCascade(const QString &name, const QString &inverse)
    {
        return {name, Kind::relationship, noOptions, true, true, inverse};
    }
};

// A one-to-many relationship: the parent's list (the to-many end, which
// carries the delete rule) and the child's optional reference (the to-one
// end). The child's row holds the parent's row key in `foreignKeyColumn`.
struct RelationshipDescription {
    const EntityType *(*parentEntity)();
    const char *toManyName;
    const EntityType *(*childEntity)();
    const char *toOneName;
    const char *foreignKeyColumn;
    bool cascadeDelete = true;

    RelationList &(*listOf)(ModelObject *parent);
    ModelObject *(*parentOf)(const ModelObject *child);
    // Sets the child's reference without touching any list or notifying.
    void (*assignParent)(ModelObject *child, ModelObject *parent);
};

// How one model class is described to the store and kept in its table.
// Each model class has one static instance.
class EntityType {
public:
    virtual ~EntityType() = default;

    virtual QString name() const = 0; // also the table's name
    virtual QList<PropertyDescription> properties() const = 0;

    // Relationships in which this entity is the parent, and the one in
    // which it is the child (if any).
    virtual QList<const RelationshipDescription *> toManyRelationships() const { return {}; }
    virtual const RelationshipDescription *toOneRelationship() const { return nullptr; }

    // Storage. Every table has `rowKey INTEGER PRIMARY KEY`, then the
    // foreign key of the to-one relationship (if any), then `columns()`.
    virtual QStringList createStatements() const = 0;
    // Run on every opening of an existing store, after its checks: bring
    // older stores of the same version to the current storage layout. Each
    // must do nothing when already applied.
    virtual QStringList upgradeStatements() const { return {}; }
    virtual QStringList columns() const = 0;
    // Builds an object from a row whose first column (of `columns()`) is at
    // `first`. The object's to-one reference is set by the store.
    virtual std::shared_ptr<ModelObject> materialize(const StoreRow &row, int first) const = 0;
    // The values of `columns()` in order, as the row stores them.
    virtual void bindColumns(QVariantList &values, const ModelObject &object) const = 0;
    // Values kept outside the row (external storage). stageExternal runs
    // before the save's transaction and hands large values to be written as
    // files; writeExternal and deleteExternal write within it, through
    // `writes`, and throw ModelStoreError on failure. deleteExternal takes
    // the values of the deleted rows whose keys are listed (many at a
    // time); what it reads, it reads from the context's connection, which
    // sees the store as the last save left it.
    virtual void stageExternal(ModelObject &, bool /*isNew*/, ExternalStorage &) const {}
    virtual void writeExternal(ModelObject &, bool /*isNew*/, StoreWrites &) const {}
    virtual void deleteExternal(ModelContext &, StoreWrites &, const QList<qint64> & /*keys*/) const {}
    // After the save that wrote the object has committed, before its change
    // flags are cleared: external values it wrote may be let go from
    // memory, to be read again from the store when next used.
    virtual void saved(ModelObject &, bool /*isNew*/) const {}
    // A query of the external files in use (one name a row), or empty.
    virtual QString externalFilesQuery() const { return {}; }
};

// A schema at one version: the version identifier and its models in order.
struct VersionedSchema {
    QVersionNumber versionIdentifier;
    QList<const EntityType *> models;
};

class Schema {
public:
    Schema() = default;
    explicit Schema(const VersionedSchema &versionedSchema);

    QVersionNumber version() const { return m_version; }
    QList<const EntityType *> entities() const { return m_entities; }
    const EntityType *entity(const QString &name) const;

private:
    QVersionNumber m_version;
    QList<const EntityType *> m_entities;
};

// One step of a migration plan: rewrites a store of `fromVersion` into the
// layout of `toVersion`. It runs inside the migration's transaction and
// returns false (with a message) to abandon the whole migration.
struct MigrationStage {
    QVersionNumber fromVersion;
    QVersionNumber toVersion;
    std::function<bool(QSqlDatabase &database, QString *error)> migrate;
};

struct SchemaMigrationPlan {
    QList<VersionedSchema> schemas;
    QList<MigrationStage> stages;
};
