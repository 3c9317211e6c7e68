#pragma once

// Small libraries for the archive's tests, and a snapshot of everything a
// library holds, to compare two libraries or one before and after.

#include "ZipTestSupport.h"
#include "archive/LibraryArchiveManifest.h"
#include "archive/LibraryArchiveSource.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "model/StoreTestSupport.h"

#include <QFile>

#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>

inline void writeFile(const QString &path, const QByteArray &bytes = "kept")
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

inline QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Flips the byte at `offset` of the file at `path` in place and sets its
// times back: a change that only a checksum tells.
inline bool damageKeepingTimes(const QString &path, qint64 offset)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat times {};
    if (::stat(name.constData(), &times) != 0)
        return false;
    {
        QFile file(path);
        char byte = 0;
        if (!file.open(QIODevice::ReadWrite) || !file.seek(offset) || !file.getChar(&byte) || !file.seek(offset)
            || !file.putChar(char(~byte)))
            return false;
    }
    const struct timespec kept[2] = {times.st_atim, times.st_mtim};
    return ::utimensat(AT_FDCWD, name.constData(), kept, 0) == 0;
}

// A fixed identifier for a name used in a test.
inline QUuid idOf(const QString &name)
{
    return QUuid::createUuidV5(QUuid(QStringLiteral("{6ba7b811-9dad-11d1-80b4-00c04fd430c8}")), name);
}

// PNG-signed bytes of `size` (at least 8).
inline QByteArray pngBytes(qsizetype size, int seed)
{
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + randomBytes(size - 8, quint32(seed));
}

// An image with every field set from `name`, a point and a region with links.
inline AtlasImage *addImage(ModelContext &context, const QString &name, Series *series,
                            const std::optional<QByteArray> &bytes, qint64 sortIndex = 0)
{
    auto image = AtlasImage::make(name);
    image->setId(idOf(name));
    image->setModalityRaw(2);
    image->setRegionRaw(99); // no case of its own: kept as stored
    image->setAge(AgeSpec{4294967301, 4294967298});
    image->setSortIndex(sortIndex);
    image->setCreatedAt(Date::fromSecondsSince1970(1700000000.75 + sortIndex));
    image->setImageData(bytes);
    const QList<AnnotationLink> links{{idOf(name + "/link"), QStringLiteral("Atlas"), QStringLiteral("example.org/a b")}};
    auto point = PointAnnotation::make(name + QStringLiteral(" point"), QStringLiteral("bones,left"), links, 0.25, 1.0 / 3);
    point->setId(idOf(name + "/point"));
    point->setImage(image.get());
    auto region = RegionAnnotation::make(name + QStringLiteral(" region"), QStringLiteral("muscles"), std::nullopt,
                                         {{0, 0}, {0.5, 0.125}, {1, 1}});
    region->setId(idOf(name + "/region"));
    region->setImage(image.get());
    if (series)
        image->setSeries(series);
    context.insert(image);
    return image.get();
}

inline Series *addSeries(ModelContext &context, const QString &name)
{
    auto series = Series::make(name);
    series->setId(idOf(name));
    series->setCreatedAt(Date::fromSecondsSince1970(1690000000.5));
    context.insert(series);
    return series.get();
}

// Everything a library holds, in fetch order, dates to the whole second.
struct LibrarySnapshot {
    QList<LibraryArchiveManifest::SeriesRecord> series;
    QList<LibraryArchiveManifest::ImageRecord> images;
    QList<std::optional<QByteArray>> bytes; // non-empty bytes of each image

    friend bool operator==(const LibrarySnapshot &, const LibrarySnapshot &) = default;
};

inline Date wholeSecond(Date date)
{
    return Date::fromSecondsSince1970(std::floor(date.secondsSince1970()));
}

inline LibrarySnapshot snapshot(ModelContext &context)
{
    LibrarySnapshot result;
    for (const Series *series : context.fetch<Series>())
        result.series.append({series->id(), series->title(), wholeSecond(series->createdAt())});
    for (const AtlasImage *image : context.fetch<AtlasImage>()) {
        LibraryArchiveManifest::ImageRecord record = LibraryArchiveManifest::ImageRecord::fromImage(*image, std::nullopt);
        record.createdAt = wholeSecond(record.createdAt);
        result.images.append(record);
        result.bytes.append(image->nonEmptyImageData());
    }
    return result;
}
