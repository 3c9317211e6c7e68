#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

// Rules of the library archive format shared by its builders.
struct LibraryArchive {
    // The file-name extension, without the dot, for image bytes, told by
    // their signature: "png", "jpeg", "gif", "tiff", "bmp", "webp", "heic",
    // "heif", "avif", "jp2", ... and "dat" for bytes of no known image type.
    static QString fileExtension(QByteArrayView imageData);

    // The whole content of the file at `path` in one buffer, read in large
    // pieces on several threads, for handing an archive file to
    // LibraryArchiveContents::fromArchiveData(); none when it can't be read.
    static std::optional<QByteArray> readFile(const QString &path);
};
