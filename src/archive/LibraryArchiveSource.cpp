#include "archive/LibraryArchiveSource.h"

#include "archive/LibraryArchive.h"
#include "model/AtlasImage.h"
#include "model/JsonCoding.h"
#include "model/LibraryEntry.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"

#include <QMap>
#include <QSet>

#include <algorithm>

namespace {

using M = LibraryArchiveManifest;

QList<M::LinkRecord> linkRecords(const std::optional<QList<AnnotationLink>> &links)
{
    QList<M::LinkRecord> records;
    for (const AnnotationLink &link : links.value_or(QList<AnnotationLink>()))
        records.append({link.id, link.label, link.urlString});
    return records;
}

// Records of annotations ordered by the text of their identifiers.
template <typename Record, typename Annotation, typename Make>
QList<Record> recordsById(const QList<Annotation *> &annotations, Make make)
{
    QList<std::pair<QString, Annotation *>> keyed;
    keyed.reserve(annotations.size());
    for (Annotation *annotation : annotations)
        keyed.append({uuidText(annotation->id()), annotation});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Record> records;
    records.reserve(keyed.size());
    for (const auto &[key, annotation] : keyed)
        records.append(make(*annotation));
    return records;
}

} // namespace

M::PointRecord M::PointRecord::fromPoint(const PointAnnotation &point)
{
    return {point.id(), point.label(), point.group(), point.x(), point.y(), linkRecords(point.links())};
}

M::RegionRecord M::RegionRecord::fromRegion(const RegionAnnotation &region)
{
    QList<VertexRecord> vertices;
    for (const Vertex &vertex : region.vertices())
        vertices.append({vertex.x, vertex.y});
    return {region.id(), region.label(), region.group(), vertices, linkRecords(region.links())};
}

M::ImageRecord M::ImageRecord::fromImage(const AtlasImage &image, const std::optional<QString> &imagePath)
{
    ImageRecord record;
    record.id = image.id();
    record.title = image.title();
    const AgeSpec age = image.age();
    record.metadata = {image.modalityRaw(), image.regionRaw(), image.planeRaw(), image.sexRaw(), {age.kindRaw, age.value}};
    record.createdAt = image.createdAt();
    record.sortIndex = image.sortIndex();
    if (const Series *series = image.series())
        record.seriesID = series->id();
    record.imagePath = imagePath;
    record.points = recordsById<PointRecord>(image.points(), PointRecord::fromPoint);
    record.regions = recordsById<RegionRecord>(image.regions(), RegionRecord::fromRegion);
    return record;
}

LibraryArchiveSource LibraryArchiveSource::fromLibrary(const QList<AtlasImage *> &images, const QList<Series *> &series)
{
    LibraryArchiveSource source;
    const QList<std::optional<StoredImageData>> stored = AtlasImage::storedImageData(images);
    source.manifest.images.reserve(images.size());
    for (qsizetype i = 0; i < images.size(); ++i) {
        if (stored[i])
            source.imageBytes.append({i, *stored[i]});
        source.manifest.images.append(M::ImageRecord::fromImage(*images[i], std::nullopt));
    }
    for (const Series *one : series)
        source.manifest.series.append({one->id(), one->title(), one->createdAt()});
    source.manifest.formatVersion = LibraryArchiveContents::currentFormatVersion;
    source.manifest.exportedAt = Date::now();
    source.manifest.application = M::Application::current();
    return source;
}

LibraryArchiveSource LibraryArchiveSource::fromEntries(const QList<LibraryEntry> &entries,
                                                       const QList<AtlasImage *> &libraryImages)
{
    QList<AtlasImage *> images;
    QList<Series *> series;
    QSet<QUuid> imageIds;
    QSet<QUuid> seriesIds;
    const auto takeImage = [&](AtlasImage *image) {
        if (!imageIds.contains(image->id())) {
            imageIds.insert(image->id());
            images.append(image);
        }
    };
    const auto takeSeries = [&](Series *one) {
        if (!seriesIds.contains(one->id())) {
            seriesIds.insert(one->id());
            series.append(one);
        }
    };
    for (const LibraryEntry &entry : entries) {
        if (AtlasImage *image = entry.imageValue()) {
            takeImage(image);
            if (Series *own = image->series())
                takeSeries(own);
            continue;
        }
        Series *chosen = entry.seriesGroup()->series;
        takeSeries(chosen);
        QList<AtlasImage *> members;
        for (AtlasImage *image : libraryImages) {
            if (image->series() && image->series()->id() == chosen->id())
                members.append(image);
        }
        std::stable_sort(members.begin(), members.end(),
                         [](const AtlasImage *a, const AtlasImage *b) { return a->sortIndex() < b->sortIndex(); });
        for (AtlasImage *image : std::as_const(members))
            takeImage(image);
    }
    return fromLibrary(images, series);
}

