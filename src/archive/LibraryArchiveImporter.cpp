#include "archive/LibraryArchiveImporter.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/SaveOrRollBack.h"
#include "model/Series.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QThreadPool>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace {

using M = LibraryArchiveManifest;

QList<AnnotationLink> links(const QList<M::LinkRecord> &records)
{
    QList<AnnotationLink> result;
    result.reserve(records.size());
    for (const M::LinkRecord &record : records)
        result.append({record.id, record.label, record.url});
    return result;
}

// A new image of `record`, with its points and regions, not yet inserted;
// `annotations` holds the annotations until the image is. `attachBytes`
// gives it its bytes.
template <class AttachBytes>
std::shared_ptr<AtlasImage> makeImage(const M::ImageRecord &record, AttachBytes &&attachBytes,
                                      std::vector<std::shared_ptr<ModelObject>> &annotations)
{
    auto image = AtlasImage::make();
    image->setId(record.id);
    image->setTitle(record.title);
    image->setCreatedAt(record.createdAt);
    image->setSortIndex(record.sortIndex);
    attachBytes(*image);
    image->setModalityRaw(record.metadata.modality);
    image->setRegionRaw(record.metadata.region);
    image->setPlaneRaw(record.metadata.plane);
    image->setSexRaw(record.metadata.sex);
    image->setAge(AgeSpec{record.metadata.age.kind, record.metadata.age.value});
    for (const M::PointRecord &point : record.points) {
        auto annotation = PointAnnotation::make(point.label, point.group, links(point.links), point.x, point.y);
        annotation->setId(point.id);
        annotation->setImage(image.get());
        annotations.push_back(std::move(annotation));
    }
    for (const M::RegionRecord &region : record.regions) {
        QList<Vertex> vertices;
        vertices.reserve(region.vertices.size());
        for (const M::VertexRecord &vertex : region.vertices)
            vertices.append({vertex.x, vertex.y});
        auto annotation = RegionAnnotation::make(region.label, region.group, links(region.links), vertices);
        annotation->setId(region.id);
        annotation->setImage(image.get());
        annotations.push_back(std::move(annotation));
    }
    return image;
}

// The identifiers of the archive's images that the library holds already.
// One pass over the library against the archive's few identifiers: a set of
// the whole library's would take most of the merge's time.
QSet<QUuid> heldImageIds(const LibraryArchiveManifest &manifest, ModelContext &context)
{
    QSet<QUuid> archived;
    archived.reserve(manifest.images.size());
    for (const M::ImageRecord &record : std::as_const(manifest.images))
        archived.insert(record.id);
    QSet<QUuid> held;
    if (archived.isEmpty())
        return held;
    for (const AtlasImage *image : context.fetch<AtlasImage>()) {
        if (archived.contains(image->id()))
            held.insert(image->id());
    }
    return held;
}

// Calls `add` with each image record whose identifier is not in `known`, in
// manifest order. A record repeated in the archive is passed over too: the
// library can't tell two images of one identifier apart.
template<class Add>
void forEachNewRecord(const LibraryArchiveManifest &manifest, QSet<QUuid> known, Add &&add)
{
    for (const M::ImageRecord &record : std::as_const(manifest.images)) {
        if (known.contains(record.id))
            continue;
        known.insert(record.id);
        add(record);
    }
}

// The same with the bytes of each record's file in `contents`, if any.
template<class Add>
void forEachNewImage(const LibraryArchiveContents &contents, const QSet<QUuid> &known, Add &&add)
{
    forEachNewRecord(contents.manifest, known, [&](const M::ImageRecord &record) {
        std::optional<QByteArray> bytes;
        if (record.imagePath) {
            const auto file = contents.imageFiles.constFind(*record.imagePath);
            if (file != contents.imageFiles.constEnd())
                bytes = *file;
        }
        add(record, bytes);
    });
}

