#pragma once

#include "archive/LibraryArchiveContents.h"
#include "archive/LibraryArchiveError.h"
#include "archive/LibraryArchiveManifest.h"
#include "archive/ManifestCodingError.h"
#include "archive/ZipArchiveError.h"
#include "archive/ZipArchiveWriter.h"
#include "model/StoredImageData.h"
#include "platform/FileWriteError.h"
#include "platform/Result.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

class AtlasImage;
class LibraryEntry;
class Series;
struct sqlite3;

// What an export writes, built from the library's objects on the main
// thread: the manifest's records, and for each image that has bytes where
// the library keeps them. The bytes are read only when the archive is
// planned and written, on whichever thread does that, one image at a time;
// the names of the image files in the archive, which follow the bytes' image
// type, are settled then as well. A plain value: copies are independent and
// may cross threads.
struct LibraryArchiveSource {
    struct ImageBytes {
        qsizetype record = 0; // the image's record in manifest.images
        StoredImageData bytes;
    };

    // Every record as the archive will have it, except that imagePath is
    // not set yet.
    LibraryArchiveManifest manifest;
    QList<ImageBytes> imageBytes;

    // Records for `images` and `series`, in the given orders, each image with
    // its bytes; format 1, exported now, by the running application.
    static LibraryArchiveSource fromLibrary(const QList<AtlasImage *> &images, const QList<Series *> &series);
    // The chosen sidebar entries: an image entry brings its image and its
    // series' record; a series entry its record and every image of
    // `libraryImages` in that series, by sort index. Each series and image
    // once, in the order first taken.
    static LibraryArchiveSource fromEntries(const QList<LibraryEntry> &entries, const QList<AtlasImage *> &libraryImages);
    // The images and series that fromEntries() takes, in its order.
    static std::pair<QList<AtlasImage *>, QList<Series *>> chosenObjects(const QList<LibraryEntry> &entries,
                                                                         const QList<AtlasImage *> &libraryImages);

    using ExportError =
        std::variant<LibraryArchiveError, ManifestEncodingError, ZipArchiveError, FileWriteError, ModelStoreError>;

    // What fromStore() reads: a saved library's database file and the
    // folder of its large bytes, and either the whole library (every image
    // and series in row order, as the context fetches them once saved) or
    // the images and series of the given row keys, in the given orders.
    struct StoreSelection {
        QString storePath;
        QString externalFolder;
        bool wholeLibrary = true;
        QList<qint64> imageKeys;
        QList<qint64> seriesKeys;
    };
    // The same source as fromLibrary() gives for the saved objects, read
    // from the rows through `database` (a connection to
    // `selection.storePath` used on the calling thread, so a worker's own):
    // no model object is made. The images whose bytes an archive would
    // hold are counted first, from the rows alone: with the manifest, more
    // entries than `entryLimit` fail with archiveTooLarge before any record
    // is read. A store that can't be read fails with a ModelStoreError.
    static Result<LibraryArchiveSource, ExportError>
    fromStore(sqlite3 *database, const StoreSelection &selection,
              qsizetype entryLimit = ZipArchiveWriter::maximumEntryCount);
    // The same on a connection of its own.
    static Result<LibraryArchiveSource, ExportError>
    fromStore(const StoreSelection &selection, qsizetype entryLimit = ZipArchiveWriter::maximumEntryCount);

    // The archive laid out: every image's path set, the manifest's JSON, and
    // the image files in archive order with their sizes. Bytes that can't be
    // read fail it with unreadableImageData naming the image; an archive
    // past the zip format's limits fails with archiveTooLarge, decided from
    // the lengths before any image byte is read. Image bytes of zero length
    // get no file and no path. Runs on the calling thread.
    struct Plan {
        struct File {
            QString path;
            qint64 size = 0;
            StoredImageData bytes;
            qsizetype record = 0; // an image that names the file
        };
        LibraryArchiveManifest manifest;
        QByteArray manifestJson;
        QList<File> files;
        ZipArchiveStreamWriter writer; // manifest first, then files
    };
    Result<Plan, ExportError> plan(StoredImageDataReader &reader) const;

    // The archive's contents in memory, every image's bytes read.
    Result<LibraryArchiveContents, ExportError> contents() const;

    // The title that errors give for the image of `record`.
    QString imageTitle(qsizetype record) const;
};

// The file name, without extension, that an export of `entries` proposes:
// "Veloran Library" for none, "Veloran Selection" for several, else the
// entry's title with "/" and ":" made "-", trimmed ("Veloran Library" when
// nothing is left).
QString defaultArchiveFilename(const QList<LibraryEntry> &entries);