QString LibraryArchiveSource::imageTitle(qsizetype record) const
{
    const QString title = manifest.images[record].title;
    return title.isEmpty() ? QStringLiteral("Untitled") : title;
}

Result<LibraryArchiveSource::Plan, LibraryArchiveSource::ExportError>
LibraryArchiveSource::plan(StoredImageDataReader &reader) const
{
    Plan plan;
    plan.manifest = manifest;

    // The lengths first: an archive that can't fit the format even with
    // the shortest file names is refused before any image byte is read.
    QList<Plan::File> files;
    QList<ZipArchiveStreamWriter::Entry> shortest;
    for (const ImageBytes &image : imageBytes) {
        const std::optional<qint64> size = reader.size(image.bytes);
        if (!size)
            return LibraryArchiveError::unreadableImageData(imageTitle(image.record));
        if (*size == 0)
            continue; // empty bytes get no file
        files.append({QString(), *size, image.bytes, image.record});
        shortest.append({LibraryArchive::imagePath(manifest.images[image.record].id, QStringLiteral("dat")), *size});
    }
    if (const auto fits = ZipArchiveStreamWriter::plan(shortest); !fits)
        return fits.error();

    // Then each file's name, from the signature of its bytes.
    QMap<QString, qsizetype> byPath;
    for (qsizetype i = 0; i < files.size(); ++i) {
        Plan::File &file = files[i];
        const std::optional<QByteArray> head = reader.read(file.bytes, LibraryArchive::signatureLength);
        if (!head || head->isEmpty())
            return LibraryArchiveError::unreadableImageData(imageTitle(file.record));
        M::ImageRecord &record = plan.manifest.images[file.record];
        file.path = LibraryArchive::imagePath(record.id, LibraryArchive::fileExtension(*head));
        record.imagePath = file.path;
        byPath.insert(file.path, i); // one file for records that name the same path
    }
    for (const qsizetype i : std::as_const(byPath))
        plan.files.append(files[i]);
    std::sort(plan.files.begin(), plan.files.end(),
              [](const Plan::File &a, const Plan::File &b) { return LibraryArchive::pathPrecedes(a.path, b.path); });

    const auto json = plan.manifest.encoded();
    if (!json)
        return json.error();
    plan.manifestJson = json.value();
    QList<ZipArchiveStreamWriter::Entry> entries{{LibraryArchiveContents::manifestPath, plan.manifestJson.size()}};
    for (const Plan::File &file : std::as_const(plan.files))
        entries.append({file.path, file.size});
    auto writer = ZipArchiveStreamWriter::plan(entries);
    if (!writer)
        return writer.error();
    plan.writer = std::move(writer).value();
    return plan;
}

Result<LibraryArchiveContents, LibraryArchiveSource::ExportError> LibraryArchiveSource::contents() const
{
    StoredImageDataReader reader;
    auto planned = plan(reader);
    if (!planned)
        return planned.error();
    LibraryArchiveContents contents;
    contents.manifest = planned.value().manifest;
    for (const Plan::File &file : std::as_const(planned.value().files)) {
        const std::optional<QByteArray> bytes = reader.read(file.bytes);
        if (!bytes || bytes->size() != file.size)
            return LibraryArchiveError::unreadableImageData(imageTitle(file.record));
        contents.imageFiles.insert(file.path, *bytes);
    }
    return contents;
}

QString defaultArchiveFilename(const QList<LibraryEntry> &entries)
{
    const QString fallback = QStringLiteral("Veloran Library");
    if (entries.isEmpty())
        return fallback;
    if (entries.size() > 1)
        return QStringLiteral("Veloran Selection");
    QString name = entries.first().title();
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    name = name.trimmed();
    return name.isEmpty() ? fallback : name;
}
