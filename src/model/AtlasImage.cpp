#include "model/AtlasImage.h"

#include "model/PointAnnotation.h"
#include "model/MetadataEnum.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelContext.h"
#include "platform/objectstore/Schema.h"
#include "platform/objectstore/StoreValues.h"
#include "platform/objectstore/StoreWrites.h"

#include "platform/objectstore/StoreStatement.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cmath>
#include <limits>

class AtlasImageEntity final : public EntityType {
public:
    QString name() const override { return QStringLiteral("AtlasImage"); }

    QList<PropertyDescription> properties() const override
    {
        using P = PropertyDescription;
        const auto attribute = [](const char *name, int options = P::noOptions) {
            return P::attribute(QString::fromLatin1(name), options);
        };
        return {attribute("id"),
                attribute("title", P::allowsCloudEncryption),
                attribute("modalityRaw", P::allowsCloudEncryption),
                attribute("regionRaw", P::allowsCloudEncryption),
                attribute("planeRaw", P::allowsCloudEncryption),
                attribute("age", P::allowsCloudEncryption),
                attribute("sexRaw", P::allowsCloudEncryption),
                attribute("imageData", P::externalStorage),
                attribute("sortIndex"),
                attribute("createdAt"),
                P::toOne(QStringLiteral("series"), QStringLiteral("images")),
                P::toManyCascade(QStringLiteral("points"), QStringLiteral("image")),
                P::toManyCascade(QStringLiteral("regions"), QStringLiteral("image"))};
    }

    QList<const RelationshipDescription *> toManyRelationships() const override
    {
        return {&AtlasImage::pointsRelationship(), &AtlasImage::regionsRelationship()};
    }

    const RelationshipDescription *toOneRelationship() const override { return &Series::imagesRelationship(); }

    QStringList createStatements() const override
    {
        // createdAt has no declared type so SQLite keeps it bit for bit.
        return {QStringLiteral("CREATE TABLE AtlasImage (rowKey INTEGER PRIMARY KEY, seriesKey INTEGER, id BLOB, "
                               "title TEXT, modalityRaw INTEGER, regionRaw INTEGER, planeRaw INTEGER, "
                               "ageKindRaw INTEGER, ageValue INTEGER, sexRaw INTEGER, hasImageData INTEGER, "
                               "sortIndex INTEGER, createdAt)"),
                QStringLiteral("CREATE INDEX AtlasImage_seriesKey ON AtlasImage (seriesKey)"),
                // The image bytes, one row per image that has bytes (also
                // empty ones), written in the same transaction as the image:
                // small ones here, large ones in a file named in ImageFile.
                QStringLiteral("CREATE TABLE ImageData (imageKey INTEGER PRIMARY KEY, bytes BLOB)"),
                imageFileTable()};
    }

    // Stores made before large bytes went to files have no ImageFile
    // table; their bytes stay in ImageData and read from there.
    QStringList upgradeStatements() const override { return {imageFileTable()}; }

    QString externalFilesQuery() const override { return QStringLiteral("SELECT fileName FROM ImageFile"); }

    QStringList columns() const override
    {
        return {QStringLiteral("id"),         QStringLiteral("title"),      QStringLiteral("modalityRaw"),
                QStringLiteral("regionRaw"),  QStringLiteral("planeRaw"),   QStringLiteral("ageKindRaw"),
                QStringLiteral("ageValue"),   QStringLiteral("sexRaw"),     QStringLiteral("hasImageData"),
                QStringLiteral("sortIndex"),  QStringLiteral("createdAt")};
    }

    std::shared_ptr<ModelObject> materialize(const StoreRow &row, int first) const override
    {
        auto image = std::make_shared<AtlasImage>(AtlasImage::Passkey());
        AtlasImage::Data &m = image->m;
        m.id = row.uuid(first);
        m.title = row.text(first + 1);
        m.modalityRaw = row.integer(first + 2);
        m.regionRaw = row.integer(first + 3);
        m.planeRaw = row.integer(first + 4);
        m.age = AgeSpec{row.integer(first + 5), row.optionalInteger(first + 6)};
        m.sexRaw = row.integer(first + 7);
        m.hasImageData = row.integer(first + 8) != 0;
        m.imageDataInMemory = false;
        m.sortIndex = row.integer(first + 9);
        m.createdAt = Date{row.real(first + 10)};
        return image;
    }

