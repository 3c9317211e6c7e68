#pragma once

#include <QString>

// A failure of the library archive codec beyond the zip container and the
// manifest's JSON.
struct LibraryArchiveError {
    enum class Kind {
        unsupportedFormatVersion,
        missingImageFile,
        missingManifest,
        unreadableImageData, // an export: the library's bytes of an image can't be read
    };

    Kind kind = Kind::missingManifest;
    qint64 version = 0; // unsupportedFormatVersion only
    QString path;       // missingImageFile: the path; unreadableImageData: the image's title

    static LibraryArchiveError unsupportedFormatVersion(qint64 version) { return {Kind::unsupportedFormatVersion, version, {}}; }
    static LibraryArchiveError missingImageFile(const QString &path) { return {Kind::missingImageFile, 0, path}; }
    static LibraryArchiveError missingManifest() { return {Kind::missingManifest, 0, {}}; }
    static LibraryArchiveError unreadableImageData(const QString &title) { return {Kind::unreadableImageData, 0, title}; }

    QString description() const;

    friend bool operator==(const LibraryArchiveError &, const LibraryArchiveError &) = default;
};
