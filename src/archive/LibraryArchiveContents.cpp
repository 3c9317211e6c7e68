#include "archive/LibraryArchiveContents.h"

#include "archive/LibraryArchive.h"
#include "archive/ZipArchiveReader.h"
#include "archive/ZipArchiveWriter.h"

#include <QSet>

#include <algorithm>

Result<LibraryArchiveManifest, LibraryArchiveContents::ReadError>
LibraryArchiveContents::readManifest(const ZipArchiveSource &source, const ZipArchiveReader::Directory &directory,
                                     qint64 sizeLimit)
{
    if (!directory.contains(manifestPath))
        return LibraryArchiveError::missingManifest();
    auto opened = ZipArchiveReader::openEntry(source, directory, manifestPath);
    if (!opened)
        return opened.error();
    ZipArchiveReader::EntryReader &entry = *opened.value();
    bool tooLarge = false;
    auto decoded = LibraryArchiveManifest::decoded([&entry](char *into, qint64 max) { return entry.read(into, max); },
                                                   sizeLimit, &tooLarge);
    if (tooLarge)
        return ZipArchiveError::truncated();
    // The entry's own faults come first, even past where the JSON failed.
    if (const std::optional<ZipArchiveError> error = entry.finish())
        return *error;
    if (!decoded)
        return decoded.error();
    return std::move(decoded).value();
}

std::optional<LibraryArchiveError> LibraryArchiveContents::checkManifest(const LibraryArchiveManifest &manifest,
                                                                         const ZipArchiveReader::Directory &directory)
{
    if (manifest.formatVersion > currentFormatVersion)
        return LibraryArchiveError::unsupportedFormatVersion(manifest.formatVersion);
    for (const auto &image : manifest.images) {
        if (image.imagePath && !directory.contains(*image.imagePath))
            return LibraryArchiveError::missingImageFile(*image.imagePath);
    }
    return std::nullopt;
}

Result<LibraryArchiveContents, LibraryArchiveContents::ReadError>
LibraryArchiveContents::fromArchiveData(const QByteArray &archiveData)
{
    // The image files are not known before the manifest is read, but only
    // the files it names are worth holding: read the manifest first (as it
    // is inflated, never held whole), then verify every entry and keep the
    // named ones.
    const ZipArchiveSource source = ZipArchiveSource::memory(archiveData);
    const auto directory = ZipArchiveReader::directory(source);
    // A first look that decides nothing when the verifying read that
    // follows finds a fault of the archive.
    std::optional<Result<LibraryArchiveManifest, ReadError>> candidate;
    QSet<QString> named;
    if (directory && directory.value().contains(manifestPath)) {
        candidate = readManifest(source, directory.value());
        if (candidate->ok()) {
            for (const auto &image : candidate->value().images) {
                if (image.imagePath)
                    named.insert(*image.imagePath);
            }
        }
    }

    auto read = ZipArchiveReader::entries(archiveData, [&](const QString &path) { return named.contains(path); });
    if (!read)
        return read.error();
    if (!candidate)
        return LibraryArchiveError::missingManifest();
    if (!candidate->ok())
        return candidate->error();
    LibraryArchiveContents contents;
    contents.manifest = std::move(*candidate).value();
    if (const std::optional<LibraryArchiveError> error = checkManifest(contents.manifest, directory.value()))
        return *error;
    const ZipArchiveReader::Entries entries = std::move(read).value();
    for (const auto &image : std::as_const(contents.manifest.images)) {
        if (image.imagePath)
            contents.imageFiles.insert(*image.imagePath, entries.value(*image.imagePath));
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
