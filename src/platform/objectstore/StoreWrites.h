#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <map>
#include <memory>
#include <variant>
#include <vector>

class ExternalStorage;
class QSqlQuery;
class StagingRecord;

// A copy of the external file `name`, named `newName`
// (ExternalStorage::newFileName()) in the same folder.
struct ExternalFileCopy {
    QString name;
    QString newName;
};

// Where a save's statements go: the context's own rows, the model classes'
// storage code (ExternalStorage values) and the rows a save adds in SQL all
// write through it, inside the save's transaction. Every call throws
// ModelStoreError when it fails.
class StoreWrites {
public:
    virtual ~StoreWrites() = default;

    // Runs `sql`; `what` names the write in the error ("adding to Series").
    // A statement with values is prepared once and kept for the next rows.
    virtual void run(const QString &what, const QString &sql, const QVariantList &values = {}) = 0;
    // Makes the copies of external files: files of their own, removed
    // again unless the save commits.
    virtual void copyExternalFiles(const QList<ExternalFileCopy> &copies) = 0;
};

// Runs them at once on a connection, within its transaction.
class ConnectionWrites final : public StoreWrites {
public:
    // `external`: where the store keeps its external files (its folder is
    // empty for a store in memory).
    ConnectionWrites(QSqlDatabase database, ExternalStorage &external);
    ~ConnectionWrites() override;

    ConnectionWrites(const ConnectionWrites &) = delete;
    ConnectionWrites &operator=(const ConnectionWrites &) = delete;

    void run(const QString &what, const QString &sql, const QVariantList &values = {}) override;
    // Holds the folder's lock from the first copy, and records each copy
    // before it is made (StagingRecord).
    void copyExternalFiles(const QList<ExternalFileCopy> &copies) override;

    // The copies made since the last call: made durable before the commit
    // (throws), removed after a rollback, kept after a commit; then the
    // folder's lock is let go.
    void syncCopies();
    void removeCopies();
    void keepCopies();

private:
    void endCopies();

    QSqlDatabase m_database;
    ExternalStorage &m_external;
    QString m_externalFolder;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_kept; // stable addresses
    QStringList m_copies;
    std::shared_ptr<StagingRecord> m_record; // of the copies
    bool m_locked = false;
};

// Keeps them to be run later, in order, on another connection: the
// statements of a save that a worker writes.
class RecordedWrites final : public StoreWrites {
public:
    void run(const QString &what, const QString &sql, const QVariantList &values = {}) override;
    void copyExternalFiles(const QList<ExternalFileCopy> &copies) override;

    void replay(StoreWrites &target) const;
    bool isEmpty() const { return m_writes.empty(); }

private:
    struct Statement {
        QString what;
        QString sql;
        QVariantList values;
    };
    std::vector<std::variant<Statement, QList<ExternalFileCopy>>> m_writes;
};
