#include "archive/LibraryArchiveImporter.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/SaveOrRollBack.h"
#include "model/Series.h"
#include "platform/WorkerPools.h"
#include "platform/objectstore/ModelContext.h"

#include <QHash>
#include <QSet>
#include <QThreadPool>

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
// `annotations` holds the annotations until the image is.
std::shared_ptr<AtlasImage> makeImage(const M::ImageRecord &record, const std::optional<QByteArray> &bytes,
                                      std::vector<std::shared_ptr<ModelObject>> &annotations)
{
    auto image = AtlasImage::make();
    image->setId(record.id);
    image->setTitle(record.title);
    image->setCreatedAt(record.createdAt);
    image->setSortIndex(record.sortIndex);
    image->setImageData(bytes);
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
QSet<QUuid> heldImageIds(const LibraryArchiveContents &contents, ModelContext &context)
{
    QSet<QUuid> archived;
    archived.reserve(contents.manifest.images.size());
    for (const M::ImageRecord &record : std::as_const(contents.manifest.images))
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
// manifest order, and the bytes of its file, if any. A record repeated in
// the archive is passed over too: the library can't tell two images of one
// identifier apart.
template<class Add>
void forEachNewImage(const LibraryArchiveContents &contents, QSet<QUuid> known, Add &&add)
{
    for (const M::ImageRecord &record : std::as_const(contents.manifest.images)) {
        if (known.contains(record.id))
            continue;
        known.insert(record.id);
        std::optional<QByteArray> bytes;
        if (record.imagePath) {
            const auto file = contents.imageFiles.constFind(*record.imagePath);
            if (file != contents.imageFiles.constEnd())
                bytes = *file;
        }
        add(record, bytes);
    }
}

} // namespace

QList<QByteArray> LibraryArchiveImporter::newImageBytes(const LibraryArchiveContents &contents, ModelContext &context)
{
    QList<QByteArray> bytes;
    forEachNewImage(contents, heldImageIds(contents, context), [&](const M::ImageRecord &, const std::optional<QByteArray> &data) {
        if (data)
            bytes.append(*data);
    });
    return bytes;
}

Result<LibraryImportSummary, ModelStoreError> LibraryArchiveImporter::importContents(LibraryArchiveContents contents,
                                                                                    ModelContext &context)
{
    QHash<QUuid, Series *> seriesById;
    for (Series *series : context.fetch<Series>())
        seriesById.insert(series->id(), series);
    const QSet<QUuid> imageIds = heldImageIds(contents, context);

    LibraryImportSummary summary;
    for (const M::SeriesRecord &record : std::as_const(contents.manifest.series)) {
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
    forEachNewImage(contents, imageIds, [&](const M::ImageRecord &record, const std::optional<QByteArray> &bytes) {
        std::vector<std::shared_ptr<ModelObject>> annotations;
        const std::shared_ptr<AtlasImage> image = makeImage(record, bytes, annotations);
        if (record.seriesID)
            image->setSeries(seriesById.value(*record.seriesID)); // joins the context with its series
        context.insert(image);
        added.append(image.get());
    });
    summary.addedImages = added.size();
    summary.skippedImages = contents.manifest.images.size() - added.size();

    const std::optional<ModelStoreError> error = saveOrRollBack(context);
    if (error) {
        // The context keeps objects it let go; without their bytes they no
        // longer hold on to the archive.
        for (AtlasImage *image : std::as_const(added))
            image->setImageData(std::nullopt);
    }
    // The archive's bytes are let go on a worker thread: freeing a
    // gigabyte takes tens of milliseconds.
    WorkerPools::files().start([files = std::move(contents.imageFiles)] {});
    if (error)
        return *error;
    return summary;
}
