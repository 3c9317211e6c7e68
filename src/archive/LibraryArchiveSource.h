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

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <variant>

class AtlasImage;
class LibraryEntry;
class Series;

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

    using ExportError = std::variant<LibraryArchiveError, ManifestEncodingError, ZipArchiveError, FileWriteError>;

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
