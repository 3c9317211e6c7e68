#pragma once

#include "platform/objectstore/ModelStoreError.h"

#include <QByteArray>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>

#include <QByteArrayView>

#include <atomic>
#include <memory>
#include <optional>

class ExternalFolder;
class QDateTime;

// A record, on the disk, of files that a change writes into the folder of
// external files before it commits: a save's new files, files prepared
// ahead, a duplicate's copies, and the files a committed save removes.
// Opening the store removes the files that a record names and no row
// refers to (see ExternalStorage::removeUnreferenced), and no other file:
// a file the store has no record of is never removed. Kept in the folder's
// ".staged" subfolder, one file per record. Records are written and read
// only in a real folder there, reached without following a link: where
// ".staged" is a link or another kind of file, no record is made and the
// save that needs one fails, saying so. Opening reads only the regular
// files in it (a link is not followed), each up to 16 MB and 64 MB of them
// in all. A durable record is on the
// disk, synced, before add() returns, so that the files written after it
// are known even after a power cut. The record is removed when its last
// holder lets it go: once its files belong to the store or are gone again.
// Thread-safe.
class StagingRecord {
public:
    ~StagingRecord();
    StagingRecord(const StagingRecord &) = delete;
    StagingRecord &operator=(const StagingRecord &) = delete;

    // Records more names of files in `record`, before they are written;
    // a null `record` is made first, in `folder`. Why that failed, in the
    // user's words, or none.
    static std::optional<QString> add(std::shared_ptr<StagingRecord> &record, const QString &folder,
                                      const QStringList &names, bool durable = true);

    // Whether `folder` holds any record.
    static bool anyIn(const QString &folder);
    // The names that the records of `folder` hold, and in `records` the
    // names of the records read.
    static QSet<QString> recordedNames(const QString &folder, QStringList *records);
    // Removes the `records` of `folder` that recordedNames() read.
    static void remove(const QString &folder, const QStringList &records);

private:
    static std::shared_ptr<StagingRecord> create(const QString &folder, bool durable, QString *error);
    std::optional<QString> append(const QStringList &names);

    StagingRecord(int folder, const QByteArray &name, int fd, bool durable)
        : m_folder(folder), m_name(name), m_fd(fd), m_durable(durable)
    {
    }

    const int m_folder; // the folder of records, held open: the record goes from there
    const QByteArray m_name;
    const int m_fd;
    const bool m_durable;
    QMutex m_mutex;
};

// Files of new values written ahead of the save that stores them
// (ExternalStorage::prepare), so that this save only takes them over and
// runs its transaction. While a PreparedValues (or a copy of it) lives, a
// save that stores one of these very values (the same QByteArray, or a copy
// sharing its bytes) takes its file instead of writing one; a value changed
// since is written by the save as usual. When the last copy goes, the files
// that no save took are removed, and the folder's lock is let go. They are
// recorded (StagingRecord) before they are written: a crash in between
// leaves them to the cleanup of the next opening.
class PreparedValues {
public:
    PreparedValues() = default;
    explicit PreparedValues(ModelStoreError error) : m_error(std::move(error)) {}

    // Why the files could not be written (none of them was left behind).
    const std::optional<ModelStoreError> &error() const { return m_error; }

private:
    friend class ExternalStorage;
    friend class PreparedFiles;
    struct Files;

    std::shared_ptr<Files> m_files;
    std::optional<ModelStoreError> m_error;
};

// Files of new values that the caller writes itself, piece by piece, ahead
// of the save that stores them, when the values are too large to hold in
// memory at all (an archive's images as they are inflated). Made by
// ExternalStorage::prepareFiles() on the GUI thread; used on any thread,
// by several at once. Each file is written under a temporary name and
// takes its own once complete (synced); offer() then hands every complete
// file to the next saves, which take a file named by setImageDataFile()
// and the like. A save that fails gives the files it took back to the
// offer, for a save that follows, while its PreparedValues lives. Files
// not offered are removed when the last copy goes (and the last Writer).
// Each file is recorded (StagingRecord) before it is made, so that the
// next opening removes what a crash leaves.
class PreparedFiles {
    struct State;

public:
    PreparedFiles() = default;

    // One new file being written.
    class Writer {
    public:
        ~Writer(); // removes a file not completed
        Writer(const Writer &) = delete;
        Writer &operator=(const Writer &) = delete;

        // The name the file has in the folder once complete.
        QString name() const { return m_name; }
        // False when the piece could not be written: errno says why.
        bool write(QByteArrayView piece);
        // Syncs the file and gives it its name; false when that fails (the
        // file is gone then; errno says why).
        bool complete();

