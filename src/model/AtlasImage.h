#pragma once

#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"
#include "model/StoredImageData.h"
#include "platform/Date.h"
#include "platform/objectstore/StoredModel.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class PointAnnotation;
class RegionAnnotation;
class Series;
class StoreWrites;
struct RelationshipDescription;

// The stored values of an AtlasImage.
struct AtlasImageValues {
    QUuid id;
    QString title;
    qint64 modalityRaw = 3;
    qint64 regionRaw = 1;
    qint64 planeRaw = 1;
    AgeSpec age;
    qint64 sexRaw = 1;
    qint64 sortIndex = 0;
    Date createdAt;
    Series *series = nullptr;
    // The bytes while they are only in memory: set and not saved yet (or
    // never stored). Bytes in the store are read from it on each use.
    std::optional<QByteArray> imageData;
    bool hasImageData = false;    // what the store holds, known without reading it
    bool imageDataInMemory = true;
    // The bytes in a file of the store's folder written ahead of the save
    // (PreparedFiles), not saved yet; empty otherwise.
    QString imageDataFile;
};

// One image of the library: its metadata, its bytes and its annotations.
// An image without a series is a standalone entry of the library.
//
// Persistent model: made with make(), owned by the model context once
// inserted, compared by identity (pointer). The image bytes are kept apart
// from the row. Bytes that are set stay in memory until a save has stored
// them; stored bytes are read from the store on each access and never kept
// on the object, so looking at many images holds none of their bytes.
class AtlasImage final : public StoredModel<AtlasImageValues> {
    class Passkey {
        friend class AtlasImage;
        friend class AtlasImageEntity;
        Passkey() = default;
    };

public:
    // Flags of changedFlags().
    enum : quint32 { imageDataChanged = 1 };

    // The designated initialiser; not inserted into any context.
    static std::shared_ptr<AtlasImage> make(const QString &title = {}, Modality modality = Modality::mr,
                                            Region region = Region::head, Plane plane = Plane::unspecified,
                                            const AgeSpec &age = {}, Sex sex = Sex::unspecified,
                                            const std::optional<QByteArray> &imageData = std::nullopt,
                                            qint64 sortIndex = 0, Series *series = nullptr);

    explicit AtlasImage(Passkey); // an empty object for make() and the store
    ~AtlasImage() override;

    static const EntityType &entity();
    const EntityType &entityType() const override;

    QUuid id() const { return m.id; }
    void setId(const QUuid &id);
    QString title() const { return m.title; }
    void setTitle(const QString &title);
    qint64 modalityRaw() const { return m.modalityRaw; }
    void setModalityRaw(qint64 raw);
    qint64 regionRaw() const { return m.regionRaw; }
    void setRegionRaw(qint64 raw);
    qint64 planeRaw() const { return m.planeRaw; }
    void setPlaneRaw(qint64 raw);
    AgeSpec age() const { return m.age; }
    void setAge(const AgeSpec &age);
    qint64 sexRaw() const { return m.sexRaw; }
    void setSexRaw(qint64 raw);
    // Absent and empty bytes are distinct. Stored bytes are read on each
    // call (on the main thread; see storedImageData() for other threads).
    std::optional<QByteArray> imageData() const;
    void setImageData(const std::optional<QByteArray> &imageData);
    // Bytes too large to hold in memory, already written to the file
    // `name` of the store's folder (PreparedFiles) for the next save to take
    // over; read from there until it does.
    void setImageDataFile(const QString &name);
    qint64 sortIndex() const { return m.sortIndex; }
    void setSortIndex(qint64 sortIndex);
    Date createdAt() const { return m.createdAt; }
    void setCreatedAt(Date createdAt);

    // Relationships. Setting the series moves the image between the two
    // series' image lists at once.
    Series *series() const { return m.series; }
    void setSeries(Series *series);
    QList<PointAnnotation *> points() const;
    void setPoints(const QList<PointAnnotation *> &points);
    QList<RegionAnnotation *> regions() const;
    void setRegions(const QList<RegionAnnotation *> &regions);

    // Typed metadata; a raw value outside the cases reads as unknown.
    Modality modality() const;
    Region region() const;
    Plane plane() const;
    Sex sex() const;

    // The bytes when present and at least one byte long.
    std::optional<QByteArray> nonEmptyImageData() const;
    // True exactly when no bytes are stored; present but empty is not
    // missing. Reads no bytes.
    bool isImageDataMissing() const;

    // Where the bytes of each of `images` are kept, for reading them on
    // another thread without holding them all: none for an image without
    // bytes. Bytes saved in the store are read no further than a look-up
    // of their file names (each image's own for a few images, all at once
    // for more).
    static QList<std::optional<StoredImageData>> storedImageData(const QList<AtlasImage *> &images);

    // Copies of saved, unchanged images made in SQL by the save that
    // stores them (the rows it adds, see ModelContext::save), without
    // making or reading their objects: the rows of `sources`, in that
    // order, under reserved keys in the series of row key `seriesKey`, each
    // with a new identifier, its Raw fields as the cases they read as
    // (`unknown`'s raw value for one outside the cases), a `createdAt` of
    // its own (the current time, each later than the one before), its
    // stored bytes (a file of its own for bytes kept in a file), and its
    // saved points and regions (new identifiers, absent links as an empty
    // list), as copies of their objects would store them. Throws
    // ModelStoreError.
    static void copyStoredImages(ModelContext &context, StoreWrites &writes, const QList<const AtlasImage *> &sources,
                                 qint64 seriesKey);

    static const RelationshipDescription &pointsRelationship();
    static const RelationshipDescription &regionsRelationship();

private:
    using Data = AtlasImageValues;

    // The bytes as the store holds them; none when it holds none or they
    // can't be read.
    std::optional<QByteArray> readStoredImageData() const;

    friend class AtlasImageEntity;
    friend class Series;

    RelationList m_points;
    RelationList m_regions;
};
