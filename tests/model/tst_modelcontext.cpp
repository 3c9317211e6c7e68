#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/RowKeyMap.h"

#include <QSignalSpy>
#include <QTest>

// In-memory behaviour of the models and the context: relationships and
// their inverses, cascades, fetches, rollback and notifications.
class ModelContextTest : public QObject {
    Q_OBJECT

    std::unique_ptr<ModelContainer> container;
    ModelContext *context = nullptr;

private slots:
    void init()
    {
        container = makeTestContainer();
        context = &container->mainContext();
    }

    void cleanup()
    {
        context = nullptr;
        container.reset();
    }

    void initialisersAssignDeclaredDefaultsAndArguments()
    {
        const Date before = Date::now();
        auto image = AtlasImage::make();
        QCOMPARE(image->modalityRaw(), 3);
        QCOMPARE(image->regionRaw(), 1);
        QCOMPARE(image->planeRaw(), 1);
        QCOMPARE(image->sexRaw(), 1);
        QCOMPARE(image->age(), AgeSpec{});
        QVERIFY(image->isImageDataMissing());
        QCOMPARE(image->sortIndex(), 0);
        QVERIFY(image->createdAt() >= before && image->createdAt() <= Date::now());
        QVERIFY(!image->id().isNull());
        QVERIFY(AtlasImage::make()->id() != image->id());
        // Given a series, the initialiser sets its inverse too.
        auto series = Series::make(QStringLiteral("Knee"));
        auto full = AtlasImage::make(QStringLiteral("T1"), Modality::ct, Region::pelvis, Plane::sagittal,
                                     AgeSpec{5, 40}, Sex::female, QByteArray("abc"), 4, series.get());
        QCOMPARE(series->images(), QList<AtlasImage *>{full.get()});
        QCOMPARE(full->modelContext(), nullptr); // not inserted by the initialiser
    }

    void relationshipWritesMoveBetweenListsAtOnce()
    {
        auto a = Series::make(QStringLiteral("A"));
        auto b = Series::make(QStringLiteral("B"));
        context->insert(a);
        context->insert(b);
        auto first = AtlasImage::make(QStringLiteral("1"));
        auto second = AtlasImage::make(QStringLiteral("2"));
        context->insert(first);
        context->insert(second);
        first->setSeries(a.get());
        second->setSeries(a.get());
        QCOMPARE(a->images(), (QList<AtlasImage *>{first.get(), second.get()}));
        QVERIFY(!a->isEmpty());
        QVERIFY(b->isEmpty());

        first->setSeries(b.get());
        QCOMPARE(a->images(), QList<AtlasImage *>{second.get()});
        QCOMPARE(b->images(), QList<AtlasImage *>{first.get()});
        first->setSeries(nullptr);
        QVERIFY(b->isEmpty());
        // The to-many setter sets the inverse of every image it lists, and
        // clears it for those it drops.
        b->setImages({first.get(), second.get()});
        QCOMPARE(second->series(), b.get());
        QVERIFY(a->isEmpty());
        b->setImages({second.get()});
        QCOMPARE(first->series(), nullptr);
    }

    void linkedObjectsJoinTheContext()
    {
        // Inserting an image inserts its series and annotations.
        auto series = Series::make();
        auto image = AtlasImage::make({}, Modality::mr, Region::head, Plane::unspecified, {}, Sex::unspecified,
                                      std::nullopt, 0, series.get());
        auto point = PointAnnotation::make();
        point->setImage(image.get());
        PointAnnotation::make()->setImage(image.get()); // dropped before the insert
        QSignalSpy inserted(context, &ModelContext::objectInserted);
        context->insert(image);
        QCOMPARE(inserted.count(), 3);
        QCOMPARE(series->modelContext(), context);
        QCOMPARE(point->modelContext(), context);
        // Linking a new object to an inserted one inserts it.
        auto region = RegionAnnotation::make();
        region->setImage(image.get());
        QCOMPARE(region->modelContext(), context);
        QCOMPARE(context->fetch<RegionAnnotation>(), QList<RegionAnnotation *>{region.get()});
        // Inserting again changes nothing.
        context->insert(image);
        context->insert(region);
        QCOMPARE(inserted.count(), 4);
        QCOMPARE(context->fetch<AtlasImage>().size(), 1);
        // Another container in memory is a library of its own.
        QVERIFY(makeTestContainer()->mainContext().fetch<AtlasImage>().isEmpty());
    }

