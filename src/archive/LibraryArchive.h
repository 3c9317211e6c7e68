#pragma once

#include "archive/ZipArchiveError.h"
#include "platform/FileReadError.h"
#include "platform/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <variant>

// Rules of the library archive format shared by its builders.
struct LibraryArchive {
    // The file-name extension, without the dot, for image bytes, told by
    // their signature: "png", "jpeg", "gif", "tiff", "bmp", "webp", "heic",
    // "heif", "avif", "jp2", ... and "dat" for bytes of no known image type.
    static QString fileExtension(QByteArrayView imageData);

    // The whole content of the archive file at `path` in one buffer, read in
    // large pieces on several threads, for handing to
    // LibraryArchiveContents::fromArchiveData(). Only regular files are
    // read; one larger than any zip archive without Zip64 records is
    // refused from its last bytes before the rest is read.
    using ReadFileError = std::variant<FileReadError, ZipArchiveError>;
    static Result<QByteArray, ReadFileError> readFile(const QString &path);
};
