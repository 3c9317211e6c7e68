#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <memory>
#include <optional>

class QLockFile;

// Large values of external-storage attributes, kept as one file each in a
// folder beside the store file ("default.store-external"); smaller ones stay
// in the database, where they read and write faster. A store in memory has
// no folder and keeps every value in the database.
//
// A crash neither loses nor orphans bytes. A save writes each new file
// completely (under a temporary name, then renamed) before the transaction
// that refers to it commits, and removes the files of replaced or deleted
// values only after that transaction has committed, on a worker thread of
// the files pool (the save does not wait for them). Files that no row
// refers to (left by a save cut short, or by a failed one) and temporary
// files are removed when the store is opened. New files and their folder
// are synced to the disk before the transaction, so even after a power cut
// a row never names a short file; the database itself may lose its last
// saves then, which only leaves files for the cleanup.
//
// Files are named by a new unique key each time; a name is never reused.
class ExternalStorage {
public:
    // `folder` empty: no files, every value stays in the database.
    explicit ExternalStorage(const QString &folder);
    ~ExternalStorage();

    ExternalStorage(const ExternalStorage &) = delete;
    ExternalStorage &operator=(const ExternalStorage &) = delete;

    // Values at least this long go to a file. Measured with 1,000 values
    // at a time: at 128 KB the database writes them in half the time files
    // take (a file costs its creation), at 256 KB both take the same, at
    // 1 MB files take a third; files read faster at every size.
    static constexpr qsizetype fileThreshold = 256 * 1024;
    bool keepsInFile(const QByteArray &bytes) const { return !m_folder.isEmpty() && bytes.size() >= fileThreshold; }

    QString folder() const { return m_folder; }

    // Saving, in this order: stage() each new value (returns the file name
    // it will have), writeStaged() before the transaction, then committed()
    // or discard() after it. removeAfterCommit() names files of values the
    // transaction replaces or deletes.
    QString stage(const void *owner, const QByteArray &bytes);
    QString stagedName(const void *owner) const { return m_stagedNames.value(owner); }
    bool hasStaged() const { return !m_staged.isEmpty(); }
    // Writes every staged file, several at a time. On failure removes what
    // it wrote, forgets the staged files and returns the error.
    std::optional<QString> writeStaged();
    void removeAfterCommit(const QString &name);
    void committed();
    void discard();

    // The bytes of a stored file; none when it cannot be read.
    std::optional<QByteArray> read(const QString &name) const;

    // Removes every file of the folder whose name is not in `referenced`
    // (temporary files included). `referenced` is read by the caller while
    // no save of another process can be writing: see lock().
    void removeUnreferenced(const QSet<QString> &referenced);

    // Held from writing new files until their transaction has committed,
    // and while unreferenced files are removed, so that two processes with
    // the same store open never take each other's new files for orphans.
    bool lock();
    void unlock();

private:
    struct Staged {
        QString name;
        QByteArray bytes;
    };

    QString path(const QString &name) const;
    bool writeFile(const Staged &staged, QString *error) const;
    void removeFiles(const QStringList &names) const;

    QString m_folder;
    QList<Staged> m_staged;
    QHash<const void *, QString> m_stagedNames;
    QStringList m_removals;
    std::unique_ptr<QLockFile> m_lock;
};