    void fetchSeesUnsavedInsertsNotPendingDeletesAndSortsStably()
    {
        const Date date = Date::now();
        QList<AtlasImage *> made;
        for (int i = 0; i < 6; ++i) {
            auto image = AtlasImage::make(QString::number(i));
            // Three pairs with equal dates, made newest first.
            image->setCreatedAt(date.addingSeconds(10 - (i / 2)));
            context->insert(image);
            made.append(image.get());
        }
        context->save();
        QCOMPARE(context->fetch<AtlasImage>(), made); // stored order

        QCOMPARE(context->fetch<AtlasImage>(&AtlasImage::createdAt),
                 (QList<AtlasImage *>{made[4], made[5], made[2], made[3], made[0], made[1]}));
        QCOMPARE(context->fetch<AtlasImage>(&AtlasImage::createdAt, Qt::DescendingOrder), made);

        auto extra = AtlasImage::make(QStringLiteral("new"));
        context->insert(extra);
        context->deleteObject(made[0]);
        QCOMPARE(context->fetch<AtlasImage>(), made.mid(1) << extra.get());
    }

    void deletingASeriesCascadesToImagesAndAnnotations()
    {
        auto series = Series::make(QStringLiteral("S"));
        auto withNotes = AtlasImage::make(QStringLiteral("a"));
        auto plain = AtlasImage::make(QStringLiteral("b"));
        withNotes->setSeries(series.get());
        plain->setSeries(series.get());
        auto point = PointAnnotation::make(QStringLiteral("p"));
        auto region = RegionAnnotation::make(QStringLiteral("r"));
        point->setImage(withNotes.get());
        region->setImage(withNotes.get());
        auto standalone = AtlasImage::make(QStringLiteral("alone"));
        context->insert(series);
        context->insert(standalone);
        context->save();

        QSignalSpy deleted(context, &ModelContext::objectDeleted);
        QSignalSpy saved(context, &ModelContext::didSave);
        QSignalSpy changed(context, &ModelContext::changed);
        context->deleteObject(series.get());
        QCOMPARE(deleted.count(), 5);
        QCOMPARE(context->fetch<Series>(), QList<Series *>{});
        QCOMPARE(context->fetch<AtlasImage>(), QList<AtlasImage *>{standalone.get()});
        QVERIFY(context->fetch<PointAnnotation>().isEmpty());
        QVERIFY(context->fetch<RegionAnnotation>().isEmpty());
        QVERIFY(withNotes->isDeleted() && point->isDeleted() && region->isDeleted());
        // Deleted objects stay readable.
        QCOMPARE(withNotes->title(), QStringLiteral("a"));
        QCOMPARE(point->label(), QStringLiteral("p"));

        context->save();
        QCOMPARE(saved.count(), 1);
        QVERIFY(changed.count() >= 2);
        QVERIFY(context->fetch<PointAnnotation>().isEmpty());
        QCOMPARE(series->state(), ModelObject::State::removed);
        QCOMPARE(series->title(), QStringLiteral("S"));
    }

    void deletingLeavesWhatIsAbove()
    {
        auto image = AtlasImage::make();
        auto keep = PointAnnotation::make(QStringLiteral("keep"));
        auto drop = PointAnnotation::make(QStringLiteral("drop"));
        keep->setImage(image.get());
        drop->setImage(image.get());
        context->insert(image);
        context->save();
        context->deleteObject(drop.get());
        QCOMPARE(image->points(), QList<PointAnnotation *>{keep.get()});
        QVERIFY(!image->isDeleted());
        // Deleting an image leaves its series.
        auto series = Series::make();
        image->setSeries(series.get());
        context->deleteObject(image.get());
        QVERIFY(!series->isDeleted());
        QVERIFY(series->isEmpty());
        QCOMPARE(context->fetch<Series>(), QList<Series *>{series.get()});
        context->save();
        // An unsaved object deleted is forgotten, and does not come back.
        auto unsaved = AtlasImage::make();
        context->insert(unsaved);
        context->deleteObject(unsaved.get());
        QVERIFY(!context->hasChanges());
        QVERIFY(unsaved->isDeleted());
        context->save();
        context->insert(unsaved);
        QVERIFY(context->fetch<AtlasImage>().isEmpty());
    }