    void bindColumns(QVariantList &values, const ModelObject &object) const override
    {
        const AtlasImage::Data &m = static_cast<const AtlasImage &>(object).m;
        values << StoreValues::fromUuid(m.id);
        values << m.title;
        values << m.modalityRaw;
        values << m.regionRaw;
        values << m.planeRaw;
        values << m.age.kindRaw;
        values << StoreValues::fromOptional(m.age.value);
        values << m.sexRaw;
        values << (m.hasImageData ? 1 : 0);
        values << m.sortIndex;
        values << m.createdAt.secondsSinceReferenceDate;
    }

    void stageExternal(ModelObject &object, bool isNew, ExternalStorage &storage) const override
    {
        auto &image = static_cast<AtlasImage &>(object);
        if (!isNew && !(image.changedFlags() & AtlasImage::imageDataChanged))
            return;
        if (!image.m.imageDataFile.isEmpty())
            storage.adopt(&image, image.m.imageDataFile);
        else if (image.m.imageData && storage.keepsInFile(*image.m.imageData))
            storage.stage(&image, *image.m.imageData);
    }

    void writeExternal(ModelObject &object, bool isNew, StoreWrites &writes) const override
    {
        auto &image = static_cast<AtlasImage &>(object);
        if (!isNew && !(image.changedFlags() & AtlasImage::imageDataChanged))
            return;
        // The bytes it replaces go, a file only once the save has committed.
        if (!isNew)
            deleteExternal(*image.modelContext(), writes, {object.storeKey()});
        if (!image.m.imageData && image.m.imageDataFile.isEmpty())
            return;
        ModelContext *context = image.modelContext();
        const QString fileName = context->externalStorage().stagedName(&image);
        if (!fileName.isEmpty()) {
            writes.run(imageBytes(), QStringLiteral("INSERT OR REPLACE INTO ImageFile (imageKey, fileName) VALUES (?, ?)"),
                       {image.storeKey(), fileName});
            return;
        }
        // Empty bytes are stored as an empty blob, not as NULL.
        writes.run(imageBytes(), QStringLiteral("INSERT OR REPLACE INTO ImageData (imageKey, bytes) VALUES (?, ?)"),
                   {image.storeKey(), image.m.imageData->isNull() ? QByteArray("", 0) : *image.m.imageData});
    }

    void saved(ModelObject &object, bool isNew) const override
    {
        auto &image = static_cast<AtlasImage &>(object);
        if (isNew || (image.changedFlags() & AtlasImage::imageDataChanged)) {
            image.m.imageData.reset();
            image.m.imageDataFile.clear();
            image.m.imageDataInMemory = !image.m.hasImageData;
        }
    }

    void deleteExternal(ModelContext &context, StoreWrites &writes, const QList<qint64> &keys) const override
    {
        const QString in = ModelContext::keyList(keys);
        QSqlQuery files = context.singleQuery();
        if (!files.exec(QStringLiteral("SELECT fileName FROM ImageFile WHERE imageKey IN (%1)").arg(in)))
            context.throwSaveError(imageBytes(), files);
        bool any = false;
        while (files.next()) {
            context.externalStorage().removeAfterCommit(files.value(0).toString());
            any = true;
        }
        files.finish();
        if (any)
            writes.run(imageBytes(), QStringLiteral("DELETE FROM ImageFile WHERE imageKey IN (%1)").arg(in));
        writes.run(imageBytes(), QStringLiteral("DELETE FROM ImageData WHERE imageKey IN (%1)").arg(in));
    }

private:
    static QString imageFileTable()
    {
        return QStringLiteral("CREATE TABLE IF NOT EXISTS ImageFile (imageKey INTEGER PRIMARY KEY, fileName TEXT NOT NULL)");
    }

    static QString imageBytes() { return QStringLiteral("image bytes"); }
};

