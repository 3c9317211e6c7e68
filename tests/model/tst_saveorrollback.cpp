#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/SaveOrRollBack.h"
#include "model/Series.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// The library as text: each series with its images and their points.
QString describe(ModelContext &context)
{
    QStringList parts;
    for (const AtlasImage *image : context.fetch<AtlasImage>()) {
        QString part = (image->series() ? image->series()->title() + QLatin1Char('/') : QString()) + image->title();
        for (const PointAnnotation *point : image->points())
            part += QLatin1Char('.') + point->label();
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
}

using Change = std::function<void(ModelContext &)>;

} // namespace
Q_DECLARE_METATYPE(Change)

// Ending a change: saved, or rolled back with the store's error so that no
// later save writes any of it.
class SaveOrRollBackTest : public QObject {
    Q_OBJECT
private slots:
    void endsAChange_data()
    {
        QTest::addColumn<Change>("change");
        QTest::addColumn<bool>("failing");
        QTest::addColumn<QString>("stored");
        // An insert, edits and a delete; what the context restores is
        // proven with the context itself.
        const Change change = [](ModelContext &context) {
            AtlasImage *image = context.insert(AtlasImage::make(QStringLiteral("c")));
            auto point = PointAnnotation::make(QStringLiteral("q"));
            point->setImage(image);
            image->setSeries(context.fetch<Series>().first());
            AtlasImage *a = context.fetch<AtlasImage>().first();
            a->setTitle(QStringLiteral("renamed"));
            context.deleteObject(a->points().first());
            context.fetch<AtlasImage>().at(1)->setSeries(nullptr);
        };
        const Change removeAll = [](ModelContext &context) { context.deleteObject(context.fetch<Series>().first()); };
        QTest::newRow("saved") << change << false << QStringLiteral("S/renamed b S/c.q");
        QTest::newRow("failed") << change << true << QStringLiteral("S/a.p S/b");
        QTest::newRow("cascading delete failed") << removeAll << true << QStringLiteral("S/a.p S/b");
    }

    void endsAChange()
    {
        QFETCH(Change, change);
        QFETCH(bool, failing);
        QFETCH(QString, stored);
        QTemporaryDir folder;
        auto container = makeTestContainer(folder.path());
        ModelContext &context = container->mainContext();
        Series *series = context.insert(Series::make(QStringLiteral("S")));
        AtlasImage *a = context.insert(AtlasImage::make(QStringLiteral("a")));
        a->setSeries(series);
        auto point = PointAnnotation::make(QStringLiteral("p"));
        point->setImage(a);
        context.insert(AtlasImage::make(QStringLiteral("b")))->setSeries(series);
        context.save();
        FailingWrites writes(folder.path());

        change(context);
        writes.set(failing);
        const std::optional<ModelStoreError> error = saveOrRollBack(context);
        QCOMPARE(error.has_value(), failing);
        if (error)
            QCOMPARE(error->code(), ModelStoreError::Code::saveFailed);
        QVERIFY(!context.hasChanges());
        QCOMPARE(describe(context), stored);
        // Nothing of a failed change reaches a later save, also one that
        // writes a row again from memory.
        writes.set(false);
        if (const QList<AtlasImage *> images = context.fetch<AtlasImage>(); !images.isEmpty())
            images.first()->setSortIndex(0);
        QVERIFY(!saveOrRollBack(context));
        container.reset();
        container = makeTestContainer(folder.path());
        QCOMPARE(describe(container->mainContext()), stored);
    }
};

QTEST_GUILESS_MAIN(SaveOrRollBackTest)
#include "tst_saveorrollback.moc"