// The merge: the series and images of `manifest` that the library lacks
// (images in `held` count as held), each image given its bytes by
// `attachBytes(image, record)`, then one save. Main thread.
template <class AttachBytes>
Result<LibraryImportSummary, ModelStoreError> merge(const LibraryArchiveManifest &manifest, QSet<QUuid> held,
                                                    ModelContext &context, AttachBytes attachBytes)
{
    QHash<QUuid, Series *> seriesById;
    for (Series *series : context.fetch<Series>())
        seriesById.insert(series->id(), series);
    held.unite(heldImageIds(manifest, context));

    LibraryImportSummary summary;
    for (const M::SeriesRecord &record : std::as_const(manifest.series)) {
        if (seriesById.contains(record.id)) {
            ++summary.skippedSeries;
            continue;
        }
        auto series = Series::make();
        series->setId(record.id);
        series->setTitle(record.title);
        series->setCreatedAt(record.createdAt);
        context.insert(series);
        seriesById.insert(record.id, series.get());
        ++summary.addedSeries;
    }

    QList<AtlasImage *> added;
    forEachNewRecord(manifest, held, [&](const M::ImageRecord &record) {
        std::vector<std::shared_ptr<ModelObject>> annotations;
        const std::shared_ptr<AtlasImage> image =
            makeImage(record, [&](AtlasImage &made) { attachBytes(made, record); }, annotations);
        if (record.seriesID)
            image->setSeries(seriesById.value(*record.seriesID)); // joins the context with its series
        context.insert(image);
        added.append(image.get());
    });
    summary.addedImages = added.size();
    summary.skippedImages = manifest.images.size() - added.size();

    const std::optional<ModelStoreError> error = saveOrRollBack(context);
    if (error) {
        // The context keeps objects it let go; without their bytes they no
        // longer hold on to the archive.
        for (AtlasImage *image : std::as_const(added))
            image->setImageData(std::nullopt);
        return *error;
    }
    return summary;
}

// What the entries inflated into memory may take in all; larger entries,
// and those past this, go to files.
constexpr qint64 memoryForSmallFiles = 64 << 20;

} // namespace

QList<QByteArray> LibraryArchiveImporter::newImageBytes(const LibraryArchiveContents &contents, ModelContext &context)
{
    QList<QByteArray> bytes;
    forEachNewImage(contents, heldImageIds(contents.manifest, context),
                    [&](const M::ImageRecord &, const std::optional<QByteArray> &data) {
                        if (data)
                            bytes.append(*data);
                    });
    return bytes;
}

Result<LibraryImportSummary, ModelStoreError> LibraryArchiveImporter::importContents(LibraryArchiveContents contents,
                                                                                    ModelContext &context)
{
    auto merged = merge(contents.manifest, {}, context, [&contents](AtlasImage &image, const M::ImageRecord &record) {
        std::optional<QByteArray> bytes;
        if (record.imagePath) {
            const auto file = contents.imageFiles.constFind(*record.imagePath);
            if (file != contents.imageFiles.constEnd())
                bytes = *file;
        }
        image.setImageData(bytes);
    });
    // The archive's bytes are let go on a worker thread: freeing a
    // gigabyte takes tens of milliseconds.
    WorkerPools::files().start([files = std::move(contents.imageFiles)] {});
    return merged;
}

Result<LibraryArchiveImporter::OpenedArchive, LibraryArchiveImporter::FileError>
LibraryArchiveImporter::openArchive(const QString &path)
{
    auto source = ZipArchiveSource::open(path);
    if (!source)
        return source.error();
    if (source.value().size() > ZipArchiveReader::maximumArchiveSize) {
        const qint64 size = source.value().size();
        const qint64 tailSize = qMin<qint64>(size, 22 + 0xFFFF);
        QByteArray tail(tailSize, Qt::Uninitialized);
        if (!source.value().read(size - tailSize, tailSize, reinterpret_cast<uchar *>(tail.data())))
            return FileReadError{FileReadError::Reason::readFailed, QFileInfo(path).fileName(), 0};
        return ZipArchiveReader::tooLargeToRead(tail);
    }
    auto directory = ZipArchiveReader::directory(source.value());
    if (!directory)
        return directory.error();
    auto manifest = LibraryArchiveContents::readManifest(source.value(), directory.value());
    if (!manifest)
        return std::visit([](const auto &error) { return FileError(error); }, manifest.error());
    if (const std::optional<LibraryArchiveError> error =
            LibraryArchiveContents::checkManifest(manifest.value(), directory.value()))
        return *error;
    return OpenedArchive{std::move(source).value(), std::move(directory).value(), std::move(manifest).value()};
}

