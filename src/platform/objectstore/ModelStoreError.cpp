#include "platform/objectstore/ModelStoreError.h"

#include "platform/FileWriteError.h"
#include "platform/objectstore/StoreStatement.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlError>

#include <sqlite3.h>

#include <cerrno>

namespace {

ModelStoreError saveError(const QString &reason, const QString &what, const QString &detail)
{
    QString description =
        what.isEmpty() ? QCoreApplication::translate("ModelContext", "The library could not be saved.")
                       : QCoreApplication::translate("ModelContext", "The library could not be saved (%1).").arg(what);
    if (!reason.isEmpty())
        description += QLatin1Char(' ') + FileWriteError::sentence(reason);
    return ModelStoreError(ModelStoreError::Code::saveFailed, description, detail);
}

// SQLite's code for `error` of `connection`.
int sqliteCode(sqlite3 *connection, const QSqlError &error)
{
    // The driver names the code of a failed statement, not of a failed
    // commit: the connection still holds that.
    bool known = false;
    int code = error.nativeErrorCode().toInt(&known);
    if (!known && connection && error.isValid())
        code = sqlite3_extended_errcode(connection);
    return code;
}

} // namespace

ModelStoreError::ModelStoreError(Code code, const QString &description, const QString &detail)
    : m_code(code), m_description(description), m_detail(detail), m_what(description.toUtf8())
{
}

ModelStoreError ModelStoreError::saveFailed(const QString &reason, const QString &what)
{
    return saveError(reason, what, reason);
}

ModelStoreError ModelStoreError::saveFailed(const QSqlDatabase &database, const QSqlError &error, const QString &what)
{
    return saveError(reasonOf(database, error), what, error.text());
}

QString ModelStoreError::reasonOf(const QSqlDatabase &database, const QSqlError &error)
{
    sqlite3 *connection = sqliteConnection(database);
    switch (sqliteCode(connection, error) & 0xff) {
    case SQLITE_FULL:
        return FileWriteError::reasonFor(ENOSPC);
    case SQLITE_IOERR:
    case SQLITE_CANTOPEN:
        // The system's error behind it, which SQLite keeps for these.
        if (const int systemError = connection ? sqlite3_system_errno(connection) : 0)
            return FileWriteError::reasonFor(systemError);
        break;
    default:
        break;
    }
    // SQLite's own words ("attempt to write a readonly database").
    const QString text = error.databaseText().trimmed();
    return text.isEmpty() ? error.text() : text;
}

bool ModelStoreError::saysDamaged(const QSqlDatabase &database, const QSqlError &error)
{
    const int code = sqliteCode(sqliteConnection(database), error) & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}
