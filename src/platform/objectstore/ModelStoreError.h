#pragma once

#include <QString>

#include <exception>

class QSqlDatabase;
class QSqlError;

// A failure of the object store: building a container, opening or migrating
// its file, or saving a context. `description()` is written for the user.
class ModelStoreError : public std::exception {
public:
    enum class Code {
        cannotOpen,       // the file or its folder cannot be opened or created
        damaged,          // the file is not a store this program can read
        newerVersion,     // written by a newer version of the program
        unknownVersion,   // an older version the migration plan has no stage for
        migrationFailed,  // a migration stage failed; the file is unchanged
        saveFailed,       // a save could not be written; nothing of it was stored
        readOnly,         // the configuration does not allow saving
        invalidConfiguration,
    };

    ModelStoreError(Code code, const QString &description, const QString &detail = {});
    // A save that failed: "The library could not be saved.", or with what
    // it was writing named, "The library could not be saved (<what>).",
    // followed by why as a sentence of its own ("… saved. There isn’t
    // enough space on the disk."). `reason` is in the user's words (see
    // FileWriteError::reason) and is the detail too.
    static ModelStoreError saveFailed(const QString &reason, const QString &what = {});
    // One whose statement on `database` failed with `error`: why in SQLite's
    // words, or for an error of the disk in the system's (a full disk: "There
    // isn’t enough space on the disk."); the detail is the error's text.
    static ModelStoreError saveFailed(const QSqlDatabase &database, const QSqlError &error, const QString &what = {});
    // Why `error` of `database` happened, in the user's words (see above).
    static QString reasonOf(const QSqlDatabase &database, const QSqlError &error);
    // Whether SQLite itself found the file damaged or not a database at all
    // (rather than unreadable for a cause outside it, such as a full disk).
    static bool saysDamaged(const QSqlDatabase &database, const QSqlError &error);

    Code code() const { return m_code; }
    QString description() const { return m_description; }
    QString detail() const { return m_detail; } // the database's own message, if any
    const char *what() const noexcept override { return m_what.constData(); }

private:
    Code m_code;
    QString m_description;
    QString m_detail;
    QByteArray m_what;
};
