#pragma once

#include <QByteArrayView>
#include <QString>
#include <QUuid>

// Rules of the library archive format shared by its readers and writers.
struct LibraryArchive {
    // The file-name extension, without the dot, for image bytes, told by
    // their signature: "png", "jpeg", "gif", "tiff", "bmp", "webp", "heic",
    // "heif", "avif", "jp2", ... and "dat" for bytes of no known image type.
    static QString fileExtension(QByteArrayView imageData);
    // How many leading bytes fileExtension() looks at, at most: the same
    // bytes give the same extension whatever follows them.
    static constexpr qsizetype signatureLength = 4096;

    // The archive path of an image's file: "images/", the identifier in
    // upper case, "." and the extension.
    static QString imagePath(const QUuid &id, const QString &extension);

    // The order of entry paths in an archive: by Unicode scalar values after
    // canonical composition.
    static bool pathPrecedes(const QString &a, const QString &b);
};