    private:
        friend class PreparedFiles;
        Writer(std::shared_ptr<State> state, const QString &folder, const QString &name, int fd)
            : m_state(std::move(state)), m_folder(folder), m_name(name), m_fd(fd) {}

        std::shared_ptr<State> m_state; // its files, its record and the folder's lock
        QString m_folder;
        QString m_name;
        int m_fd = -1;
        bool m_completed = false;
    };

    // A new file; null when the folder can't be written (see error()).
    std::unique_ptr<Writer> create();
    // Why create() or a write failed, as a save's error.
    std::optional<ModelStoreError> error() const;
    // `reason` in the user's words (FileWriteError::reason).
    void setError(const QString &reason);

    // Syncs the folder and offers every complete file to the saves of the
    // storage: the result holds them as prepare()'s does. Call once, when
    // no file is being written any more.
    PreparedValues offer();

private:
    friend class ExternalStorage;
    std::shared_ptr<State> m;
};

// Large values of external-storage attributes, kept as one file each in a
// folder beside the store file ("default.store-external"); smaller ones stay
// in the database, where they read and write faster. A store in memory has
// no folder and keeps every value in the database.
//
// A crash neither loses nor orphans bytes. A save writes each new file
// completely (under a temporary name, then renamed) before the transaction
// that refers to it commits, and removes the files of replaced or deleted
// values only after that transaction has committed, on a worker thread of
// the files pool (the save does not wait for them). Every file written or
// removed so is first recorded (StagingRecord); files that a record names
// and no row refers to (left by a save cut short, or by a failed one), and
// their temporary files, are removed when the store is opened, and so are
// (on the files pool, see clearTemporariesLater(); closing stops that, and
// the next opening goes on) the store's own temporary files (a new file's
// name and ".tmp", a regular file) that a process cut short left without a
// record. No other file of
// the folder that no record names is ever removed. New files and their
// folder are synced to the disk before the transaction, so even after a
// power cut a row never names a short file; the database itself may lose
// its last saves then, which only leaves files for the cleanup.
//
// A save of many large values would write them on the GUI thread: the
// caller may have them written on the files pool first (prepare()), and the
// save then adopts the files as they are.
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

    // Writes the files of those `values` that are kept in files, on the files
    // pool, each one synced with the folder; a value listed twice gets two
    // files (two images may share bytes). Nothing to write: a finished
    // future. On failure nothing it wrote is left.
    QFuture<PreparedValues> prepare(const QList<QByteArray> &values) const;
    // Files that the caller writes itself (see PreparedFiles); none for a
    // store without a folder.
    std::optional<PreparedFiles> prepareFiles() const;

    // Saving, in this order: stage() each new value (returns the file name
    // it will have; a prepared file is taken over), writeStaged() before the
    // transaction, willCommit() just before its commit, then committed() or
    // discard() after it.
    // removeAfterCommit() names files of values the transaction replaces or
    // deletes.
    QString stage(const void *owner, const QByteArray &bytes);
    // Stages a file offered by PreparedFiles::offer(); when it is offered
    // no more, writeStaged() fails. discard() offers it again.
    void adopt(const void *owner, const QString &name);
    QString stagedName(const void *owner) const { return m_stagedNames.value(owner); }
    bool hasStaged() const { return !m_staged.isEmpty(); }
    // Records, then writes every staged file that is not on disk yet,
    // several at a time. On failure removes what it wrote, forgets the
    // staged files and returns why, in the user's words
    // (FileWriteError::reason).
    std::optional<QString> writeStaged();
    void removeAfterCommit(const QString &name);
    // Records the files that the commit will have removed, in case the
    // process ends before they are.
    void willCommit();
    void committed();
    void discard();

    // The bytes of a stored file; none when it cannot be read.
    std::optional<QByteArray> read(const QString &name) const;

    // A name for a new file, never used before.
    static QString newFileName();
    // A copy of the file `name` of `folder`, named `newName`, complete on
    // the disk (the folder not yet synced): a second link to the same bytes
    // where the file system has them (a stored file never changes), else a
    // copy of them. Any thread; answers why it failed, in the user's words.
    static std::optional<QString> copyFile(const QString &folder, const QString &name, const QString &newName);
    // False when the folder could not be synced: errno says why.
    static bool syncFolder(const QString &folder);

    // Whether the folder holds any record of files (see removeUnreferenced).
    bool hasRecords() const { return StagingRecord::anyIn(m_folder); }
    // Removes, on the files pool, the temporary files a process cut short
    // left: regular files named as the storage names a file while it
    // writes it (a new file's name and ".tmp"), no link. Which files those
    // are is decided by one listing of the folder (a tenth of a second for
    // 100,000 files, which opening doesn't wait for), made before this
    // process writes anything: lock() waits for the listing (making it
    // itself when the pool has not begun it), and for nothing more. So no
    // file this process writes is among them, and removing them needs no
    // exclusion from this process's saves. Another process's new files are
    // temporaries only while it writes them, under the lock: those listed
    // that are still there are removed under the lock, which this
    // process's own holders share meanwhile. They go in the order of their
    // inodes, as find and rm remove a large folder's files. Closing the
    // storage stops the removal between two files and lets the lock go at
    // once; the next opening clears the rest. Call once, as the store
    // opens, before anything is saved.
    void clearTemporariesLater();
    // Stops that clearing between two files and lets the lock go, as
    // closing the storage does: for a host that waits for the files pool
    // before it closes the store.
    void stopClearing();
    // Removes every file that a record of the folder names and whose name
    // is not in `referenced` (with its temporary file), then the records.
    // A folder of that name is left alone: the store's files are files.
    // `referenced` is read by the caller while no save of another process
    // can be writing: see lock().
    void removeUnreferenced(const QSet<QString> &referenced);

    // The files of a store that is missing or empty: the folder is renamed
    // "<folder> (kept 2026-12-07 14.05)" at `when` (with " 2", " 3"...
    // after it when that is taken), if it holds any file but its lock.
    // Those of the store's `companions` (its journals) that hold anything
    // go into it too, in a folder made for them if need be: the store's
    // write-ahead log may hold its last saves. With a `note`, the kept
    // folder's name is added to it, on the disk, before anything moves
    // (see keptFolders()); a note that is not the store's own (not a
    // regular file, such as a link or a pipe, or a file with another link
    // to it) is neither followed nor written, and is left as it is: the
    // files are moved all the same, unnoted. Answers the new path, empty
    // when nothing was moved; `error` says why the files could not be
    // moved (all are then where they were, and the note as it was).
    static QString setAside(const QString &folder, const QDateTime &when, QString *error,
                            const QStringList &companions = {}, const QString &note = {});
    // The kept folders of `folder` that `note` names and that are there,
    // beside it: only names that setAside() gives `folder`'s files count. A
    // note that is not the store's own is not read (a link is not followed,
    // a pipe not waited for) and names none.
    static QStringList keptFolders(const QString &note, const QString &folder);
    // Removes `note` when it is the store's own: a regular file with no
    // other link to it; anything else of that name stays.
    static void removeNote(const QString &note);

    // Held from writing new files until their transaction has committed (or
    // the prepared files are let go), and while unreferenced files or left
    // temporary files are removed, so that two processes with the same
    // store open never take each other's new files for orphans. Held by
    // several at once in this process (a save, a preparation, the
    // clearing), it is let go by the last. It is the system's lock on the
    // folder itself (LibraryLock), which goes with the process that holds
    // it however that ends: nothing a process killed while taking it
    // leaves behind keeps the files locked. Waits for the listing of the
    // left temporary files (clearTemporariesLater()), never for their
    // removal, and up to ten seconds for another holder. With `whyNot`, why
    // it failed, in the user's words.
    bool lock(QString *whyNot = nullptr);
    void unlock();

private:
    struct Staged {
        QString name;
        QByteArray bytes;
        bool written = false; // prepared ahead
        bool missing = false; // a prepared file that is no longer offered
        std::shared_ptr<StagingRecord> record; // until committed or discarded
        std::weak_ptr<void> holder; // the prepared values that offered it by name
    };

    QString path(const QString &name) const;
    void removeFiles(const QStringList &names) const;

    QString m_folder;
    std::shared_ptr<ExternalFolder> m_shared;
    QList<Staged> m_staged;
    QHash<const void *, QString> m_stagedNames;
    QStringList m_removals;
    std::shared_ptr<StagingRecord> m_removalRecord;
};

// What the new values written ahead of a save (an import's pictures) may
// hold in memory until the save takes them: small ones, up to a bound in
// all; larger ones, and those past the bound, go to prepared files.
// Thread-safe.
class PreparedMemoryAllowance {
public:
    // Whether a value of `size` bytes stays in memory, taking its share.
    bool keepsInMemory(qint64 size)
    {
        return size < ExternalStorage::fileThreshold && m_left.fetch_sub(size) >= size;
    }

private:
    static constexpr qint64 bound = qint64(64) * 1024 * 1024;
    std::atomic<qint64> m_left{bound};
};