    // Beyond what the library's text in the save-or-roll-back test shows:
    // bytes, an annotation edited and then deleted with its series, objects
    // made since the save, the signal.
    void rollbackReturnsToTheLastSave()
    {
        auto a = Series::make(QStringLiteral("A"));
        auto image = AtlasImage::make(QStringLiteral("kept"));
        image->setSeries(a.get());
        auto point = PointAnnotation::make(QStringLiteral("p"), {}, std::nullopt, 0.5, 0.5);
        point->setImage(image.get());
        auto other = AtlasImage::make(QStringLiteral("other"));
        context->insert(image);
        context->insert(other);
        context->save();

        image->setImageData(QByteArray("new"));
        point->setX(0.9);
        auto added = AtlasImage::make(QStringLiteral("added"));
        added->setSeries(a.get());
        context->insert(added);
        auto addedPoint = PointAnnotation::make();
        addedPoint->setImage(other.get());
        context->deleteObject(a.get()); // cascades to `image`, its point and `added`
        QSignalSpy rolledBack(context, &ModelContext::didRollback);
        context->rollback();
        QCOMPARE(rolledBack.count(), 1);
        QVERIFY(!context->hasChanges());
        QVERIFY(image->isImageDataMissing());
        QCOMPARE(point->x(), 0.5);
        QVERIFY(!a->isDeleted() && !image->isDeleted());
        QCOMPARE(a->images(), QList<AtlasImage *>{image.get()});
        QCOMPARE(image->points(), QList<PointAnnotation *>{point.get()});
        QCOMPARE(added->modelContext(), nullptr);
        QCOMPARE(addedPoint->modelContext(), nullptr);
        QCOMPARE(addedPoint->image(), nullptr);
        QVERIFY(other->points().isEmpty());
        QCOMPARE(context->fetch<AtlasImage>(), (QList<AtlasImage *>{image.get(), other.get()}));
        QCOMPARE(context->fetch<PointAnnotation>(), QList<PointAnnotation *>{point.get()});
    }

    void everyWriteNotifiesAlsoWhenEqual()
    {
        auto image = AtlasImage::make();
        context->insert(image);
        QList<QByteArray> seen;
        const int token = image->addObserver([&](ModelObject *object, const char *property) {
            QCOMPARE(object, image.get());
            seen.append(property);
        });
        QSignalSpy changed(context, &ModelContext::propertyChanged);
        image->setTitle(QStringLiteral("same"));
        image->setTitle(QStringLiteral("same"));
        QCOMPARE(seen, (QList<QByteArray>{"title", "title"}));
        QCOMPARE(changed.count(), 2);
        // Relationship writes notify both ends.
        auto series = Series::make();
        context->insert(series);
        QList<QByteArray> seriesSeen;
        series->addObserver([&](ModelObject *, const char *property) { seriesSeen.append(property); });
        image->setSeries(series.get());
        QCOMPARE(seen.last(), QByteArray("series"));
        QCOMPARE(seriesSeen, QList<QByteArray>{"images"});

        image->removeObserver(token);
        image->setTitle(QStringLiteral("unobserved"));
        QCOMPARE(seen.size(), 3);
    }

    // Objects by row key: a key far beyond the others (a store changed by
    // other means) is kept apart, and still found once the keys after it are
    // many or a load makes room for them.
    void rowKeysFarBeyondTheOthers_data()
    {
        QTest::addColumn<qint64>("farKey");
        QTest::addColumn<int>("following"); // keys added after it, counting on
        QTest::newRow("reached by the keys that follow") << qint64(70000) << 5000;
        QTest::newRow("reached by a load's room") << qint64(70000) << 10;
        QTest::newRow("beyond any vector") << qint64(1000000000000) << 100;
    }

