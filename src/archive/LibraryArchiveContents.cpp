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

Result<LibraryArchiveContents::OpenedManifest, LibraryArchiveContents::ReadError>
LibraryArchiveContents::openManifest(const ZipArchiveSource &source, qint64 sizeLimit)
{
    std::optional<ReadError> error;
    auto directory = ZipArchiveReader::directory(source);
    std::optional<Result<LibraryArchiveManifest, ReadError>> manifest;
    if (!directory) {
        error = directory.error();
    } else {
        manifest = readManifest(source, directory.value(), sizeLimit);
        if (!manifest->ok())
            error = manifest->error();
        else if (const auto unreadable = checkManifest(manifest->value(), directory.value()))
            error = *unreadable;
    }
    if (error) {
        // A damaged entry anywhere in the archive comes first.
        if (const std::optional<ZipArchiveError> damaged = ZipArchiveReader::check(source))
            return *damaged;
        return *error;
    }
    return OpenedManifest{std::move(directory).value(), std::move(*manifest).value()};
}

Result<LibraryArchiveContents, LibraryArchiveContents::ReadError>
LibraryArchiveContents::fromArchiveData(const QByteArray &archiveData)
{
    // The image files are not known before the manifest is read, but only
    // the files it names are worth holding: read the manifest first (as it
    // is inflated, never held whole), then verify every entry and keep the
    // named ones.
    auto opened = openManifest(ZipArchiveSource::memory(archiveData));
    if (!opened)
        return opened.error();
    LibraryArchiveContents contents;
    contents.manifest = std::move(opened).value().manifest;
    QSet<QString> named;
    for (const auto &image : std::as_const(contents.manifest.images)) {
        if (image.imagePath)
            named.insert(*image.imagePath);
    }
    auto read = ZipArchiveReader::entries(archiveData, [&](const QString &path) { return named.contains(path); });
    if (!read)
        return read.error();
    const ZipArchiveReader::Entries entries = std::move(read).value();
    for (const QString &path : std::as_const(named))
        contents.imageFiles.insert(path, entries.value(path));
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
