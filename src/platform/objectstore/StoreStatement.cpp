#include "platform/objectstore/StoreStatement.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

sqlite3 *sqliteConnection(const QSqlDatabase &database)
{
    const QVariant handle = database.isValid() ? database.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.constData());
    return nullptr;
}

bool StoreRow::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

qint64 StoreRow::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::optional<qint64> StoreRow::optionalInteger(int column) const
{
    return isNull(column) ? std::nullopt : std::optional(integer(column));
}

double StoreRow::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QString StoreRow::text(int column) const
{
    // As native UTF-16, the form in which Qt's driver reads text as well.
    const void *characters = sqlite3_column_text16(m_statement, column);
    if (!characters)
        return QString();
    return QString(static_cast<const QChar *>(characters), sqlite3_column_bytes16(m_statement, column) / 2);
}

void StoreRow::appendText(int column, QString &out) const
{
    const void *characters = sqlite3_column_text16(m_statement, column);
    if (characters)
        out.append(static_cast<const QChar *>(characters), sqlite3_column_bytes16(m_statement, column) / 2);
}

QByteArray StoreRow::blob(int column) const
{
    const void *bytes = sqlite3_column_blob(m_statement, column);
    const int size = sqlite3_column_bytes(m_statement, column);
    return bytes ? QByteArray(static_cast<const char *>(bytes), size) : QByteArray();
}

QUuid StoreRow::uuid(int column) const
{
    const void *bytes = sqlite3_column_blob(m_statement, column);
    if (!bytes || sqlite3_column_bytes(m_statement, column) != 16)
        return QUuid();
    return QUuid::fromRfc4122(QByteArrayView(static_cast<const char *>(bytes), 16));
}

StoreStatement::StoreStatement(sqlite3 *database, const QString &sql) : m_database(database)
{
    if (!database) {
        m_error = QStringLiteral("no database");
        return;
    }
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(database, text.constData(), int(text.size()), &m_statement, nullptr) != SQLITE_OK)
        m_error = QString::fromUtf8(sqlite3_errmsg(database));
}

StoreStatement::~StoreStatement()
{
    sqlite3_finalize(m_statement);
}

void StoreStatement::bind(int index, qint64 value)
{
    if (m_statement)
        sqlite3_bind_int64(m_statement, index, value);
}

bool StoreStatement::next()
{
    if (!m_statement)
        return false;
    const int result = sqlite3_step(m_statement);
    if (result == SQLITE_ROW)
        return true;
    if (result != SQLITE_DONE)
        m_error = QString::fromUtf8(sqlite3_errmsg(m_database));
    return false;
}

void StoreStatement::reset()
{
    if (m_statement) {
        sqlite3_reset(m_statement);
        m_error.clear();
    }
}

StoreReadConnection::StoreReadConnection(const QString &storePath)
{
    const int flags = SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX;
    if (sqlite3_open_v2(QFile::encodeName(storePath).constData(), &m_database, flags, nullptr) != SQLITE_OK) {
        m_error = m_database ? QString::fromUtf8(sqlite3_errmsg(m_database)) : QStringLiteral("out of memory");
        sqlite3_close(m_database);
        m_database = nullptr;
        return;
    }
    // A save of the main context holds its lock only briefly.
    sqlite3_busy_timeout(m_database, 5000);
}

StoreReadConnection::~StoreReadConnection()
{
    sqlite3_close(m_database);
}
