#pragma once

// The benchmarks' large library on disk: series of 1,000 images, each image
// with 10 labelled points, one region of 20 vertices and 4 KB of image
// bytes, as the store benchmark first measured it.

#include "support/LibraryContainer.h"
#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/ExternalStorage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QTextStream>

#include <memory>
#include <optional>

namespace storelibrary {

constexpr int imagesPerSeries = 1000;
constexpr int pointsPerImage = 10;
constexpr int verticesPerRegion = 20;

// The store "default.store" in `folder`, created when missing.
inline std::unique_ptr<ModelContainer> open(const QString &folder)
{
    return openLibrary(folder);
}

// Adds `seriesCount` series (numbered from `firstSeries`) to the library in
// `folder` and saves them in one go.
inline void addSeries(const QString &folder, int firstSeries, int seriesCount)
{
    auto container = open(folder);
    ModelContext &context = container->mainContext();
    QByteArray bytes(4096, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(i * 7);
    QList<Vertex> vertices;
    for (int v = 0; v < verticesPerRegion; ++v)
        vertices.append({v / 20.0, 1 - v / 20.0});

    for (int s = firstSeries; s < firstSeries + seriesCount; ++s) {
        auto series = Series::make(QStringLiteral("Series %1").arg(s));
        context.insert(series);
        for (int i = 0; i < imagesPerSeries; ++i) {
            auto image = AtlasImage::make(QStringLiteral("Image %1-%2").arg(s).arg(i), Modality::ct, Region::thorax,
                                          Plane::axial, AgeSpec{5, 40}, Sex::female, bytes, i, series.get());
            for (int p = 0; p < pointsPerImage; ++p) {
                auto point = PointAnnotation::make(QStringLiteral("Point %1").arg(p), QStringLiteral("Bones"),
                                                   std::nullopt, p / 10.0, 0.5);
                point->setImage(image.get());
            }
            auto region = RegionAnnotation::make(QStringLiteral("Region"), QString(), std::nullopt, vertices);
            region->setImage(image.get());
        }
    }
    context.save();
}

// The exit code of this program started by startupLibraryFolder() to build
// a part of the library ("--add-series <folder> <first> <count>"); none when
// it was started otherwise.
inline std::optional<int> addSeriesWhenAsked(int argc, char *argv[])
{
    if (argc != 5 || qstrcmp(argv[1], "--add-series") != 0)
        return std::nullopt;
    QCoreApplication app(argc, argv);
    addSeries(QString::fromLocal8Bit(argv[2]), atoi(argv[3]), atoi(argv[4]));
    return 0;
}

// Moves the bytes of every image of the library in `folder` into a file of
// their own in the store's folder of files, named as the store names its
// files, as it keeps pictures of 256 KB and more (without syncing them:
// the benchmarks' libraries are made anew after a power cut). False, with
// why printed, when that failed.
inline bool moveBytesToFiles(const QString &folder)
{
    const QString files = ModelContainer::externalFolder(QDir(folder).filePath(QStringLiteral("default.store")));
    bool moved = QDir().mkpath(files);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("files"));
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        moved = moved && database.open() && database.transaction();
        QSqlQuery read(database);
        read.setForwardOnly(true);
        QSqlQuery named(database);
        moved = moved && read.exec(QStringLiteral("SELECT imageKey, bytes FROM ImageData"))
            && named.prepare(QStringLiteral("INSERT INTO ImageFile (imageKey, fileName) VALUES (?, ?)"));
        while (moved && read.next()) {
            const QString name = ExternalStorage::newFileName();
            QFile file(QDir(files).filePath(name));
            const QByteArray bytes = read.value(1).toByteArray();
            named.addBindValue(read.value(0));
            named.addBindValue(name);
            moved = file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && file.write(bytes) == bytes.size()
                && named.exec();
        }
        read.finish();
        moved = moved && QSqlQuery(database).exec(QStringLiteral("DELETE FROM ImageData")) && database.commit();
        if (!moved)
            QTextStream(stdout) << "moving the bytes to files failed: " << database.lastError().text() << Qt::endl;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("files"));
    return moved;
}

// The start-up benchmarks' library of `seriesCount` series, kept in the
// data folder of a home under `base` ("<home>/data/Veloran/Veloran", where
// the program looks for it), built when missing by this program run with
// "--add-series <folder> <first> <count>" (see addSeries) a hundred series
// at a time. With `bytesInFiles`, each image's bytes are then moved to a
// file of their own (moveBytesToFiles()), in a library of its own. The
// folder holding its store; empty when it could not be built.
inline QString startupLibraryFolder(const QString &base, int seriesCount, bool bytesInFiles = false)
{
    const QString home = QDir(base).filePath(
        QStringLiteral("veloran-bench-startup-%1%2").arg(seriesCount).arg(bytesInFiles ? QLatin1String("-files") : QLatin1String()));
    const QString folder = QDir(home).filePath(QStringLiteral("data/Veloran/Veloran"));
    const QString store = QDir(folder).filePath(QStringLiteral("default.store"));
    if (QFile::exists(store))
        return folder;
    QDir().mkpath(folder);
    QTextStream(stdout) << QStringLiteral("building %1 images in %2 ...\n").arg(seriesCount * imagesPerSeries).arg(folder)
                        << Qt::flush;
    for (int first = 0; first < seriesCount; first += 100) {
        QProcess part;
        part.setProcessChannelMode(QProcess::ForwardedChannels);
        part.start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--add-series"), folder, QString::number(first),
                    QString::number(std::min(100, seriesCount - first))});
        if (!part.waitForFinished(-1) || part.exitCode() != 0) {
            QFile::remove(store);
            return {};
        }
    }
    if (bytesInFiles && !moveBytesToFiles(folder)) {
        QFile::remove(store);
        return {};
    }
    return folder;
}

} // namespace storelibrary
