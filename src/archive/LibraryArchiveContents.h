#pragma once

#include "archive/LibraryArchiveError.h"
#include "archive/LibraryArchiveManifest.h"
#include "archive/ManifestCodingError.h"
#include "platform/Result.h"
#include "archive/ZipArchiveError.h"
#include "archive/ZipArchiveReader.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <variant>

// A library archive in memory: the manifest and the image files that it
// names, keyed by their entry names inside the zip.
struct LibraryArchiveContents {
    // The manifest's entry and the newest format this version reads/writes.
    static inline const QString manifestPath = QStringLiteral("library.json");
    static constexpr qint64 currentFormatVersion = 1;

    LibraryArchiveManifest manifest;
    QHash<QString, QByteArray> imageFiles;

    friend bool operator==(const LibraryArchiveContents &, const LibraryArchiveContents &) = default;

    using ReadError = std::variant<ZipArchiveError, ManifestDecodingError, LibraryArchiveError>;
    using WriteError = std::variant<ManifestEncodingError, ZipArchiveError>;

    // Reads archive bytes: every zip entry is verified; the manifest must
    // decode, be of a format up to currentFormatVersion and name only files
    // that the archive holds. The result keeps exactly the named files;
    // stored files share the bytes of `archiveData`.
    static Result<LibraryArchiveContents, ReadError> fromArchiveData(const QByteArray &archiveData);

    // The manifest of an archive whose directory has been read, decoded as
    // it is inflated, and its entry checked: missingManifest without one; a
    // manifest whose values would take more than `sizeLimit` bytes fails as
    // a damaged archive (truncated). Neither its format version nor the
    // files it names are looked at.
    static Result<LibraryArchiveManifest, ReadError>
    readManifest(const ZipArchiveSource &source, const ZipArchiveReader::Directory &directory,
                 qint64 sizeLimit = LibraryArchiveManifest::maximumDecodedSize);
    // The checks of a decoded manifest: its format version, then that every
    // file its records name is in `directory`.
    static std::optional<LibraryArchiveError> checkManifest(const LibraryArchiveManifest &manifest,
                                                            const ZipArchiveReader::Directory &directory);

    // The directory and the checked manifest (readManifest(), then
    // checkManifest()) of the archive in `source`, its failures in the order
    // a read of the whole archive meets them: every zip entry is verified
    // before the manifest is looked at. When the directory, the manifest or
    // its checks fail, every entry is verified here first, piece by piece,
    // and a damaged entry is what is reported; when they pass, the entries
    // other than the manifest are yet to be verified, and the caller reads
    // them all (ZipArchiveReader::entries() or readEntries()) before it
    // takes the manifest for good.
    struct OpenedManifest {
        ZipArchiveReader::Directory directory;
        LibraryArchiveManifest manifest;
    };
    static Result<OpenedManifest, ReadError> openManifest(const ZipArchiveSource &source,
                                                          qint64 sizeLimit = LibraryArchiveManifest::maximumDecodedSize);

    // The archive bytes: "library.json" first, then the image files sorted
    // by path, all stored.
    Result<QByteArray, WriteError> archiveData() const;
};
