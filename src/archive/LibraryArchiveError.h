#pragma once

#include <QString>

// A failure of the library archive codec beyond the zip container and the
// manifest's JSON.
struct LibraryArchiveError {
    enum class Kind {
        unsupportedFormatVersion,
        missingImageFile,
        missingManifest,
    };

    Kind kind = Kind::missingManifest;
    qint64 version = 0; // unsupportedFormatVersion only
    QString path;       // missingImageFile only

    static LibraryArchiveError unsupportedFormatVersion(qint64 version) { return {Kind::unsupportedFormatVersion, version, {}}; }
    static LibraryArchiveError missingImageFile(const QString &path) { return {Kind::missingImageFile, 0, path}; }
    static LibraryArchiveError missingManifest() { return {Kind::missingManifest, 0, {}}; }

    QString description() const;

    friend bool operator==(const LibraryArchiveError &, const LibraryArchiveError &) = default;
};
