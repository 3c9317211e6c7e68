#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/WorkerPools.h"
#include "support/PoolHold.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

// The doubles' bit patterns, to tell -0 from 0 and see every last bit.
QList<quint64> bits(const QList<double> &values)
{
    QList<quint64> result(values.size());
    std::memcpy(result.data(), values.constData(), values.size() * sizeof(double));
    return result;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

ModelStoreError::Code openError(const QString &folder, const SchemaMigrationPlan &plan = VeloranMigrationPlan::plan())
{
    const ModelConfiguration configuration = testConfiguration(folder);
    try {
        ModelContainer container(configuration.schema, plan, {configuration});
    } catch (const ModelStoreError &error) {
        if (error.description().isEmpty())
            qWarning("error without a description");
        return error.code();
    }
    return ModelStoreError::Code::invalidConfiguration; // opened: not what the callers expect
}

QByteArray patterned(qsizetype size, int seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 131 + seed * 7) ^ (i >> 9));
    return bytes;
}

} // namespace

// What the store keeps on disk: exact round trips, lazy loading, and how
// store files are created, reopened, migrated and refused.
class StorePersistenceTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> directory;
    QString folder;
    QString storeFile;

private slots:
    void init()
    {
        directory = std::make_unique<QTemporaryDir>();
        folder = directory->path();
        storeFile = QDir(folder).filePath(QStringLiteral("default.store"));
    }

    void roundTripKeepsEveryValueExactly()
    {
        const qint64 big = std::numeric_limits<qint64>::max();
        const QUuid sharedId = QUuid::createUuid();
        const QList<AnnotationLink> links{{QUuid::createUuid(), QStringLiteral("Atlas"), QStringLiteral("example.org/a")},
                                          {QUuid::createUuid(), QString(), QStringLiteral("mailto:x@y.z")},
                                          {QUuid(), QStringLiteral("ü \"quoted\""), QString()}};
        const QList<Vertex> vertices{{0.1, 0.2}, {1e-300, 5e-324}, {-3.5, 1.0 / 3}, {0.7, 0.7}, {0.1, 0.2}};
        const QByteArray large = patterned(3 * 1024 * 1024, 0);
        const Date subMillisecond{812345678.1234567};
        const Date negativeZero{-0.0};
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            auto series = Series::make(QStringLiteral("Ser\u00efes"));
            series->setCreatedAt(subMillisecond);
            context.insert(series);

            auto odd = AtlasImage::make(QStringLiteral("odd"));
            odd->setId(sharedId);
            odd->setModalityRaw(-1);
            odd->setRegionRaw(9);
            odd->setPlaneRaw(big);
            odd->setSexRaw(std::numeric_limits<qint64>::min());
            odd->setSortIndex(big);
            odd->setAge(AgeSpec{2, 24});
            odd->setImageData(QByteArray());
            odd->setCreatedAt(subMillisecond);
            odd->setSeries(series.get());
            context.insert(odd);

            auto twin = AtlasImage::make(QStringLiteral("twin with the same id"));
            twin->setId(sharedId);
            twin->setAge(AgeSpec{7, std::nullopt});
            twin->setImageData(large);
            context.insert(twin);
            auto third = AtlasImage::make(QStringLiteral("no bytes"));
            third->setCreatedAt(negativeZero);
            third->setAge(AgeSpec{4294967301, std::numeric_limits<qint64>::min()});
            context.insert(third);

            auto point = PointAnnotation::make(QStringLiteral("p"), QStringLiteral(" a,b ,, c"), links,
                                               0.1 + 0.2, 1.0 / 3);
            point->setImage(odd.get());
            PointAnnotation::make(QStringLiteral("no links"), {}, std::nullopt, 1e-320, 0.999999999999)
                ->setImage(odd.get());
            PointAnnotation::make(QStringLiteral("empty links"), {}, QList<AnnotationLink>{}, -0.0, 1)
                ->setImage(odd.get());
            RegionAnnotation::make(QStringLiteral("r"), QStringLiteral("g"), links, vertices)->setImage(odd.get());
            RegionAnnotation::make(QStringLiteral("no vertices"))->setImage(twin.get());
            context.save();
        }

        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        const QList<AtlasImage *> images = context.fetch<AtlasImage>();
        QCOMPARE(images.size(), 3);
        AtlasImage *odd = images[0];
        AtlasImage *twin = images[1];
        QCOMPARE(odd->title(), QStringLiteral("odd"));
        QCOMPARE(odd->id(), sharedId);
        QCOMPARE(twin->id(), sharedId); // ids need not be unique
        QCOMPARE(odd->modalityRaw(), -1);
        QCOMPARE(odd->modality(), Modality::unknown);
        QCOMPARE(odd->regionRaw(), 9);
        QCOMPARE(odd->planeRaw(), big);
        QCOMPARE(odd->sexRaw(), std::numeric_limits<qint64>::min());
        QCOMPARE(odd->sortIndex(), big);
        QCOMPARE(odd->age(), (AgeSpec{2, 24}));
        QCOMPARE(twin->age(), (AgeSpec{7, std::nullopt}));
        QCOMPARE(images[2]->age(), (AgeSpec{4294967301, std::numeric_limits<qint64>::min()}));
        QCOMPARE(bits({images[2]->createdAt().secondsSinceReferenceDate, odd->createdAt().secondsSinceReferenceDate}),
                 bits({-0.0, subMillisecond.secondsSinceReferenceDate}));

        QVERIFY(!odd->isImageDataMissing());
        QVERIFY(!twin->isImageDataMissing());
        QVERIFY(images[2]->isImageDataMissing());
        QCOMPARE(odd->imageData(), std::optional<QByteArray>(QByteArray()));
        QCOMPARE(twin->imageData(), std::optional<QByteArray>(large));
        QCOMPARE(images[2]->imageData(), std::nullopt);

        Series *series = odd->series();
        QVERIFY(series);
        QCOMPARE(series->title(), QStringLiteral("Ser\u00efes"));
        QCOMPARE(series->createdAt().secondsSinceReferenceDate, subMillisecond.secondsSinceReferenceDate);
        QCOMPARE(series->images(), QList<AtlasImage *>{odd});
        QCOMPARE(twin->series(), nullptr);

        const QList<PointAnnotation *> points = odd->points();
        QCOMPARE(points.size(), 3);
        QCOMPARE(points[0]->group(), QStringLiteral(" a,b ,, c")); // kept as stored
        QCOMPARE(points[0]->links(), std::optional<QList<AnnotationLink>>(links));
        QCOMPARE(points[1]->links(), std::nullopt);
        QCOMPARE(points[2]->links(), std::optional<QList<AnnotationLink>>(QList<AnnotationLink>{}));
        QCOMPARE(bits({points[0]->x(), points[0]->y(), points[1]->x(), points[2]->x()}),
                 bits({0.1 + 0.2, 1.0 / 3, 1e-320, -0.0}));

        const QList<RegionAnnotation *> regions = odd->regions();
        QCOMPARE(regions.size(), 1);
        QCOMPARE(regions[0]->vertices().size(), vertices.size());
        for (qsizetype i = 0; i < vertices.size(); ++i)
            QCOMPARE(bits({regions[0]->vertices()[i].x, regions[0]->vertices()[i].y}), bits({vertices[i].x, vertices[i].y}));
        QCOMPARE(regions[0]->links(), std::optional<QList<AnnotationLink>>(links));
        QCOMPARE(twin->regions().size(), 1);
        QVERIFY(twin->regions()[0]->vertices().isEmpty());
    }

    void bytesAndAnnotationsAreReadOnFirstAccess()
    {
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(imageWithBytes(QByteArray("stored bytes")));
            container->mainContext().save();
        }
        auto container = makeTestContainer(folder);
        AtlasImage *image = container->mainContext().fetch<AtlasImage>().first();
        // Bytes and a point change behind the store's back after the fetch:
        // the image shows them, so the fetch read neither.
        QVERIFY(runOnStore(folder, {QStringLiteral("UPDATE ImageData SET bytes = X'6C61746572'"),
                                    QStringLiteral("INSERT INTO PointAnnotation (rowKey, imageKey, label) "
                                                   "VALUES (7, 1, 'late')")}));
        QCOMPARE(image->points().size(), 1);
        QCOMPARE(image->points().first()->label(), QStringLiteral("late"));
        QVERIFY(!image->isImageDataMissing());
        QCOMPARE(image->imageData(), std::optional<QByteArray>(QByteArray("later")));
    }

    // Rows the store numbers far apart (written by other means) are kept
    // by key as well as dense ones; new rows count on from the last.
    void rowKeysFarApart()
    {
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(AtlasImage::make(QStringLiteral("near")));
            container->mainContext().save();
        }
        QVERIFY(runOnStore(folder, {QStringLiteral("INSERT INTO AtlasImage (rowKey, title, hasImageData, createdAt) "
                                                   "VALUES (1000000000000, 'far', 0, 1)")}));
        for (const QStringList &expected : {QStringList{"near", "far"}, QStringList{"near", "far", "next"}}) {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            QStringList titles;
            for (const AtlasImage *image : context.fetch<AtlasImage>())
                titles << image->title();
            QCOMPARE(titles, expected);
            context.insert(AtlasImage::make(QStringLiteral("next")));
            if (expected.size() == 2)
                context.save();
        }
    }

    void largeBytesLiveInFilesThatFollowEveryChange()
    {
        const qsizetype large = ExternalStorage::fileThreshold;
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            // Just under the threshold stays in the store; at it, a file.
            for (const qsizetype size : {large - 1, large, 4 * large, large, qsizetype(100), qsizetype(101)})
                context.insert(imageWithBytes(patterned(size, int(size % 97)), QString::number(size)));
            context.save();
        }
        QStringList files = storedFileNames(folder);
        QCOMPARE(files.size(), 3);
        QCOMPARE(externalFileNames(folder), files);

        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        QList<AtlasImage *> images = context.fetch<AtlasImage>();
        QCOMPARE(images.size(), 6);
        for (AtlasImage *image : images) {
            const qsizetype size = image->title().toLongLong();
            QCOMPARE(image->imageData(), patterned(size, int(size % 97)));
        }
        // Replaced, removed, kept, deleted; small bytes for a file.
        images[1]->setImageData(patterned(2 * large, 5));
        images[2]->setImageData(std::nullopt);
        context.deleteObject(images[3]);
        images[0]->setImageData(patterned(3 * large, 6)); // from the store to a file
        images[4]->setImageData(std::nullopt);
        context.deleteObject(images[5]);
        // The old files go after the save, on the files pool, which the save
        // does not wait for: with every worker held, they are still there.
        PoolHold busy(WorkerPools::files());
        QVERIFY(busy.holding());
        context.save();
        QCOMPARE(externalFileNames(folder, false).size(), 5);
        busy.release();
        // No bytes are left without their image.
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM ImageData WHERE imageKey NOT IN "
                                                    "(SELECT rowKey FROM AtlasImage WHERE hasImageData = 1)")),
                 QVariantList{0});
        QStringList now = storedFileNames(folder);
        QCOMPARE(now.size(), 2);
        QVERIFY(!now.contains(files[0]) && !now.contains(files[1]) && !now.contains(files[2]));
        QCOMPARE(externalFileNames(folder), now);
        images[0]->setImageData(QByteArray("small again"));
        context.save();
        QCOMPARE(externalFileNames(folder).size(), 1);
        container.reset();

        container = makeTestContainer(folder);
        images = container->mainContext().fetch<AtlasImage>();
        QCOMPARE(images.size(), 4);
        QCOMPARE(images[0]->imageData(), std::optional<QByteArray>(QByteArray("small again")));
        QCOMPARE(images[1]->imageData(), patterned(2 * large, 5));
        QVERIFY(images[2]->isImageDataMissing() && images[3]->isImageDataMissing());
    }

    void savedBytesLeaveMemoryUntilReadAgain()
    {
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        QByteArray large = patterned(ExternalStorage::fileThreshold, 5); // kept in a file
        QByteArray small = patterned(100, 6);                            // kept in the database
        auto inFile = AtlasImage::make();
        inFile->setImageData(large);
        auto inRow = AtlasImage::make();
        inRow->setImageData(small);
        context.insert(inFile);
        context.insert(inRow);
        QVERIFY(!large.isDetached()); // shared with the images until they are saved
        context.save();
        QVERIFY(large.isDetached());
        QVERIFY(small.isDetached());
        QCOMPARE(inFile->imageData(), large);
        QCOMPARE(inRow->imageData(), small);
        // Reading them keeps nothing: the next read sees the file as it is.
        QCOMPARE(externalFileNames(folder).size(), 1);
        const QByteArray replaced = patterned(ExternalStorage::fileThreshold, 7);
        QFile file(QDir(externalFolderOf(folder)).filePath(externalFileNames(folder).first()));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(replaced) == replaced.size());
        file.close();
        QCOMPARE(inFile->imageData(), replaced);
    }

    // Inside its transaction, the save writes rows and files: a store that
    // refuses the annotation rows that follow, or something else where the
    // folder of files belongs, fails it whole.
    void failedSaveWritesNothingAndKeepsTheChanges_data()
    {
        QTest::addColumn<bool>("refusedRow");
        QTest::newRow("the store refuses a row") << true;
        QTest::newRow("no folder for the files") << false;
    }

    void failedSaveWritesNothingAndKeepsTheChanges()
    {
        QFETCH(bool, refusedRow);
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        auto kept = AtlasImage::make(QStringLiteral("kept"));
        if (refusedRow)
            kept->setImageData(patterned(ExternalStorage::fileThreshold, 1));
        context.insert(kept);
        context.save();
        const QStringList before = externalFileNames(folder);
        QCOMPARE(before.size(), refusedRow ? 1 : 0);
        QFile blocker(externalFolderOf(folder));
        if (refusedRow)
            QVERIFY(runOnStore(folder, {QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON PointAnnotation "
                                                       "BEGIN SELECT RAISE(ABORT, 'refused'); END")}));
        else
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        for (int i = 0; i < 5; ++i)
            context.insert(imageWithBytes(patterned(ExternalStorage::fileThreshold + i, i)));
        PointAnnotation::make()->setImage(context.fetch<AtlasImage>().last());
        kept->setImageData(patterned(ExternalStorage::fileThreshold, 2));
        kept->setTitle(QStringLiteral("renamed"));
        try {
            context.save();
            QFAIL("the save went through");
        } catch (const ModelStoreError &error) {
            QCOMPARE(error.code(), ModelStoreError::Code::saveFailed);
            QCOMPARE(error.detail().contains(QStringLiteral("refused")), refusedRow);
        }
        QVERIFY(context.hasChanges());
        if (refusedRow) {
            QCOMPARE(externalFileNames(folder), before);
            QVERIFY(runOnStore(folder, {QStringLiteral("DROP TRIGGER refuse")}));
        } else {
            QVERIFY(blocker.remove());
        }
        context.save();
        QCOMPARE(externalFileNames(folder).size(), 6);
        QVERIFY(before.isEmpty() || !externalFileNames(folder).contains(before.first()));
        container.reset();

        container = makeTestContainer(folder);
        const QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>();
        QCOMPARE(images.size(), 6);
        QCOMPARE(images[0]->title(), QStringLiteral("renamed"));
        QCOMPARE(images[0]->imageData(), patterned(ExternalStorage::fileThreshold, 2));
        QCOMPARE(images[5]->imageData(), patterned(ExternalStorage::fileThreshold + 4, 4));
        QCOMPARE(images[5]->points().size(), 1);
    }

    void storesWithAllBytesInTheirTableKeepWorking()
    {
        // The layout before large bytes went to files: no ImageFile table.
        const QByteArray large = patterned(3 * ExternalStorage::fileThreshold, 8);
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(AtlasImage::make(QStringLiteral("old")));
            container->mainContext().save();
        }
        QVERIFY(runOnStore(folder, {QStringLiteral("DROP TABLE ImageFile"),
                                    QStringLiteral("UPDATE AtlasImage SET hasImageData = 1"),
                                    QStringLiteral("INSERT INTO ImageData (imageKey, bytes) VALUES (1, X'%1')")
                                        .arg(QString::fromLatin1(large.toHex()))}));
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            AtlasImage *image = context.fetch<AtlasImage>().first();
            QCOMPARE(image->imageData(), std::optional<QByteArray>(large));
            context.insert(imageWithBytes(large));
            context.save();
            QCOMPARE(externalFileNames(folder).size(), 1);
            image->setImageData(patterned(2 * ExternalStorage::fileThreshold, 9));
            context.save();
            QCOMPARE(externalFileNames(folder).size(), 2);
        }
        auto container = makeTestContainer(folder);
        const QList<AtlasImage *> images = container->mainContext().fetch<AtlasImage>();
        QCOMPARE(images[0]->imageData(), patterned(2 * ExternalStorage::fileThreshold, 9));
        QCOMPARE(images[1]->imageData(), std::optional<QByteArray>(large));
        container.reset();
        // The old bytes went with their replacement.
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM ImageData")), QVariantList{0});
    }

    void listsLoadLazilyAndFollowUnsavedMoves()
    {
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            for (int i = 0; i < 2; ++i) {
                auto image = AtlasImage::make(QString::number(i));
                context.insert(image);
                // Linked to an inserted image, a point joins the context.
                for (int p = 0; p < 3; ++p)
                    PointAnnotation::make(QStringLiteral("%1.%2").arg(i).arg(p))->setImage(image.get());
            }
            context.save();
        }
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        // Points fetched first, then moved before either list was read.
        const QList<PointAnnotation *> points = context.fetch<PointAnnotation>();
        const QList<AtlasImage *> images = context.fetch<AtlasImage>();
        QCOMPARE(points.size(), 6);
        points[0]->setImage(images[1]);
        QCOMPARE(images[0]->points(), (QList<PointAnnotation *>{points[1], points[2]}));
        QCOMPARE(images[1]->points(), (QList<PointAnnotation *>{points[0], points[3], points[4], points[5]}));
        context.deleteObject(points[4]);
        QCOMPARE(images[1]->points(), (QList<PointAnnotation *>{points[0], points[3], points[5]}));
        context.save();
        container.reset();

        container = makeTestContainer(folder);
        const QList<AtlasImage *> reopened = container->mainContext().fetch<AtlasImage>();
        QCOMPARE(reopened[0]->points().size(), 2);
        QStringList labels;
        for (PointAnnotation *point : reopened[1]->points())
            labels << point->label();
        QCOMPARE(labels, (QStringList{QStringLiteral("0.0"), QStringLiteral("1.0"), QStringLiteral("1.2")}));
    }

    // Deleting images takes their points and regions along, whether their
    // lists were read, the annotations were fetched on their own, or
    // neither (then the save deletes the rows unread); more images than
    // one statement names; a rollback brings every annotation back.
    void deletionTakesEveryAnnotationAlong_data()
    {
        QTest::addColumn<QString>("readFirst");
        QTest::addColumn<int>("imageCount");
        QTest::addColumn<bool>("rollBack");
        QTest::newRow("nothing read") << QString() << 3 << false;
        QTest::newRow("lists read") << QStringLiteral("lists") << 3 << false;
        QTest::newRow("annotations fetched") << QStringLiteral("fetch") << 3 << false;
        QTest::newRow("more images than one statement names") << QString() << 1203 << false;
        QTest::newRow("nothing read, rolled back") << QString() << 3 << true;
        QTest::newRow("lists read, rolled back") << QStringLiteral("lists") << 3 << true;
    }

    void deletionTakesEveryAnnotationAlong()
    {
        QFETCH(QString, readFirst);
        QFETCH(int, imageCount);
        QFETCH(bool, rollBack);
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            for (int i = 0; i < imageCount + 1; ++i) {
                auto image = imageWithBytes(QByteArray::number(i), QString::number(i));
                context.insert(image);
                PointAnnotation::make(QStringLiteral("p%1").arg(i))->setImage(image.get());
                RegionAnnotation::make(QStringLiteral("r%1").arg(i))->setImage(image.get());
            }
            context.save();
        }
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        QList<AtlasImage *> images = context.fetch<AtlasImage>();
        QList<PointAnnotation *> fetched;
        if (readFirst == QStringLiteral("fetch"))
            fetched = context.fetch<PointAnnotation>();
        if (readFirst == QStringLiteral("lists")) {
            for (AtlasImage *image : std::as_const(images))
                QCOMPARE(image->points().size() + image->regions().size(), 2);
        }
        // The last image stays.
        AtlasImage *kept = images.takeLast();
        for (AtlasImage *image : std::as_const(images))
            context.deleteObject(image);
        QCOMPARE(context.fetch<PointAnnotation>().size(), 1);
        QCOMPARE(context.fetch<RegionAnnotation>().size(), 1);
        if (rollBack) {
            context.rollback();
            QCOMPARE(images.first()->points().size(), 1);
            QCOMPARE(images.first()->regions().value(0)->label(), QStringLiteral("r0"));
            QCOMPARE(context.fetch<PointAnnotation>().size(), imageCount + 1);
        } else {
            context.save();
            for (PointAnnotation *point : std::as_const(fetched))
                QCOMPARE(point->isDeleted(), point->image() != kept);
        }
        QCOMPARE(kept->points().size(), 1);
        container.reset();

        const int left = rollBack ? imageCount + 1 : 1;
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM PointAnnotation")).value(0).toInt(), left);
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM RegionAnnotation")).value(0).toInt(), left);
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM ImageData")).value(0).toInt(), left);
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM AtlasImage")).value(0).toInt(), left);
        const QString lastImage = QString::number(imageCount);
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT label FROM PointAnnotation ORDER BY rowKey DESC LIMIT 1")),
                 QVariantList{QVariant(QStringLiteral("p") + lastImage)});
    }

    // Rows that a save adds in SQL join the context: as objects at once
    // where the model was fetched as a whole, through the lists they join
    // otherwise; the keys after them stay free. A failure adds nothing.
    void rowsAddedBySaveAreTakenIn_data()
    {
        QTest::addColumn<QString>("readFirst");
        QTest::addColumn<bool>("fails");
        QTest::newRow("nothing read") << QString() << false;
        QTest::newRow("list read") << QStringLiteral("list") << false;
        QTest::newRow("points fetched") << QStringLiteral("fetch") << false;
        QTest::newRow("points fetched, failing") << QStringLiteral("fetch") << true;
    }

    void rowsAddedBySaveAreTakenIn()
    {
        QFETCH(QString, readFirst);
        QFETCH(bool, fails);
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        auto image = AtlasImage::make(QStringLiteral("image"));
        context.insert(image);
        PointAnnotation::make(QStringLiteral("first"))->setImage(image.get());
        context.save();
        container = makeTestContainer(folder);
        ModelContext &reopened = container->mainContext();
        AtlasImage *stored = reopened.fetch<AtlasImage>().value(0);
        QList<ModelObject *> inserted;
        connect(&reopened, &ModelContext::objectInserted, this, [&](ModelObject *object) { inserted << object; });
        if (readFirst == QStringLiteral("fetch"))
            QCOMPARE(reopened.fetch<PointAnnotation>().size(), 1);
        if (readFirst == QStringLiteral("list"))
            QCOMPARE(stored->points().size(), 1);
        const qint64 key = reopened.nextKey(PointAnnotation::entity());
        const auto addRows = [&](StoreWrites &writes) {
            writes.run(QStringLiteral("test"),
                       QStringLiteral("INSERT INTO PointAnnotation (rowKey, imageKey, id, label) "
                                      "VALUES (%1, %2, newIdentifier(), 'added')%3")
                           .arg(key)
                           .arg(stored->storeKey())
                           .arg(fails ? QStringLiteral(", (%1, 0, NULL, 'twice')").arg(key) : QString()));
        };
        bool failed = false;
        try {
            reopened.save(addRows);
        } catch (const ModelStoreError &) {
            failed = true;
        }
        QCOMPARE(failed, fails);
        QStringList labels;
        for (const PointAnnotation *point : stored->points())
            labels << point->label();
        QStringList expected{QStringLiteral("first")};
        if (!fails)
            expected << QStringLiteral("added");
        QCOMPARE(labels, expected);
        QCOMPARE(reopened.fetch<PointAnnotation>().size(), labels.size());
        QCOMPARE(inserted.size(), readFirst == QStringLiteral("fetch") && !fails ? 1 : 0);
        QCOMPARE(reopened.nextKey(PointAnnotation::entity()), fails ? key : key + 1);
        if (!fails)
            QCOMPARE(stored->points().last()->id().isNull(), false);
        // A later point takes the next key.
        PointAnnotation::make(QStringLiteral("later"))->setImage(stored);
        reopened.save();
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM PointAnnotation")).value(0).toInt(),
                 labels.size() + 1);
    }

    // Saves that fill the write-ahead log have it copied into the store's
    // file by a worker, as SQLite would do on the saving thread itself.
    void largeSavesReachTheStoreFile()
    {
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        const qint64 empty = QFileInfo(storeFile).size();
        // Bytes below the size that goes to files: 6 MB in the database.
        for (int i = 0; i < 30; ++i)
            context.insert(imageWithBytes(QByteArray(200 * 1024, char('a' + i % 26))));
        context.save();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(storeFile).size() > empty + 6'000'000, 5000);
    }

    void nonFiniteCoordinatesNeverReachTheStore()
    {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        {
            auto container = makeTestContainer(folder);
            ModelContext &context = container->mainContext();
            auto image = AtlasImage::make();
            auto point = PointAnnotation::make({}, {}, std::nullopt, nan, inf);
            point->setImage(image.get());
            auto region = RegionAnnotation::make({}, {}, std::nullopt, {{-inf, nan}, {0.5, 0.25}});
            region->setImage(image.get());
            context.insert(image);
            context.save();
            point->setX(inf);
            point->setY(-inf);
            image->setCreatedAt(Date{nan});
            context.save(); // one bad value does not block later saves
            image->setTitle(QStringLiteral("later"));
            context.save();
        }
        auto container = makeTestContainer(folder);
        ModelContext &context = container->mainContext();
        PointAnnotation *point = context.fetch<PointAnnotation>().first();
        QCOMPARE(point->x(), 1.0);
        QCOMPARE(point->y(), 0.0);
        QCOMPARE(context.fetch<RegionAnnotation>().first()->vertices(), (QList<Vertex>{{0, 0}, {0.5, 0.25}}));
        AtlasImage *image = context.fetch<AtlasImage>().first();
        QCOMPARE(image->title(), QStringLiteral("later"));
        QVERIFY(std::isfinite(image->createdAt().secondsSinceReferenceDate));
    }

    void newerDamagedOrUnusableStoresAreRefused()
    {
        {
            auto container = makeTestContainer(folder);
            container->mainContext().insert(Series::make());
            container->mainContext().save();
        }
        const auto refusedUntouched = [&](ModelStoreError::Code code) {
            const QByteArray before = fileHash(storeFile);
            QCOMPARE(openError(folder), code);
            QCOMPARE(fileHash(storeFile), before);
        };
        QVERIFY(runOnStore(folder, {QStringLiteral("UPDATE StoreMetadata SET value = '2.0.0' WHERE key = 'version'")}));
        refusedUntouched(ModelStoreError::Code::newerVersion);

        QVERIFY(runOnStore(folder, {QStringLiteral("UPDATE StoreMetadata SET value = '1.0.0' WHERE key = 'version'"),
                                    QStringLiteral("DROP TABLE RegionAnnotation")}));
        refusedUntouched(ModelStoreError::Code::damaged);

        QFile file(storeFile);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(8192, 'x'));
        file.close();
        QFile::remove(storeFile + QStringLiteral("-wal"));
        QFile::remove(storeFile + QStringLiteral("-shm"));
        refusedUntouched(ModelStoreError::Code::damaged);
        // A database that is not a library is refused as well.
        QFile::remove(storeFile);
        QVERIFY(runOnStore(folder, {QStringLiteral("CREATE TABLE Other (x)")}));
        refusedUntouched(ModelStoreError::Code::damaged);
        // So is one whose tables are all gone: it is not a store cut short
        // while being made, which holds nothing but SQLite's header.
        QFile::remove(storeFile);
        QVERIFY(runOnStore(folder, {QStringLiteral("CREATE TABLE Other (x)"),
                                    QStringLiteral("INSERT INTO Other VALUES (randomblob(10000))"),
                                    QStringLiteral("DROP TABLE Other")}));
        QCOMPARE(storeColumn(folder, QStringLiteral("SELECT COUNT(*) FROM sqlite_master")), QVariantList{0});
        refusedUntouched(ModelStoreError::Code::damaged);
        // And a folder where the store file belongs cannot be opened.
        QVERIFY(QFile::remove(storeFile) && QDir(folder).mkdir(QStringLiteral("default.store")));
        QCOMPARE(openError(folder), ModelStoreError::Code::cannotOpen);
    }

    void olderStoresMigrateByThePlansStages()
    {
        // A store of an earlier layout: series titles in a column "name".
        QVERIFY(runOnStore(folder, {QStringLiteral("CREATE TABLE StoreMetadata (key TEXT PRIMARY KEY, value TEXT)"),
                                    QStringLiteral("INSERT INTO StoreMetadata VALUES ('version', '0.9.0')"),
                                    QStringLiteral("CREATE TABLE OldSeries (name TEXT)"),
                                    QStringLiteral("INSERT INTO OldSeries VALUES ('from the old store')")}));
        const auto plan = [](bool failing) {
            SchemaMigrationPlan plan = VeloranMigrationPlan::plan();
            plan.stages.append({QVersionNumber(0, 9, 0), QVersionNumber(0, 9, 5),
                                [](QSqlDatabase &database, QString *) {
                                    return QSqlQuery(database).exec(
                                        QStringLiteral("ALTER TABLE OldSeries ADD COLUMN created REAL DEFAULT 5"));
                                }});
            plan.stages.append({QVersionNumber(0, 9, 5), QVersionNumber(1, 0, 0),
                                [failing](QSqlDatabase &database, QString *error) {
                                    for (const EntityType *type : VeloranSchemaV1::models()) {
                                        for (const QString &statement : type->createStatements())
                                            QSqlQuery(database).exec(statement);
                                    }
                                    QSqlQuery(database).exec(
                                        QStringLiteral("INSERT INTO Series (rowKey, title, createdAt) "
                                                       "SELECT rowid, name, created FROM OldSeries"));
                                    if (failing)
                                        *error = QStringLiteral("stage failed");
                                    return !failing;
                                }});
            return plan;
        };

        const QByteArray before = fileHash(storeFile);
        QCOMPARE(openError(folder, plan(true)), ModelStoreError::Code::migrationFailed);
        QCOMPARE(fileHash(storeFile), before);
        QCOMPARE(openError(folder), ModelStoreError::Code::unknownVersion); // no stage in the real plan

        const ModelConfiguration configuration = testConfiguration(folder);
        {
            ModelContainer container(configuration.schema, plan(false), {configuration});
            const QList<Series *> series = container.mainContext().fetch<Series>();
            QCOMPARE(series.size(), 1);
            QCOMPARE(series[0]->title(), QStringLiteral("from the old store"));
            QCOMPARE(series[0]->createdAt(), Date{5});
        }
        // Now at the current version: opens with the plain plan.
        ModelContainer again(configuration.schema, VeloranMigrationPlan::plan(), {configuration});
        QCOMPARE(again.mainContext().fetch<Series>().size(), 1);
    }
};

QTEST_GUILESS_MAIN(StorePersistenceTest)
#include "tst_storepersistence.moc"
