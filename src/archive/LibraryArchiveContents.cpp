#include "archive/LibraryArchiveContents.h"

#include "archive/LibraryArchive.h"
#include "archive/ZipArchiveReader.h"
#include "archive/ZipArchiveWriter.h"

#include <QSet>

#include <algorithm>

Result<LibraryArchiveContents, LibraryArchiveContents::ReadError>
LibraryArchiveContents::fromArchiveData(const QByteArray &archiveData)
{
    // The image files are not known before the manifest is read, but only
    // the files it names are worth holding: read the manifest first, then
    // verify every entry and keep those.
    const std::optional<Result<LibraryArchiveManifest, ManifestDecodingError>> candidate = [&] {
        // A first look that decides nothing: the verifying read that
        // follows reports any fault of the archive.
        const QByteArray json = ZipArchiveReader::lookUp(archiveData, manifestPath);
        return json.isNull() ? std::nullopt : std::optional(LibraryArchiveManifest::decoded(json));
    }();
    QSet<QString> named{manifestPath};
    if (candidate && candidate->ok()) {
        for (const auto &image : candidate->value().images) {
            if (image.imagePath)
                named.insert(*image.imagePath);
        }
    }

    auto read = ZipArchiveReader::entries(archiveData, [&](const QString &path) { return named.contains(path); });
    if (!read)
        return read.error();
    ZipArchiveReader::Entries entries = std::move(read).value();
    const auto manifestEntry = entries.constFind(manifestPath);
    if (manifestEntry == entries.constEnd())
        return LibraryArchiveError::missingManifest();
    // The first look and the verified read agree on the manifest's bytes, so
    // its decoding stands; decode again only if the first look missed it.
    auto decoded = candidate ? *candidate : LibraryArchiveManifest::decoded(*manifestEntry);
    if (!decoded)
        return decoded.error();

    LibraryArchiveContents contents;
    contents.manifest = std::move(decoded).value();
    if (contents.manifest.formatVersion > currentFormatVersion)
        return LibraryArchiveError::unsupportedFormatVersion(contents.manifest.formatVersion);
    for (const auto &image : std::as_const(contents.manifest.images)) {
        if (!image.imagePath)
            continue;
        const auto file = entries.constFind(*image.imagePath);
        if (file == entries.constEnd())
            return LibraryArchiveError::missingImageFile(*image.imagePath);
        contents.imageFiles.insert(*image.imagePath, *file);
    }
    return contents;
}

Result<QByteArray, LibraryArchiveContents::WriteError> LibraryArchiveContents::archiveData() const
{
    const auto json = manifest.encoded();
    if (!json)
        return json.error();
    QList<ZipEntry> images;
    images.reserve(imageFiles.size());
    for (auto it = imageFiles.constBegin(); it != imageFiles.constEnd(); ++it)
        images.append({it.key(), it.value()});
    std::sort(images.begin(), images.end(),
              [](const ZipEntry &a, const ZipEntry &b) { return LibraryArchive::pathPrecedes(a.path, b.path); });
    QList<ZipEntry> entries{{manifestPath, json.value()}};
    entries.append(std::move(images));
    auto archive = ZipArchiveWriter::archive(entries);
    if (!archive)
        return archive.error();
    return std::move(archive).value();
}