    void rowKeysFarBeyondTheOthers()
    {
        QFETCH(qint64, farKey);
        QFETCH(int, following);
        RowKeyMap<qint64, 0> keys;
        QList<qint64> added{1, 2, 3};
        for (qint64 key = farKey; key <= farKey + following; ++key)
            added << key;
        for (qint64 key : std::as_const(added))
            keys.insert(key, key);
        keys.reserve(farKey + 10000, 10000);
        for (qint64 key : std::as_const(added))
            QCOMPARE(keys.value(key), key);
        keys.insert(farKey, -1); // replaced, not added
        QCOMPARE(keys.size(), added.size());
        keys.remove(farKey);
        QCOMPARE(keys.value(farKey), 0);
        QCOMPARE(keys.size(), added.size() - 1);
    }

    void readOnlyStoreRefusesToSaveAndKeepsTheChanges()
    {
        ModelConfiguration configuration = testConfiguration();
        configuration.allowsSave = false;
        ModelContainer readOnly(configuration.schema, VeloranMigrationPlan::plan(), {configuration});
        readOnly.mainContext().save(); // nothing to write
        readOnly.mainContext().insert(AtlasImage::make());
        try {
            readOnly.mainContext().save();
            QFAIL("saved a read-only store");
        } catch (const ModelStoreError &error) {
            QCOMPARE(error.code(), ModelStoreError::Code::readOnly);
            QVERIFY(!error.description().isEmpty());
        }
        QVERIFY(readOnly.mainContext().hasChanges());
    }

    // A change that waits for the library runs in a turn after the last
    // hold has ended, never while one holds it: a hold taken again before
    // that turn (by its holder, or by another waiting change that ran
    // first) has it wait on.
    void aWaitingChangeWaitsForEveryHold_data()
    {
        QTest::addColumn<int>("holdsAgain"); // how often the library is held again before the turn
        QTest::addColumn<bool>("byAnotherChange");
        QTest::newRow("not held again") << 0 << false;
        QTest::newRow("held again") << 1 << false;
        QTest::newRow("held again twice") << 2 << false;
        QTest::newRow("held again by a change that waited first") << 1 << true;
    }

    void aWaitingChangeWaitsForEveryHold()
    {
        QFETCH(int, holdsAgain);
        QFETCH(bool, byAnotherChange);
        QObject receiver;
        QStringList ran;
        const auto waiting = [&](const QString &name) {
            return [&, name] { ran << name + (context->isHeld() ? QStringLiteral(" while held") : QString()); };
        };
        context->beginHeldChange();
        if (byAnotherChange)
            context->whenUnheld(&receiver, [&] {
                ran << QStringLiteral("holder");
                context->beginHeldChange();
            });
        context->whenUnheld(&receiver, waiting(QStringLiteral("change")));
        context->endHeldChange();
        for (int i = 0; i < holdsAgain && !byAnotherChange; ++i) {
            context->beginHeldChange();
            QCoreApplication::processEvents();
            QCOMPARE(ran, QStringList());
            if (i + 1 < holdsAgain)
                context->endHeldChange();
        }
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        if (holdsAgain > 0) {
            QCOMPARE(ran, byAnotherChange ? QStringList{QStringLiteral("holder")} : QStringList());
            context->endHeldChange();
        }
        QTRY_VERIFY(ran.size() == (byAnotherChange ? 2 : 1));
        QCoreApplication::processEvents();
        QCOMPARE(ran.last(), QStringLiteral("change"));
        QCOMPARE(ran.size(), byAnotherChange ? 2 : 1);
    }

    void objectsOutliveTheirContainer()
    {
        auto image = AtlasImage::make(QStringLiteral("held"));
        auto point = PointAnnotation::make();
        point->setImage(image.get());
        context->insert(image);
        context->save();
        std::shared_ptr<PointAnnotation> held = point;
        image.reset();
        point.reset();
        cleanup();
        // The image went with the context; the point is cut loose, not left
        // pointing at it.
        QCOMPARE(held->image(), nullptr);
        QCOMPARE(held->modelContext(), nullptr);
        held->setLabel(QStringLiteral("still writable"));
    }
};

QTEST_GUILESS_MAIN(ModelContextTest)
#include "tst_modelcontext.moc"
