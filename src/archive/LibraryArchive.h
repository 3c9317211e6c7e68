#pragma once

#include <QByteArrayView>
#include <QString>

// Rules of the library archive format shared by its builders.
struct LibraryArchive {
    // The file-name extension, without the dot, for image bytes, told by
    // their signature: "png", "jpeg", "gif", "tiff", "bmp", "webp", "heic",
    // "heif", "avif", "jp2", ... and "dat" for bytes of no known image type.
    static QString fileExtension(QByteArrayView imageData);
};
