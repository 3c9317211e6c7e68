#pragma once

#include "browser/ImportedImage.h"
#include "browser/MetadataDraft.h"
#include "browser/PendingImageImport.h"
#include "model/LibraryEntry.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <initializer_list>
#include <optional>

class AtlasImage;
class ModelContext;
class ModelObject;
class Series;
class StoreWrites;

// The operations that change the library: committing an import, saving an
// image's metadata, renaming a series, deleting, duplicating and
// reordering. Main thread only.
//
// Each operation first checks that the objects it was handed are still in
// the library (a sheet or dialog may have waited on them while another
// window removed them; a deletion just leaves out what has gone), changes
// the context and saves it once at its end
// (saveOrRollBack). A failure is announced by operationFailed() under the
// operation's title ("Import Failed", "Save Failed", "Rename Failed",
// "Delete Failed", "Duplicate Failed", "Reorder Failed") and leaves the
// library as it was saved last. Lists are taken by value: a caller may hand
// in a list that the change itself makes stale (a window's own entries).
class LibraryOperations : public QObject {
    Q_OBJECT
public:
    // The context must outlive this object.
    explicit LibraryOperations(ModelContext &context, QObject *parent = nullptr);

    ModelContext &context() const { return m_context; }

    // What an import made: its first image, the series that a standalone
    // destination became (else null), and every new image, one per file in
    // the files' order.
    struct Imported {
        AtlasImage *firstImage = nullptr;
        Series *newSeries = nullptr;
        QList<AtlasImage *> images;
    };
    // One file becomes a standalone image and several a new series; a
    // series destination gets the images after its last sort index; a
    // standalone destination becomes a new series that holds it first.
    std::optional<Imported> commitImport(const QList<ImportedImage> &files,
                                         const PendingImageImport::Destination &destination, const MetadataDraft &draft);

    bool saveMetadata(AtlasImage *image, const MetadataDraft &draft);

    // The title trimmed of white space and line breaks; a blank title, or
    // the one the series has, changes nothing.
    bool renameSeries(Series *series, const QString &text);

    // Deletions and the copy of a series are saved on a worker
    // (saveOrRollBackInBackground): they answer whether the change is made,
    // or being saved; a save that fails later is announced and rolled back
    // then.
    //
    // The entries' listed images, and each series that is left empty. A
    // series listed without images goes only while it is still empty.
    // What has already left the library is passed over, unmentioned.
    // `ended` follows once the deletion has ended, whether it was saved
    // (true) or failed (false, after its failure is announced).
    bool removeEntries(QList<LibraryEntry> entries, std::function<void(bool deleted)> ended = {});
    // The images (those still in the library); a series that loses all of
    // its images goes with them, the others are numbered afresh.
    bool deleteImages(QList<AtlasImage *> images, std::function<void(bool deleted)> ended = {});

    // What a duplicate made: the copy of the image, and the series that a
    // standalone image became (else null).
    struct Duplicated {
        AtlasImage *copy = nullptr;
        Series *newSeries = nullptr;
    };
    // The copy ("<title> Copy", or no title) goes right after the image in
    // its series; a standalone image first becomes a series of its own
    // title holding it, with an exact copy after it.
    std::optional<Duplicated> duplicateImage(AtlasImage *image);
    // A new series "<title> Copy" with a copy of every image in order,
    // which `duplicated` gets once it is saved.
    bool duplicateSeries(Series *series, std::function<void(Series *copy)> duplicated = {});

    // Whether the image can move `offset` places within its series.
    bool canMoveImage(AtlasImage *image, int offset) const;
    bool moveImage(AtlasImage *image, int offset);
    // The images of the first image's series take the places of those
    // listed, in the listed order; images of other series and repeats are
    // left out.
    bool reorderImages(QList<AtlasImage *> images);

    // A copy of the image with its points and regions, inserted into the
    // context, in no series; not saved. Title and sort index default to the
    // source's.
    static AtlasImage *deepCopy(ModelContext &context, AtlasImage &source,
                                const std::optional<QString> &title = std::nullopt,
                                std::optional<qint64> sortIndex = std::nullopt);

    // The message when an object an operation waited on left the library.
    static QString missingObjectMessage();

signals:
    void operationFailed(const QString &title, const QString &message);

private:
    // Ends an operation (saveOrRollBack); a failure is announced under `title`.
    bool saveOrReport(const QString &title);
    // The same with the save on a worker; `ended` follows the save, told
    // whether it succeeded (after a failure is announced). Answers false
    // when the save failed at once.
    bool saveInBackgroundOrReport(const QString &title, const std::function<void(StoreWrites &)> &addRows,
                                  std::function<void(bool saved)> ended = {});
    // All objects still in the library; otherwise announces under `title`.
    bool requireInLibrary(std::initializer_list<const ModelObject *> objects, const QString &title);

    AtlasImage *makeImage(const ImportedImage &file, const QString &title, const MetadataDraft &draft,
                          qint64 sortIndex, Series *series);
    static void renumberImages(const QList<AtlasImage *> &images);
    // The image alone, inserted into the context, in no series.
    static AtlasImage *copyImage(ModelContext &context, AtlasImage &source, const std::optional<QString> &title,
                                 std::optional<qint64> sortIndex);

    ModelContext &m_context;
};
