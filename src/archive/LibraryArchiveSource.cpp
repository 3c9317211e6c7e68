#include "archive/LibraryArchiveSource.h"

#include "archive/LibraryArchive.h"
#include "model/AnnotationStorage.h"
#include "model/AtlasImage.h"
#include "model/JsonCoding.h"
#include "model/LibraryEntry.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/StoreStatement.h"

#include <QDir>
#include <QMap>
#include <QSet>

#include <sqlite3.h>

#include <algorithm>
#include <limits>
#include <memory>

namespace {

using M = LibraryArchiveManifest;

QList<M::LinkRecord> linkRecords(const std::optional<QList<AnnotationLink>> &links)
{
    QList<M::LinkRecord> records;
    for (const AnnotationLink &link : links.value_or(QList<AnnotationLink>()))
        records.append({link.id, link.label, link.urlString});
    return records;
}

// Records ordered by the text of their identifiers, ties as they came.
template <typename Record>
void sortById(QList<Record> &records)
{
    if (records.size() < 2)
        return;
    QList<std::pair<QString, qsizetype>> keyed;
    keyed.reserve(records.size());
    for (qsizetype i = 0; i < records.size(); ++i)
        keyed.append({uuidText(records[i].id), i});
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    QList<Record> sorted;
    sorted.reserve(records.size());
    for (const auto &[key, i] : std::as_const(keyed))
        sorted.append(std::move(records[i]));
    records = std::move(sorted);
}

// Records of annotations ordered by the text of their identifiers.
template <typename Record, typename Annotation, typename Make>
QList<Record> recordsById(const QList<Annotation *> &annotations, Make make)
{
    QList<Record> records;
    records.reserve(annotations.size());
    for (const Annotation *annotation : annotations)
        records.append(make(*annotation));
    sortById(records);
    return records;
}

// The rows of one annotation table for image after image: for the whole
// library one read in image order, merged as the images go by; for chosen
// images a look-up of each.
class AnnotationRows {
public:
    AnnotationRows(sqlite3 *database, const QString &table, const QString &ownColumns, bool wholeLibrary)
        : m_wholeLibrary(wholeLibrary)
        , m_query(database, QStringLiteral("SELECT imageKey, id, label, \"group\", links, %1 FROM %2 WHERE %3")
                                .arg(ownColumns, table,
                                     wholeLibrary ? QStringLiteral("imageKey IS NOT NULL ORDER BY imageKey, rowKey")
                                                  : QStringLiteral("imageKey = ? ORDER BY rowKey")))
    {
        if (m_wholeLibrary)
            advance();
    }

    // Calls `row` for each row of the image with `key`, in row order. In
    // the whole library's read, keys come in rising order.
    template <typename Visit>
    void collect(qint64 key, Visit row)
    {
        if (!m_wholeLibrary) {
            m_query.reset();
            m_query.bind(1, key);
            while (m_query.next())
                row(m_query.row());
            return;
        }
        while (m_key < key)
            advance();
        while (m_key == key) {
            row(m_query.row());
            advance();
        }
    }

    const StoreStatement &query() const { return m_query; }

private:
    void advance()
    {
        m_key = m_query.next() ? m_query.row().integer(0) : std::numeric_limits<qint64>::max();
    }

    bool m_wholeLibrary;
    StoreStatement m_query;
    qint64 m_key = std::numeric_limits<qint64>::min();
};

// The columns id, label, group and links of an annotation row, from 1.
template <typename Record>
Record annotationRecord(const StoreRow &row)
{
    Record record;
    record.id = row.uuid(1);
    record.label = row.text(2);
    record.group = row.text(3);
    if (!row.isNull(4))
        record.links = linkRecords(AnnotationStorage::linksFromColumn(row.text(4)));
    return record;
}

// Runs `visit` on the rows of `query` for the whole library, or once for
// each of `keys` bound to its one parameter, while it answers true.
template <typename Visit>
void eachRow(StoreStatement &query, bool wholeLibrary, const QList<qint64> &keys, Visit visit)
{
    if (wholeLibrary) {
        while (query.next()) {
            if (!visit(query.row()))
                return;
        }
        return;
    }
    for (const qint64 key : keys) {
        query.reset();
        query.bind(1, key);
        if (query.next() && !visit(query.row()))
            return;
        if (query.failed())
            return;
    }
}

ModelStoreError unreadableStore(const QString &storePath, const QString &detail)
{
    return ModelStoreError(ModelStoreError::Code::damaged,
                           QStringLiteral("The library file “%1” could not be read.").arg(storePath), detail);
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
    const auto [images, series] = chosenObjects(entries, libraryImages);
    return fromLibrary(images, series);
}

std::pair<QList<AtlasImage *>, QList<Series *>>
LibraryArchiveSource::chosenObjects(const QList<LibraryEntry> &entries, const QList<AtlasImage *> &libraryImages)
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
    return {images, series};
}

Result<LibraryArchiveSource, LibraryArchiveSource::ExportError>
LibraryArchiveSource::fromStore(const StoreSelection &selection, qsizetype entryLimit)
{
    const StoreReadConnection connection(selection.storePath);
    if (!connection.handle())
        return unreadableStore(selection.storePath, connection.errorMessage());
    return fromStore(connection.handle(), selection, entryLimit);
}