namespace {

// A Raw column as a copy stores it: the raw value of the case it reads as,
// `unknown`'s for a value outside the cases.
template<MetadataEnum E>
QString copiedRawValue(const QString &column)
{
    QStringList cases;
    for (const E value : allCases<E>())
        cases << QString::number(rawValue(value));
    return QStringLiteral("CASE WHEN a.%1 IN (%2) THEN a.%1 ELSE %3 END")
        .arg(column, cases.join(QLatin1Char(',')))
        .arg(rawValue(E::unknown));
}

} // namespace

void AtlasImage::copyStoredImages(ModelContext &context, StoreWrites &writes, const QList<const AtlasImage *> &sources,
                                  qint64 seriesKey)
{
    constexpr qsizetype imagesPerStatement = 500;
    const qint64 firstKey = context.reserveKeys(entity(), sources.size());
    const QString seriesColumn = QString::fromLatin1(Series::imagesRelationship().foreignKeyColumn);
    QStringList imageValues;
    for (const QString &column : entity().columns()) {
        if (column == QLatin1String("id"))
            imageValues << QStringLiteral("newIdentifier()");
        else if (column == QLatin1String("createdAt"))
            imageValues << QStringLiteral("copies.createdAt");
        else if (column == QLatin1String("modalityRaw"))
            imageValues << copiedRawValue<Modality>(column);
        else if (column == QLatin1String("regionRaw"))
            imageValues << copiedRawValue<Region>(column);
        else if (column == QLatin1String("planeRaw"))
            imageValues << copiedRawValue<Plane>(column);
        else if (column == QLatin1String("sexRaw"))
            imageValues << copiedRawValue<Sex>(column);
        else
            imageValues << QStringLiteral("a.") + column;
    }
    // Each copy is made at the current time, as the image's own copy would
    // be, one after another: each later than the one before, so that copies
    // of equal sort index keep the order of their images.
    Date createdAt{-std::numeric_limits<double>::infinity()};
    for (qsizetype first = 0; first < sources.size(); first += imagesPerStatement) {
        QStringList rows;
        QList<qint64> sourceKeys;
        const qsizetype end = std::min(sources.size(), first + imagesPerStatement);
        for (qsizetype i = first; i < end; ++i) {
            createdAt = Date::nowAfter(createdAt);
            rows << QStringLiteral("(%1, %2, %3)")
                        .arg(sources.at(i)->storeKey())
                        .arg(firstKey + i)
                        .arg(createdAt.secondsSinceReferenceDate, 0, 'g', 17);
            sourceKeys << sources.at(i)->storeKey();
        }
        const QString copies =
            QStringLiteral("WITH copies(source, copy, createdAt) AS (VALUES %1) ").arg(rows.join(QLatin1Char(',')));
        writes.run(QStringLiteral("copying images"),
                   copies
                       + QStringLiteral("INSERT INTO AtlasImage (rowKey, %1, %2) SELECT copies.copy, %3, %4 "
                                        "FROM AtlasImage a JOIN copies ON a.rowKey = copies.source")
                             .arg(seriesColumn, entity().columns().join(QStringLiteral(", ")))
                             .arg(seriesKey)
                             .arg(imageValues.join(QStringLiteral(", "))));
        writes.run(QStringLiteral("image bytes"),
                   copies + QStringLiteral("INSERT INTO ImageData (imageKey, bytes) SELECT copies.copy, d.bytes "
                                           "FROM ImageData d JOIN copies ON d.imageKey = copies.source"));
        // Bytes kept in files get files of their own: deleting either image
        // removes only its file.
        QSqlQuery files = context.singleQuery();
        if (!files.exec(QStringLiteral("SELECT imageKey, fileName FROM ImageFile WHERE imageKey IN (%1)")
                            .arg(ModelContext::keyList(sourceKeys))))
            context.throwSaveError(QStringLiteral("image bytes"), files);
        QStringList fileRows;
        QList<ExternalFileCopy> fileCopies;
        while (files.next()) {
            const qint64 copy = firstKey + first + sourceKeys.indexOf(files.value(0).toLongLong());
            const QString name = ExternalStorage::newFileName();
            fileCopies.append({files.value(1).toString(), name});
            fileRows << QStringLiteral("(%1, '%2')").arg(copy).arg(name);
        }
        files.finish();
        writes.copyExternalFiles(fileCopies);
        if (!fileRows.isEmpty())
            writes.run(QStringLiteral("image bytes"), QStringLiteral("INSERT INTO ImageFile (imageKey, fileName) VALUES %1")
                                                           .arg(fileRows.join(QLatin1Char(','))));
    }

    QList<std::pair<qint64, qint64>> sourceAndCopy;
    for (qsizetype i = 0; i < sources.size(); ++i)
        sourceAndCopy.append({sources.at(i)->storeKey(), firstKey + i});
    for (const RelationshipDescription *relationship : {&pointsRelationship(), &regionsRelationship()}) {
        const EntityType &type = *relationship->childEntity();
        const QString imageKey = QString::fromLatin1(relationship->foreignKeyColumn);
        QStringList values;
        for (const QString &column : type.columns()) {
            if (column == QLatin1String("id"))
                values << QStringLiteral("newIdentifier()");
            else if (column == QLatin1String("links"))
                values << QStringLiteral("COALESCE(a.links, '[]')");
            else
                values << QStringLiteral("a.") + column;
        }
        for (qsizetype first = 0; first < sourceAndCopy.size(); first += imagesPerStatement) {
            QStringList pairs;
            for (const auto &[source, copy] : sourceAndCopy.mid(first, imagesPerStatement))
                pairs << QStringLiteral("(%1, %2)").arg(source).arg(copy);
            // Keys follow on from the context's and the table's last.
            writes.run(QStringLiteral("copying %1").arg(type.name()),
                       QStringLiteral("WITH copies(source, copy) AS (VALUES %1), "
                                      "base(key) AS (SELECT MAX(%2, COALESCE((SELECT MAX(rowKey) FROM %3), 0) + 1)) "
                                      "INSERT INTO %3 (rowKey, %4, %5) "
                                      "SELECT base.key - 1 + ROW_NUMBER() OVER (ORDER BY copies.copy, a.rowKey), copies.copy, %6 "
                                      "FROM %3 a JOIN copies ON a.%4 = copies.source, base")
                           .arg(pairs.join(QLatin1Char(',')))
                           .arg(context.nextKey(type))
                           .arg(type.name(), imageKey, type.columns().join(QStringLiteral(", ")),
                                values.join(QStringLiteral(", "))));
        }
    }
}

