#pragma once

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>

class QSqlDatabase;
struct sqlite3;
struct sqlite3_stmt;

// The SQLite connection behind Qt's driver for `database` (the same
// system library serves both), or null when it has none.
sqlite3 *sqliteConnection(const QSqlDatabase &database);

// One row of a read, as the model classes build objects from it. Valid
// until its statement steps on.
class StoreRow {
public:
    explicit StoreRow(sqlite3_stmt *statement) : m_statement(statement) {}

    bool isNull(int column) const;
    // NULL reads as 0, empty text and empty bytes.
    qint64 integer(int column) const;
    std::optional<qint64> optionalInteger(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The same, appended to `out`.
    void appendText(int column, QString &out) const;
    QByteArray blob(int column) const;
    // A 16-byte value as an identifier; anything else is the null identifier.
    QUuid uuid(int column) const;

private:
    sqlite3_stmt *m_statement;
};

// A read of the store through SQLite's own interface, for reading many rows
// without wrapping every value: the store's bulk loads and reads on worker
// threads. Used on one thread at a time, the connection's.
class StoreStatement {
public:
    StoreStatement(sqlite3 *database, const QString &sql);
    ~StoreStatement();

    StoreStatement(const StoreStatement &) = delete;
    StoreStatement &operator=(const StoreStatement &) = delete;

    // Binds a parameter (numbered from 1) for the next run.
    void bind(int index, qint64 value);
    // Steps to the next row: false at the end, and on an error (failed()).
    bool next();
    StoreRow row() const { return StoreRow(m_statement); }
    // Back to before the first row, so the statement can run again.
    void reset();

    bool failed() const { return !m_error.isEmpty(); }
    QString errorMessage() const { return m_error; }

private:
    sqlite3 *m_database;
    sqlite3_stmt *m_statement = nullptr;
    QString m_error;
};

// A connection of its own that only reads a store's file: for reading on
// a worker thread while the main context keeps writing (the store's
// write-ahead log lets each see its own consistent state). Closed with the
// object; used on one thread at a time.
class StoreReadConnection {
public:
    explicit StoreReadConnection(const QString &storePath);
    ~StoreReadConnection();

    StoreReadConnection(const StoreReadConnection &) = delete;
    StoreReadConnection &operator=(const StoreReadConnection &) = delete;

    // Null when the file could not be opened (errorMessage() says why).
    sqlite3 *handle() const { return m_database; }
    QString errorMessage() const { return m_error; }

private:
    sqlite3 *m_database = nullptr;
    QString m_error;
};