Result<LibraryArchiveSource, LibraryArchiveSource::ExportError>
LibraryArchiveSource::fromStore(sqlite3 *database, const StoreSelection &selection, qsizetype entryLimit)
{
    // Both passes see the same state of the store, whatever the main
    // context saves meanwhile.
    if (sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK)
        return unreadableStore(selection.storePath, QString::fromUtf8(sqlite3_errmsg(database)));
    struct EndRead {
        sqlite3 *database;
        ~EndRead() { sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr); }
    } endRead{database};

    const bool whole = selection.wholeLibrary;
    const QString order = whole ? QStringLiteral(" ORDER BY i.rowKey") : QStringLiteral(" WHERE i.rowKey = ?");

    // Where each image's bytes are, and how many files they make: decided
    // before any record is read, and as soon as they are too many.
    struct Bytes {
        qint64 key = 0;
        std::optional<StoredImageData> data;
    };
    QList<Bytes> bytes;
    qsizetype files = 0;
    {
        StoreStatement query(database,
                             QStringLiteral("SELECT i.rowKey, i.hasImageData, f.fileName, d.imageKey IS NOT NULL, "
                                            "length(d.bytes) FROM AtlasImage i "
                                            "LEFT JOIN ImageFile f ON f.imageKey = i.rowKey "
                                            "LEFT JOIN ImageData d ON d.imageKey = i.rowKey")
                                 + order);
        const QDir externalFolder(selection.externalFolder);
        eachRow(query, whole, selection.imageKeys, [&](const StoreRow &row) {
            Bytes image{row.integer(0), std::nullopt};
            if (row.integer(1) != 0) {
                const QString fileName = row.text(2);
                const bool emptyRow = fileName.isEmpty() && row.integer(3) != 0 && row.integer(4) == 0;
                if (!emptyRow)
                    ++files; // bytes that can't be found fail the export later all the same
                image.data = fileName.isEmpty() ? StoredImageData::databaseRow(selection.storePath, image.key)
                                                : StoredImageData::file(externalFolder.filePath(fileName));
            }
            bytes.append(std::move(image));
            return files + 1 <= entryLimit; // with the manifest; past it, the rest can't change the outcome
        });
        if (query.failed())
            return unreadableStore(selection.storePath, query.errorMessage());
    }
    if (files + 1 > entryLimit) // with the manifest
        return ZipArchiveError::archiveTooLarge();

    LibraryArchiveSource source;
    source.manifest.images.reserve(bytes.size());
    StoreStatement images(database, QStringLiteral("SELECT i.rowKey, i.id, i.title, i.modalityRaw, i.regionRaw, "
                                                   "i.planeRaw, i.ageKindRaw, i.ageValue, i.sexRaw, i.sortIndex, "
                                                   "i.createdAt, s.id FROM AtlasImage i "
                                                   "LEFT JOIN Series s ON s.rowKey = i.seriesKey")
                                        + order);
    AnnotationRows points(database, QStringLiteral("PointAnnotation"), QStringLiteral("x, y"), whole);
    AnnotationRows regions(database, QStringLiteral("RegionAnnotation"), QStringLiteral("vertices"), whole);
    // The images read are those whose bytes were looked at: the same rows.
    QList<qint64> keys;
    keys.reserve(bytes.size());
    for (const Bytes &image : std::as_const(bytes))
        keys.append(image.key);
    qsizetype next = 0;
    eachRow(images, whole, keys, [&](const StoreRow &row) {
        M::ImageRecord record;
        const qint64 key = row.integer(0);
        record.id = row.uuid(1);
        record.title = row.text(2);
        record.metadata = {row.integer(3), row.integer(4), row.integer(5), row.integer(8),
                           {row.integer(6), row.optionalInteger(7)}};
        record.sortIndex = row.integer(9);
        record.createdAt = Date{row.real(10)};
        if (!row.isNull(11))
            record.seriesID = row.uuid(11);
        points.collect(key, [&](const StoreRow &point) {
            M::PointRecord one = annotationRecord<M::PointRecord>(point);
            one.x = point.real(5);
            one.y = point.real(6);
            record.points.append(std::move(one));
        });
        regions.collect(key, [&](const StoreRow &region) {
            M::RegionRecord one = annotationRecord<M::RegionRecord>(region);
            for (const Vertex &vertex : AnnotationStorage::verticesFromColumn(region.blob(5)))
                one.vertices.append({vertex.x, vertex.y});
            record.regions.append(std::move(one));
        });
        sortById(record.points);
        sortById(record.regions);
        // Both reads go in the same order; an image left out by one is
        // left out by the other.
        while (next < bytes.size() && bytes[next].key != key)
            ++next;
        if (next < bytes.size() && bytes[next].data)
            source.imageBytes.append({source.manifest.images.size(), *bytes[next].data});
        source.manifest.images.append(std::move(record));
        return true;
    });
    for (const StoreStatement *query : {static_cast<const StoreStatement *>(&images), &points.query(), &regions.query()}) {
        if (query->failed())
            return unreadableStore(selection.storePath, query->errorMessage());
    }

    StoreStatement series(database, QStringLiteral("SELECT id, title, createdAt FROM Series s")
                                        + (whole ? QStringLiteral(" ORDER BY s.rowKey")
                                                 : QStringLiteral(" WHERE s.rowKey = ?")));
    eachRow(series, whole, selection.seriesKeys, [&](const StoreRow &row) {
        source.manifest.series.append({row.uuid(0), row.text(1), Date{row.real(2)}});
        return true;
    });
    if (series.failed())
        return unreadableStore(selection.storePath, series.errorMessage());

    source.manifest.formatVersion = LibraryArchiveContents::currentFormatVersion;
    source.manifest.exportedAt = Date::now();
    source.manifest.application = M::Application::current();
    return source;
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