AtlasImage::AtlasImage(Passkey)
{
}

AtlasImage::~AtlasImage()
{
    unlinkRelationships();
}

std::shared_ptr<AtlasImage> AtlasImage::make(const QString &title, Modality modality, Region region, Plane plane,
                                             const AgeSpec &age, Sex sex, const std::optional<QByteArray> &imageData,
                                             qint64 sortIndex, Series *series)
{
    auto image = std::make_shared<AtlasImage>(Passkey());
    Data &m = image->m;
    m.id = QUuid::createUuid();
    m.title = title;
    m.modalityRaw = rawValue(modality);
    m.regionRaw = rawValue(region);
    m.planeRaw = rawValue(plane);
    m.age = age;
    m.sexRaw = rawValue(sex);
    m.imageData = imageData;
    m.hasImageData = imageData.has_value();
    m.sortIndex = sortIndex;
    m.createdAt = Date::now();
    if (series)
        image->setSeries(series);
    return image;
}

const EntityType &AtlasImage::entity()
{
    static const AtlasImageEntity type;
    return type;
}

const EntityType &AtlasImage::entityType() const
{
    return entity();
}

const RelationshipDescription &AtlasImage::pointsRelationship()
{
    static const RelationshipDescription relationship{
        []() -> const EntityType * { return &AtlasImage::entity(); },
        "points",
        []() -> const EntityType * { return &PointAnnotation::entity(); },
        "image",
        "imageKey",
        true,
        [](ModelObject *parent) -> RelationList & { return static_cast<AtlasImage *>(parent)->m_points; },
        [](const ModelObject *child) -> ModelObject * { return static_cast<const PointAnnotation *>(child)->m.image; },
        [](ModelObject *child, ModelObject *parent) {
            static_cast<PointAnnotation *>(child)->m.image = static_cast<AtlasImage *>(parent);
        },
    };
    return relationship;
}

