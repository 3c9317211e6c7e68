#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <map>
#include <memory>
#include <variant>
#include <vector>

class QSqlQuery;

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
    // Gives the external file `name` a copy named `newName`
    // (ExternalStorage::newFileName()) in the same folder: a file of its
    // own, removed again unless the save commits.
    virtual void copyExternalFile(const QString &name, const QString &newName) = 0;
};

// Runs them at once on a connection, within its transaction.
class ConnectionWrites final : public StoreWrites {
public:
    // `externalFolder`: where the store keeps its external files (none for a
    // store in memory).
    ConnectionWrites(QSqlDatabase database, const QString &externalFolder);
    ~ConnectionWrites() override;

    ConnectionWrites(const ConnectionWrites &) = delete;
    ConnectionWrites &operator=(const ConnectionWrites &) = delete;

    void run(const QString &what, const QString &sql, const QVariantList &values = {}) override;
    void copyExternalFile(const QString &name, const QString &newName) override;

    // The copies made since the last call: made durable before the commit
    // (throws), removed after a rollback, kept after a commit.
    void syncCopies();
    void removeCopies();
    void keepCopies() { m_copies.clear(); }

private:
    QSqlDatabase m_database;
    QString m_externalFolder;
    std::map<QString, std::unique_ptr<QSqlQuery>> m_kept; // stable addresses
    QStringList m_copies;
};

// Keeps them to be run later, in order, on another connection: the
// statements of a save that a worker writes.
class RecordedWrites final : public StoreWrites {
public:
    void run(const QString &what, const QString &sql, const QVariantList &values = {}) override;
    void copyExternalFile(const QString &name, const QString &newName) override;

    void replay(StoreWrites &target) const;
    bool isEmpty() const { return m_writes.empty(); }

private:
    struct Statement {
        QString what;
        QString sql;
        QVariantList values;
    };
    struct Copy {
        QString name;
        QString newName;
    };
    std::vector<std::variant<Statement, Copy>> m_writes;
};
