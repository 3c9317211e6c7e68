#pragma once

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryImportSummary.h"
#include "archive/ZipArchiveReader.h"
#include "platform/FileReadError.h"
#include "platform/Result.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QFuture>
#include <QSet>
#include <QUuid>

#include <chrono>
#include <memory>

#include <optional>
#include <variant>

class ModelContext;

// Merges an archive that has been read into the library, adding only what
// the library lacks.
class LibraryArchiveImporter {
public:
    // Adds every series and image of `contents` whose identifier the library
    // doesn't hold yet (a record repeated in the archive counts as skipped),
    // with their annotations and links, keeping the archive's identifiers,
    // dates and sort indices; an image joins the series of its seriesID,
    // whether it was in the library or came with the archive. Ends with one
    // save of `context`; when that fails the context is rolled back, nothing
    // of the archive stays in the library, and the save's error is given.
    // Once the save is done no imported bytes keep `contents`' buffer in
    // memory. Main thread.
    static Result<LibraryImportSummary, ModelStoreError> importContents(LibraryArchiveContents contents,
                                                                       ModelContext &context);

    // The bytes of the images that importContents() would add to the
    // library as it is now, for their files to be written ahead
    // (changeOncePrepared). Main thread.
    static QList<QByteArray> newImageBytes(const LibraryArchiveContents &contents, ModelContext &context);

    // An archive file merged without ever holding it, nor any of its
    // entries, whole: read and checked in steps that alternate between a
    // worker thread and the main thread, its new images inflated straight
    // into files of the library's folder, which the merge's save takes
    // over.
    using FileError = std::variant<FileReadError, ZipArchiveError, ManifestDecodingError, LibraryArchiveError,
                                   ModelStoreError>;

    // The archive file as it was opened: its bytes, its zip directory, and
    // its name for the errors that name it.
    struct ArchiveFile {
        ZipArchiveSource source;
        ZipArchiveReader::Directory directory;
        QString fileName;
    };

    // 1. Any thread: opens the file, walks its zip directory, decodes the
    // manifest as it is inflated and checks its format version and that
    // every file its records name is there. Failures come in the order a
    // read of the whole archive meets them: should any of this fail, every
    // entry is checked first, and a damaged one is reported instead
    // (LibraryArchiveContents::openManifest()).
    struct OpenedArchive {
        ArchiveFile file;
        LibraryArchiveManifest manifest;
    };
    static Result<OpenedArchive, FileError> openArchive(const QString &path);

    // 2. Main thread: the identifiers of the library's images, for the
    // next step to find the archive's among them.
    static QList<QUuid> libraryImages(ModelContext &context);

    // 3. Any thread: checks every entry of the archive, as the zip reader
    // does, in one pass, and inflates those of the images whose identifier
    // is not in `library` (nor an earlier record's) as they are checked:
    // small ones into memory (a few megabytes in all), the others into
    // `files` (memory for all when there are none: a store in memory).
    // Entries no record names are checked and dropped.
    struct ImageFile {
        QByteArray bytes;
        QStringList preparedFiles; // files of `files`, one for each new image, when not in memory
    };
    // The archive's manifest is moved into the result.
    struct ReadArchive {
        LibraryArchiveManifest manifest;
        QHash<QString, ImageFile> imageFiles; // of the images not in `held`
        QSet<QUuid> held; // the archive's images in `library`: their entries were only checked
        PreparedValues prepared; // holds the files until the save takes them
        std::optional<ArchiveFile> file; // kept open for the merge; none for contents in memory
    };
    static Result<ReadArchive, FileError> readImages(OpenedArchive &archive, const QList<QUuid> &library,
                                                    std::optional<PreparedFiles> files);

    // 4. Main thread: merges as importContents() does, with the library as
    // it is at the merge: an image it has gained since the archive was read
    // is skipped, and one that it held then and has lost since is added
    // with its bytes, whose entry is read again then, on the files pool,
    // and checked. An archive file changed since it was opened fails that
    // read (FileReadError::changed), and a damaged entry fails it naming the
    // entry; nothing is added then. The prepared files that the save
    // doesn't take are removed.
    static Result<LibraryImportSummary, FileError> importArchive(ReadArchive archive, ModelContext &context);

    // The same merge in slices, each a call of step() taking about the
    // time it is given, for the event loop to turn between them: the
    // library's objects are main-thread objects. The context is held
    // (ModelContext::beginHeldChange) from the first step until the one
    // save of the last; a failure at any point, the save's or an
    // exception of a step, leaves the library as it was saved last, with
    // no prepared file left behind once the merge is destroyed. What the
    // merge lets go at its end goes on the files pool.
    class Merge {
    public:
        Merge(ReadArchive archive, ModelContext &context);
        ~Merge();
        Merge(const Merge &) = delete;
        Merge &operator=(const Merge &) = delete;

        // Does the next part of the merge; true once it has ended. An
        // exception of a step rolls the context back and leaves the merge
        // ended, then goes on to the caller.
        bool step(std::chrono::milliseconds budget);
        // While the merge waits for entries read again on the files pool
        // (see importArchive()): that read. Steps do nothing until it ends;
        // the caller waits for it rather than step meanwhile.
        std::optional<QFuture<void>> reading() const;
        // After the last step: the summary, or the save's error, or why the
        // entries read again could not be taken.
        const Result<LibraryImportSummary, FileError> &outcome() const;

    private:
        struct State;
        std::unique_ptr<State> d;
    };

private:
    LibraryArchiveImporter() = delete;
};