const RelationshipDescription &AtlasImage::regionsRelationship()
{
    static const RelationshipDescription relationship{
        []() -> const EntityType * { return &AtlasImage::entity(); },
        "regions",
        []() -> const EntityType * { return &RegionAnnotation::entity(); },
        "image",
        "imageKey",
        true,
        [](ModelObject *parent) -> RelationList & { return static_cast<AtlasImage *>(parent)->m_regions; },
        [](const ModelObject *child) -> ModelObject * { return static_cast<const RegionAnnotation *>(child)->m.image; },
        [](ModelObject *child, ModelObject *parent) {
            static_cast<RegionAnnotation *>(child)->m.image = static_cast<AtlasImage *>(parent);
        },
    };
    return relationship;
}

void AtlasImage::setId(const QUuid &id) { write(&Data::id, id, "id"); }
void AtlasImage::setTitle(const QString &title) { write(&Data::title, title, "title"); }
void AtlasImage::setModalityRaw(qint64 raw) { write(&Data::modalityRaw, raw, "modalityRaw"); }
void AtlasImage::setRegionRaw(qint64 raw) { write(&Data::regionRaw, raw, "regionRaw"); }
void AtlasImage::setPlaneRaw(qint64 raw) { write(&Data::planeRaw, raw, "planeRaw"); }
void AtlasImage::setAge(const AgeSpec &age) { write(&Data::age, age, "age"); }
void AtlasImage::setSexRaw(qint64 raw) { write(&Data::sexRaw, raw, "sexRaw"); }
void AtlasImage::setSortIndex(qint64 sortIndex) { write(&Data::sortIndex, sortIndex, "sortIndex"); }

void AtlasImage::setCreatedAt(Date createdAt)
{
    // NaN cannot be stored; it would read back as no date at all.
    if (std::isnan(createdAt.secondsSinceReferenceDate))
        createdAt = Date{0};
    write(&Data::createdAt, createdAt, "createdAt");
}

std::optional<QByteArray> AtlasImage::imageData() const
{
    if (m.imageDataInMemory)
        return m.imageData;
    // Read afresh each time: the object keeps no bytes that are stored.
    return readStoredImageData();
}

std::optional<QByteArray> AtlasImage::readStoredImageData() const
{
    ModelContext *context = modelContext();
    if (!m.hasImageData || !context)
        return std::nullopt;
    if (!m.imageDataFile.isEmpty())
        return context->externalStorage().read(m.imageDataFile);
    QSqlQuery &file = context->preparedQuery(QStringLiteral("SELECT fileName FROM ImageFile WHERE imageKey = ?"));
    file.addBindValue(storeKey());
    if (file.exec() && file.next()) {
        const QString name = file.value(0).toString();
        file.finish();
        std::optional<QByteArray> bytes = context->externalStorage().read(name);
        if (!bytes)
            qWarning("Store: cannot read the image file %s", qPrintable(name));
        return bytes;
    }
    file.finish();
    QSqlQuery &query = context->preparedQuery(QStringLiteral("SELECT bytes FROM ImageData WHERE imageKey = ?"));
    query.addBindValue(storeKey());
    std::optional<QByteArray> bytes;
    if (!query.exec())
        qWarning("Store: cannot read image bytes: %s", qPrintable(query.lastError().text()));
    else if (query.next())
        bytes = query.value(0).isNull() ? QByteArray("", 0) : query.value(0).toByteArray();
    query.finish();
    return bytes;
}

