#pragma once

#include "browser/ImportError.h"
#include "platform/FileReadError.h"
#include "platform/ImageDecoder.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelStoreError.h"

#include <QByteArray>
#include <QFuture>
#include <QHashFunctions>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

// One picture file read, waiting to become a library image: its bytes in
// memory, or copied into a staged file of the library's folder.
struct ImportedImage {
    QUuid id;          // new for every read
    QUrl sourceURL;    // as handed in
    QString title;     // the file name without its last extension
    QByteArray data;   // the file's bytes, unchanged; empty when staged
    // The name of the staged file that holds the bytes (PreparedFiles),
    // which the commit's save takes over; empty for bytes in memory.
    QString stagedFile = QString();
    // The thumbnail made while the bytes were checked, for the thumbnail
    // cache once the image is in the library; null when it was not kept.
    // Not part of the value: equality and hash go by the five fields above.
    QImage thumbnail = QImage();

    friend bool operator==(const ImportedImage &a, const ImportedImage &b)
    {
        return a.id == b.id && a.sourceURL == b.sourceURL && a.title == b.title && a.data == b.data
               && a.stagedFile == b.stagedFile;
    }
};

size_t qHash(const ImportedImage &image, size_t seed = 0);

// The outcome of reading picked files: every image, or the first failure
// (and then no image at all).
struct ImportedImagesResult {
    QList<ImportedImage> images;
    // Holds the images' staged files until a save takes them; the files no
    // save took are removed when the last copy goes.
    PreparedValues staged;
    std::optional<FileReadError> readError;     // a file that could not be read
    std::optional<ImportError> importError;     // a file that is not an image
    std::optional<ModelStoreError> stagingError; // the library's folder could not be written

    bool succeeded() const { return !readError && !importError && !stagingError; }
    // The text of the "Import Failed" alert; empty on success.
    QString errorDescription() const;
};

// The dropped URLs that may be imported, in the given order: file URLs whose
// extension names a type that is an image type. Reads no file.
QList<QUrl> importableImageURLs(const QList<QUrl> &urls);

// The file-name patterns of every image type ("*.png", "*.jpg", ...), for
// the file importer's filter; the same types that importableImageURLs() lets
// through.
QStringList importableImageNamePatterns();

// Reads the files (several at a time) and checks that each is an image; the
// images come in file-name order (digits by value, letter case ignored;
// equal names keep their order). The first file in that order that cannot
// be read or is not an image decides the error; once a file has failed, the
// files after it are no longer opened. Only regular files are read.
//
// A file is checked from the file before its bytes are copied: one whose
// header is no image, or one larger than any picture the application shows
// (in pixels, or in bytes), is refused having read no more than its
// header. The file is then decoded at thumbnail size (ImageDecoder, as the
// thumbnail cache does, reading what the decoder asks for), so that a file
// whose data is damaged or partly missing is refused as no image having
// read no more than the decoder needed; the thumbnails come with the
// images, as many as the thumbnail cache's byte budget holds.
//
// Only then are the bytes copied, from the file opened and checked; a file
// written (also when its time of writing was set back), cut short, grown or
// replaced by another since it was opened is refused, as changed while it
// was read, and so, to be safe, is one whose mode or owner changed
// (RegularFile::isUnchanged()). With `staging` (the library's
// folder), large files are copied into staged files as they are read, and
// so are small ones once 64 MB of them are held in memory; without it, or
// for the rest, into memory. The result holds the staged files (`staged`);
// a failed load leaves none.
//
// `decode` stands for the check's decode, ImageDecoder::decode() with
// missing data refused, unless given.
using ImportCheckDecoder = std::function<QImage(const EncodedImage &image, int maxPixelSize)>;
ImportedImagesResult loadImportedImages(const QList<QUrl> &urls, std::optional<PreparedFiles> staging = std::nullopt,
                                        const ImportCheckDecoder &decode = {});

// The same load, run on a worker thread so the window stays responsive;
// same order, same results and errors. Attach a continuation on the window's
// thread to use the result.
QFuture<ImportedImagesResult> loadImportedImagesInBackground(const QList<QUrl> &urls,
                                                             std::optional<PreparedFiles> staging = std::nullopt);
