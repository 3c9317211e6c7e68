#include "StoreTestSupport.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"

#include <QSignalSpy>
#include <QTest>

class ModelContextTest : public QObject {
    Q_OBJECT
private slots:
    void insertFetchAndRelationships()
    {
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        auto series = Series::make(QStringLiteral("Skull"));
        auto image = AtlasImage::make(QStringLiteral("Lateral"));
        image->setSeries(series.get());
        QCOMPARE(series->images(), QList<AtlasImage *>{image.get()});
        context.insert(image);
        QCOMPARE(context.fetch<Series>(), QList<Series *>{series.get()});
        QCOMPARE(context.fetch<AtlasImage>(), QList<AtlasImage *>{image.get()});
        context.save();
        QVERIFY(!context.hasChanges());
    }
};

QTEST_GUILESS_MAIN(ModelContextTest)
#include "tst_modelcontext.moc"
