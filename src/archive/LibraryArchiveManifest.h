#pragma once

#include "archive/ManifestCodingError.h"
#include "platform/Result.h"
#include "platform/Date.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QList>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

class AtlasImage;
class PointAnnotation;
class RegionAnnotation;

inline size_t qHash(const Date &date, size_t seed = 0)
{
    return qHash(date.secondsSinceReferenceDate, seed);
}

template <typename T>
size_t qHashOptional(const std::optional<T> &value)
{
    return value ? qHashMulti(0, true, *value) : qHash(false);
}

// The manifest "library.json" of a library archive as plain values: the
// format version, when and by which application the archive was written,
// its series and its images with their metadata, annotations and links.
// Every record compares and hashes by value over all of its fields.
struct LibraryArchiveManifest {
    // The application that wrote an archive.
    struct Application {
        QString name;
        QString version; // user-visible version; may be empty
        QString build;   // build number; may be empty

        // The running application.
        static Application current();

        friend bool operator==(const Application &, const Application &) = default;
        friend size_t qHash(const Application &a, size_t seed = 0) { return qHashMulti(seed, a.name, a.version, a.build); }
    };

    struct SeriesRecord {
        QUuid id;
        QString title;
        Date createdAt;

        friend bool operator==(const SeriesRecord &, const SeriesRecord &) = default;
        friend size_t qHash(const SeriesRecord &r, size_t seed = 0) { return qHashMulti(seed, r.id, r.title, r.createdAt); }
    };

    struct AgeRecord {
        qint64 kind = 0;              // AgeSpec::Kind raw value
        std::optional<qint64> value;  // weeks, months or years as the kind says

        friend bool operator==(const AgeRecord &, const AgeRecord &) = default;
        friend size_t qHash(const AgeRecord &r, size_t seed = 0) { return qHashMulti(seed, r.kind, qHashOptional(r.value)); }
    };

    // Raw values exactly as the library stores them, unchecked.
    struct MetadataRecord {
        qint64 modality = 0;
        qint64 region = 0;
        qint64 plane = 0;
        qint64 sex = 0;
        AgeRecord age;

        friend bool operator==(const MetadataRecord &, const MetadataRecord &) = default;
        friend size_t qHash(const MetadataRecord &r, size_t seed = 0)
        {
            return qHashMulti(seed, r.modality, r.region, r.plane, r.sex, r.age);
        }
    };

    struct LinkRecord {
        QUuid id;
        QString label;
        QString url; // the address text exactly as stored

        friend bool operator==(const LinkRecord &, const LinkRecord &) = default;
        friend size_t qHash(const LinkRecord &r, size_t seed = 0) { return qHashMulti(seed, r.id, r.label, r.url); }
    };

    struct VertexRecord {
        double x = 0;
        double y = 0;

        friend bool operator==(const VertexRecord &, const VertexRecord &) = default;
        friend size_t qHash(const VertexRecord &r, size_t seed = 0) { return qHashMulti(seed, r.x, r.y); }
    };

    struct PointRecord {
        QUuid id;
        QString label;
        QString group; // group names separated by commas, as stored
        double x = 0;
        double y = 0;
        QList<LinkRecord> links;

        // The record of a point of the library.
        static PointRecord fromPoint(const PointAnnotation &point);

        friend bool operator==(const PointRecord &, const PointRecord &) = default;
        friend size_t qHash(const PointRecord &r, size_t seed = 0)
        {
            return qHashMulti(seed, r.id, r.label, r.group, r.x, r.y, r.links);
        }
    };

    struct RegionRecord {
        QUuid id;
        QString label;
        QString group;
        QList<VertexRecord> vertices; // in drawing order
        QList<LinkRecord> links;

        // The record of a region of the library.
        static RegionRecord fromRegion(const RegionAnnotation &region);

        friend bool operator==(const RegionRecord &, const RegionRecord &) = default;
        friend size_t qHash(const RegionRecord &r, size_t seed = 0)
        {
            return qHashMulti(seed, r.id, r.label, r.group, r.vertices, r.links);
        }
    };

    struct ImageRecord {
        QUuid id;
        QString title;
        MetadataRecord metadata;
        Date createdAt;
        qint64 sortIndex = 0;
        std::optional<QUuid> seriesID;    // none for an image in no series
        std::optional<QString> imagePath; // none for an image without image data
        QList<PointRecord> points;
        QList<RegionRecord> regions;

        // The record of an image of the library, its points and regions
        // ordered by the text of their identifiers; with `imagePath`, the
        // path of its file in the archive.
        static ImageRecord fromImage(const AtlasImage &image, const std::optional<QString> &imagePath);

        friend bool operator==(const ImageRecord &, const ImageRecord &) = default;
        friend size_t qHash(const ImageRecord &r, size_t seed = 0)
        {
            return qHashMulti(seed, r.id, r.title, r.metadata, r.createdAt, r.sortIndex, qHashOptional(r.seriesID),
                              qHashOptional(r.imagePath),
                              r.points, r.regions);
        }
    };

    qint64 formatVersion = 0;
    Date exportedAt;
    Application application;
    QList<SeriesRecord> series;
    QList<ImageRecord> images;

    friend bool operator==(const LibraryArchiveManifest &, const LibraryArchiveManifest &) = default;
    friend size_t qHash(const LibraryArchiveManifest &m, size_t seed = 0)
    {
        return qHashMulti(seed, m.formatVersion, m.exportedAt, m.application, m.series, m.images);
    }

    // The JSON text of "library.json": indented, keys sorted, slashes not
    // escaped, identifiers in upper case, dates in UTC to the whole second
    // ("2025-03-14T09:26:53Z"). Fails on a number that isn't finite.
    Result<QByteArray, ManifestEncodingError> encoded() const;

    // Reads "library.json" strictly: text that isn't JSON as RFC 8259
    // defines it (a byte order mark, raw control characters in a string, a
    // key that isn't a string, invalid UTF-8, ...), a required key that is
    // missing or null, a value of the wrong JSON type, an identifier or date
    // not in the written form, or an integer that is not whole or does not
    // fit 64 bits fails the whole manifest. Unknown keys are ignored.
    static Result<LibraryArchiveManifest, ManifestDecodingError> decoded(const QByteArray &json);

    // The same from text read piece by piece: `read(into, max)` gives the
    // number of bytes it put into `into`, 0 at the end, -1 on a failure
    // (decoded as invalid JSON; the caller knows better). White space
    // between values is passed over as it comes and costs no memory. A
    // manifest whose decoded values would take more than `sizeLimit` bytes
    // is refused as soon as they do, with `*tooLarge` set.
    using TextReader = std::function<qint64(char *into, qint64 max)>;
    static Result<LibraryArchiveManifest, ManifestDecodingError> decoded(const TextReader &read, qint64 sizeLimit,
                                                                         bool *tooLarge);
    // What the decoded values of one manifest may take: no more than the
    // largest manifest entry that an archive can hold.
    static constexpr qint64 maximumDecodedSize = 0xFFFFFFFFLL;
};
