// Store benchmark on a library of 100,000 images (1,000 per series), each
// with 10 points, one region of 20 vertices and 4 KB of image bytes.
//
//   bench_store [folder]     builds the library in a child process, then
//                            measures in a fresh one
//
// Figures: reopen and fetch all images and series sorted by createdAt
// (time, peak memory, against a plain SQL SELECT of the same rows), change
// one title and save, delete a series of 1,000 images and save (also one
// whose image bytes are large enough to be kept in files).

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "model/VeloranSchemaV1.h"
#include "platform/objectstore/ExternalStorage.h"
#include "platform/objectstore/ModelContainer.h"
#include "support/PeakMemory.h"
#include "support/StoreLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int seriesCount = 100;
constexpr int imagesPerSeries = storelibrary::imagesPerSeries;

std::unique_ptr<ModelContainer> openContainer(const QString &folder)
{
    return storelibrary::open(folder);
}

double peakMegabytes()
{
    const qint64 kib = peakResidentKiB();
    return kib < 0 ? -1 : double(kib) / 1024.0;
}

void print(const QString &text)
{
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

int build(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    storelibrary::addSeries(folder, 0, seriesCount);
    print(QStringLiteral("build: made and saved in one go in %1 ms, peak %2 MB")
              .arg(timer.elapsed())
              .arg(peakMegabytes(), 0, 'f', 0));
    return 0;
}

qint64 plainSelect(const QString &folder)
{
    QElapsedTimer timer;
    timer.start();
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("plain"));
        database.setDatabaseName(QDir(folder).filePath(QStringLiteral("default.store")));
        database.open();
        struct Row {
            qint64 key, seriesKey;
            QByteArray id;
            QString title;
            qint64 values[8];
            double createdAt;
        };
        std::vector<Row> rows;
        QSqlQuery query(database);
        query.setForwardOnly(true);
        for (const char *sql :
             {"SELECT rowKey, NULL, id, title, 0, 0, 0, 0, 0, 0, 0, 0, createdAt FROM Series ORDER BY createdAt",
              "SELECT rowKey, seriesKey, id, title, modalityRaw, regionRaw, planeRaw, ageKindRaw, ageValue, sexRaw, "
              "hasImageData, sortIndex, createdAt FROM AtlasImage ORDER BY createdAt"}) {
            query.exec(QString::fromLatin1(sql));
            while (query.next()) {
                Row row;
                row.key = query.value(0).toLongLong();
                row.seriesKey = query.value(1).toLongLong();
                row.id = query.value(2).toByteArray();
                row.title = query.value(3).toString();
                for (int i = 0; i < 8; ++i)
                    row.values[i] = query.value(4 + i).toLongLong();
                row.createdAt = query.value(12).toDouble();
                rows.push_back(row);
            }
        }
        if (rows.size() != size_t(seriesCount + seriesCount * imagesPerSeries))
            print(QStringLiteral("unexpected row count %1").arg(rows.size()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("plain"));
    return timer.elapsed();
}

qint64 storeFetch(const QString &folder, bool report)
{
    QElapsedTimer timer;
    timer.start();
    auto container = openContainer(folder);
    ModelContext &context = container->mainContext();
    const QList<AtlasImage *> images = context.fetch<AtlasImage>(&AtlasImage::createdAt);
    const QList<Series *> series = context.fetch<Series>(&Series::createdAt);
    const qint64 elapsed = timer.elapsed();
    if (report) {
        print(QStringLiteral("  fetched %1 images and %2 series; peak memory so far %3 MB")
                  .arg(images.size())
                  .arg(series.size())
                  .arg(peakMegabytes(), 0, 'f', 0));
    }
    return elapsed;
}

int measure(const QString &folder)
{
    print(QStringLiteral("reopen and fetch all images and series sorted by createdAt:"));
    const qint64 firstStore = storeFetch(folder, true);
    const qint64 firstPlain = plainSelect(folder);
    const qint64 secondStore = storeFetch(folder, false);
    const qint64 secondPlain = plainSelect(folder);
    const qint64 store = std::min(firstStore, secondStore);
    const qint64 plain = std::max<qint64>(1, std::min(firstPlain, secondPlain));
    print(QStringLiteral("  store: %1 ms, %2 ms; plain SELECT: %3 ms, %4 ms; ratio %5 (target < 1500 ms, ratio <= 3)")
              .arg(firstStore)
              .arg(secondStore)
              .arg(firstPlain)
              .arg(secondPlain)
              .arg(double(store) / plain, 0, 'f', 2));

    auto container = openContainer(folder);
    ModelContext &context = container->mainContext();
    const QList<AtlasImage *> images = context.fetch<AtlasImage>(&AtlasImage::createdAt);
    std::vector<double> saves;
    for (int i = 0; i < 21; ++i) {
        AtlasImage *image = images.at((i * 4999) % images.size());
        QElapsedTimer timer;
        timer.start();
        image->setTitle(QStringLiteral("Renamed %1").arg(i));
        context.save();
        saves.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(saves.begin(), saves.end());
    print(QStringLiteral("change one title and save: median %1 ms, max %2 ms (target < 5 ms)")
              .arg(saves[saves.size() / 2], 0, 'f', 2)
              .arg(saves.back(), 0, 'f', 2));

    QElapsedTimer timer;
    timer.start();
    Series *doomed = context.fetch<Series>(&Series::createdAt).at(seriesCount / 2);
    context.deleteObject(doomed);
    const qint64 deleted = timer.elapsed();
    context.save();
    print(QStringLiteral("delete a series of %1 images with annotations and save: %2 ms (delete %3 ms; target < 1000 ms)")
              .arg(imagesPerSeries)
              .arg(timer.elapsed())
              .arg(deleted));
    // The same with bytes large enough to be kept in files beside the
    // store: adding such a series, then deleting it (the files go after
    // the save's transaction).
    {
        QByteArray large(ExternalStorage::fileThreshold + 32 * 1024, Qt::Uninitialized);
        for (int i = 0; i < large.size(); ++i)
            large[i] = char(i * 13);
        timer.restart();
        auto series = Series::make(QStringLiteral("Large"));
        context.insert(series);
        for (int i = 0; i < imagesPerSeries; ++i)
            AtlasImage::make(QStringLiteral("Large %1").arg(i), Modality::ct, Region::thorax, Plane::axial,
                             AgeSpec{5, 40}, Sex::female, large, i, series.get());
        context.save();
        const qint64 added = timer.restart();
        context.deleteObject(series.get());
        context.save();
        print(QStringLiteral("add a series of %1 images of %2 KB (in files) and save: %3 ms; delete it and save: %4 ms "
                             "(target < 1000 ms)")
                  .arg(imagesPerSeries)
                  .arg(large.size() / 1024)
                  .arg(added)
                  .arg(timer.elapsed()));
    }
    // What a property write costs, unobserved and with an observer and a
    // connected context signal (views coalesce these).
    AtlasImage *written = context.fetch<AtlasImage>().first();
    const QString title = QStringLiteral("t");
    constexpr int writes = 1000000;
    timer.restart();
    for (int i = 0; i < writes; ++i)
        written->setTitle(title);
    const double plainWrite = timer.nsecsElapsed() / double(writes);
    int seen = 0;
    written->addObserver([&seen](ModelObject *, const char *) { ++seen; });
    QObject::connect(&context, &ModelContext::changed, [&seen] { ++seen; });
    timer.restart();
    for (int i = 0; i < writes; ++i)
        written->setTitle(title);
    const double observedWrite = timer.nsecsElapsed() / double(writes);
    print(QStringLiteral("a title write: %1 ns unobserved, %2 ns with an observer and a connected signal")
              .arg(plainWrite, 0, 'f', 0)
              .arg(observedWrite, 0, 'f', 0));
    context.rollback();

    print(QStringLiteral("peak memory of the measuring process: %1 MB").arg(peakMegabytes(), 0, 'f', 0));
    return 0;
}

int runChild(const QString &mode, const QString &folder)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QCoreApplication::applicationFilePath(), {mode, folder});
    child.waitForFinished(-1);
    return child.exitCode();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.size() == 3 && arguments.at(1) == QStringLiteral("--build"))
        return build(arguments.at(2));
    if (arguments.size() == 3 && arguments.at(1) == QStringLiteral("--measure"))
        return measure(arguments.at(2));

    QTemporaryDir temporary;
    const QString folder = arguments.size() > 1 ? arguments.at(1) : temporary.path();
    if (!QFile::exists(QDir(folder).filePath(QStringLiteral("default.store")))) {
        if (runChild(QStringLiteral("--build"), folder) != 0)
            return 1;
    }
    return runChild(QStringLiteral("--measure"), folder);
}