QSet<QUuid> LibraryArchiveImporter::heldImages(const LibraryArchiveManifest &manifest, ModelContext &context)
{
    return heldImageIds(manifest, context);
}

Result<LibraryArchiveImporter::ReadArchive, LibraryArchiveImporter::FileError>
LibraryArchiveImporter::readImages(const OpenedArchive &archive, const QSet<QUuid> &held,
                                   std::optional<PreparedFiles> files)
{
    // Every entry a record names is checked; those of new images are kept.
    QStringList used;
    QSet<QString> seen;
    for (const M::ImageRecord &record : archive.manifest.images) {
        if (record.imagePath && !seen.contains(*record.imagePath)) {
            seen.insert(*record.imagePath);
            used.append(*record.imagePath);
        }
    }
    // How many new images each file is for: each takes a file of its own.
    QHash<QString, int> wanted;
    forEachNewRecord(archive.manifest, held, [&](const M::ImageRecord &record) {
        if (record.imagePath)
            ++wanted[*record.imagePath];
    });

    struct Kept {
        QByteArray bytes;
        std::vector<std::unique_ptr<PreparedFiles::Writer>> files;
    };
    QMutex keptLock;
    std::map<QString, std::shared_ptr<Kept>> kept;
    std::atomic<qint64> memoryLeft{memoryForSmallFiles};
    const auto consumerFor = [&](const QString &path) -> ZipArchiveReader::Consumer {
        if (!wanted.contains(path))
            return {}; // only checked
        auto slot = std::make_shared<Kept>();
        {
            const QMutexLocker locker(&keptLock);
            kept[path] = slot;
        }
        const qint64 size = archive.directory.uncompressedSize(path);
        const bool inMemory = !files
            || (size < ExternalStorage::fileThreshold && memoryLeft.fetch_sub(size) >= size);
        if (inMemory) {
            slot->bytes.reserve(size);
            return [slot](QByteArrayView piece) {
                slot->bytes.append(piece);
                return true;
            };
        }
        for (int i = wanted.value(path); i > 0; --i) {
            std::unique_ptr<PreparedFiles::Writer> file = files->create();
            if (!file)
                return [](QByteArrayView) { return false; };
            slot->files.push_back(std::move(file));
        }
        return [slot, files](QByteArrayView piece) mutable {
            for (const auto &file : slot->files) {
                // The end of a checked entry: the file is synced and named.
                if (piece.isNull() ? !file->complete() : !file->write(piece)) {
                    files->setError(QStringLiteral("cannot write %1: %2")
                                        .arg(file->name(), QString::fromLocal8Bit(strerror(errno))));
                    return false;
                }
            }
            return true;
        };
    };
    const ZipArchiveReader::ReadOutcome outcome =
        ZipArchiveReader::readEntries(archive.source, archive.directory, used, consumerFor);
    if (outcome.error)
        return *outcome.error;
    if (outcome.stopped)
        return files->error().value_or(ModelStoreError(ModelStoreError::Code::saveFailed, QString()));

    ReadArchive read;
    if (files) {
        read.prepared = files->offer();
        if (read.prepared.error())
            return *read.prepared.error();
    }
    for (const auto &[path, slot] : kept) {
        ImageFile file;
        for (const auto &prepared : slot->files)
            file.preparedFiles.append(prepared->name());
        if (slot->files.empty())
            file.bytes = std::move(slot->bytes);
        read.imageFiles.insert(path, std::move(file));
    }
    read.manifest = archive.manifest;
    read.held = held;
    return read;
}

Result<LibraryImportSummary, ModelStoreError> LibraryArchiveImporter::importArchive(ReadArchive archive,
                                                                                   ModelContext &context)
{
    auto merged = merge(archive.manifest, archive.held, context, [&archive](AtlasImage &image, const M::ImageRecord &record) {
        const auto file = record.imagePath ? archive.imageFiles.find(*record.imagePath) : archive.imageFiles.end();
        if (file == archive.imageFiles.end())
            image.setImageData(std::nullopt);
        else if (!file->preparedFiles.isEmpty())
            image.setImageDataFile(file->preparedFiles.takeFirst()); // a file of its own
        else
            image.setImageData(file->bytes);
    });
    WorkerPools::files().start([files = std::move(archive.imageFiles)] {});
    return merged;
}