QList<std::optional<StoredImageData>> AtlasImage::storedImageData(const QList<AtlasImage *> &images)
{
    QList<std::optional<StoredImageData>> result;
    result.reserve(images.size());
    // A few images look up their own file names; more read all names at once.
    constexpr qsizetype fewImages = 16;
    QHash<ModelContext *, QHash<qint64, QString>> fileNames; // by context, then row key
    for (const AtlasImage *image : images) {
        const Data &m = image->m;
        ModelContext *context = image->modelContext();
        if (m.imageDataInMemory || !context) {
            result.append(m.imageData ? std::optional(StoredImageData::inMemory(*m.imageData)) : std::nullopt);
            continue;
        }
        if (!m.hasImageData) {
            result.append(std::nullopt);
            continue;
        }
        if (!m.imageDataFile.isEmpty()) {
            result.append(StoredImageData::file(context->externalStorage().folder() + QLatin1Char('/') + m.imageDataFile));
            continue;
        }
        QString name;
        if (images.size() <= fewImages) {
            QSqlQuery &query = context->preparedQuery(QStringLiteral("SELECT fileName FROM ImageFile WHERE imageKey = ?"));
            query.addBindValue(image->storeKey());
            if (query.exec() && query.next())
                name = query.value(0).toString();
            query.finish();
        } else {
            auto names = fileNames.find(context);
            if (names == fileNames.end()) {
                names = fileNames.insert(context, {});
                QSqlQuery &query = context->preparedQuery(QStringLiteral("SELECT imageKey, fileName FROM ImageFile"));
                if (query.exec()) {
                    while (query.next())
                        names->insert(query.value(0).toLongLong(), query.value(1).toString());
                }
                query.finish();
            }
            name = names->value(image->storeKey());
        }
        if (!name.isEmpty())
            result.append(StoredImageData::file(context->externalStorage().folder() + QLatin1Char('/') + name));
        else if (!context->storePath().isEmpty())
            result.append(StoredImageData::databaseRow(context->storePath(), image->storeKey()));
        else if (const std::optional<QByteArray> bytes = image->readStoredImageData())
            result.append(StoredImageData::inMemory(*bytes));
        else
            result.append(StoredImageData::unreadable());
    }
    return result;
}

void AtlasImage::setImageData(const std::optional<QByteArray> &imageData)
{
    willChange();
    m.imageData = imageData;
    m.hasImageData = imageData.has_value();
    m.imageDataInMemory = true;
    m.imageDataFile.clear();
    didChange("imageData", imageDataChanged);
}

void AtlasImage::setImageDataFile(const QString &name)
{
    willChange();
    m.imageData.reset();
    m.hasImageData = true;
    m.imageDataInMemory = false;
    m.imageDataFile = name;
    didChange("imageData", imageDataChanged);
}

void AtlasImage::setSeries(Series *series)
{
    setParent(Series::imagesRelationship(), series);
}

QList<PointAnnotation *> AtlasImage::points() const
{
    return modelCast<PointAnnotation>(children(pointsRelationship()));
}

void AtlasImage::setPoints(const QList<PointAnnotation *> &points)
{
    setChildren(pointsRelationship(), QList<ModelObject *>(points.begin(), points.end()));
}

QList<RegionAnnotation *> AtlasImage::regions() const
{
    return modelCast<RegionAnnotation>(children(regionsRelationship()));
}

void AtlasImage::setRegions(const QList<RegionAnnotation *> &regions)
{
    setChildren(regionsRelationship(), QList<ModelObject *>(regions.begin(), regions.end()));
}

Modality AtlasImage::modality() const { return caseFromRaw<Modality>(m.modalityRaw); }
Region AtlasImage::region() const { return caseFromRaw<Region>(m.regionRaw); }
Plane AtlasImage::plane() const { return caseFromRaw<Plane>(m.planeRaw); }
Sex AtlasImage::sex() const { return caseFromRaw<Sex>(m.sexRaw); }

std::optional<QByteArray> AtlasImage::nonEmptyImageData() const
{
    std::optional<QByteArray> bytes = imageData();
    if (bytes && bytes->isEmpty())
        return std::nullopt;
    return bytes;
}

bool AtlasImage::isImageDataMissing() const
{
    return m.imageDataInMemory ? !m.imageData.has_value() : !m.hasImageData;
}
