#pragma once

#include "browser/ImportError.h"
#include "platform/FileReadError.h"

#include <QByteArray>
#include <QFuture>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QUuid>

#include <optional>

// One picture file read into memory, waiting to become a library image.
struct ImportedImage {
    QUuid id;          // new for every read
    QUrl sourceURL;    // as handed in
    QString title;     // the file name without its last extension
    QByteArray data;   // the file's bytes, unchanged

    friend bool operator==(const ImportedImage &, const ImportedImage &) = default;
};

size_t qHash(const ImportedImage &image, size_t seed = 0);

// The outcome of reading picked files: every image, or the first failure
// (and then no image at all).
struct ImportedImagesResult {
    QList<ImportedImage> images;
    std::optional<FileReadError> readError;     // a file that could not be read
    std::optional<ImportError> importError;     // a file that is not an image

    bool succeeded() const { return !readError && !importError; }
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
ImportedImagesResult loadImportedImages(const QList<QUrl> &urls);

// The same load, run on a worker thread so the window stays responsive;
// same order, same results and errors. Attach a continuation on the window's
// thread to use the result.
QFuture<ImportedImagesResult> loadImportedImagesInBackground(const QList<QUrl> &urls);
