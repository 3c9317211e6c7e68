#pragma once

#include <QString>

#include <exception>

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
    // it was writing named, "The library could not be saved (<what>).".
    static ModelStoreError saveFailed(const QString &detail, const QString &what = {});

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
