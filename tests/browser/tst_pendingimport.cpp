#include "browser/MetadataDraft.h"
#include "browser/PendingImageImport.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "model/StoreTestSupport.h"

#include <QTest>

namespace {

ImportedImage picked(const QString &title)
{
    return ImportedImage{QUuid::createUuid(), QUrl::fromLocalFile(QStringLiteral("/tmp/") + title + QStringLiteral(".png")),
                         title, QByteArray("png")};
}

} // namespace

// The import waiting for its metadata sheet, and the draft the sheet edits.
class PendingImportTest : public QObject {
    Q_OBJECT
private slots:
    void newEntryDrafts()
    {
        PendingImageImport one{QUuid::createUuid(), {picked(QStringLiteral("knee"))}, PendingImageImport::Destination::newEntry()};
        QCOMPARE(one.imageCount(), 1);
        QCOMPARE(one.headerSubtitle(), std::nullopt);
        QCOMPARE(one.initialDraft(), MetadataDraft(QStringLiteral("knee"))); // titled after the file, the rest as a new draft has it
        QCOMPARE(metadataAppliesSubtitle(one.imageCount()), QStringLiteral("Metadata applies to this image."));
        PendingImageImport three{QUuid::createUuid(),
                                 {picked(QStringLiteral("a")), picked(QStringLiteral("b")), picked(QStringLiteral("c"))},
                                 PendingImageImport::Destination::newEntry()};
        QCOMPARE(three.initialDraft().title, QStringLiteral("Imported Series"));
        QCOMPARE(metadataAppliesSubtitle(three.imageCount()), QStringLiteral("Metadata applies to 3 ordered images."));
        PendingImageImport none{QUuid::createUuid(), {}, PendingImageImport::Destination::newEntry()};
        QCOMPARE(none.defaultTitle(), QStringLiteral("Imported Series"));
    }

    void draftsForExistingEntries()
    {
        auto container = makeTestContainer();
        ModelContext &context = container->mainContext();
        Series *series = context.insert(Series::make(QStringLiteral("Pelvis")));
        for (int i = 0; i < 5; ++i) {
            AtlasImage *image = context.insert(AtlasImage::make(QStringLiteral("p%1").arg(i)));
            image->setSortIndex(i == 3 ? -1 : i + 10);
            image->setModalityRaw(i == 3 ? 5 : 2);
            image->setSeries(series);
        }
        // Equal lowest sort indices: the first in the list wins.
        AtlasImage *tie = context.insert(AtlasImage::make(QStringLiteral("tie")));
        tie->setSortIndex(-1);
        tie->setSeries(series);
        PendingImageImport toSeries{QUuid::createUuid(), {picked(QStringLiteral("x")), picked(QStringLiteral("y"))},
                                    PendingImageImport::Destination::series(series)};
        QCOMPARE(toSeries.imageCount(), 8);
        QCOMPARE(toSeries.headerSubtitle(), QStringLiteral("Metadata applies to the 2 images being added."));
        const MetadataDraft seriesDraft = toSeries.initialDraft();
        QCOMPARE(seriesDraft.title, QStringLiteral("Pelvis"));
        QCOMPARE(seriesDraft.modality, Modality::pt);
        Series *empty = context.insert(Series::make(QStringLiteral("Nothing yet")));
        QCOMPARE(MetadataDraft::fromSeries(*empty), MetadataDraft(QStringLiteral("Nothing yet")));
        AtlasImage *lone = context.insert(AtlasImage::make(QStringLiteral("Lone")));
        lone->setPlaneRaw(7);
        lone->setAge(AgeSpec{3, std::nullopt});
        PendingImageImport toImage{QUuid::createUuid(), {picked(QStringLiteral("z"))},
                                   PendingImageImport::Destination::standaloneImage(lone)};
        QCOMPARE(toImage.imageCount(), 2);
        QCOMPARE(toImage.headerSubtitle(), QStringLiteral("Metadata applies to the image being added."));
        const MetadataDraft imageDraft = toImage.initialDraft();
        QCOMPARE(imageDraft.title, QStringLiteral("Lone"));
        QCOMPARE(imageDraft.plane, Plane::unknown);
        QCOMPARE(imageDraft.ageKind, AgeSpec::Kind::neonate);
        QCOMPARE(imageDraft.ageValue, 30);
        // Destinations are available while their object is in the library.
        QVERIFY(toImage.destination.isAvailable());
        lone->setSeries(empty);
        QVERIFY(!toImage.destination.isAvailable());
        QVERIFY(toSeries.destination.isAvailable());
        context.deleteObject(series);
        QVERIFY(!toSeries.destination.isAvailable());
        QVERIFY(PendingImageImport::Destination::newEntry().isAvailable());
        auto detached = Series::make(QStringLiteral("never inserted"));
        QVERIFY(!PendingImageImport::Destination::series(detached.get()).isAvailable());
    }

    void ageAndApply()
    {
        QCOMPARE(MetadataDraft::ageValueRange(AgeSpec::Kind::neonate), (std::pair<qint64, qint64>{0, 120}));
        QCOMPARE(MetadataDraft::ageValueRange(AgeSpec::Kind::unknown), (std::pair<qint64, qint64>{0, 120}));
        MetadataDraft draft(QStringLiteral("  Skull \n"));
        draft.ageKind = AgeSpec::Kind::months;
        draft.ageValue = 40;
        QCOMPARE(draft.ageSpec(), (AgeSpec{4, 40}));
        const MetadataDraft normalized = draft.normalized();
        QCOMPARE(normalized.title, QStringLiteral("Skull"));
        QCOMPARE(normalized.ageValue, 17);
        draft.ageKind = AgeSpec::Kind::fetal;
        draft.ageValue = 0;
        QCOMPARE(draft.normalized().ageValue, 1);
        for (AgeSpec::Kind kind : {AgeSpec::Kind::neonate, AgeSpec::Kind::unspecified, AgeSpec::Kind::unknown}) {
            draft.ageKind = kind;
            QCOMPARE(draft.ageSpec().value, std::nullopt);
        }
        auto image = AtlasImage::make(QStringLiteral("old"));
        image->setSortIndex(9);
        MetadataDraft edit(QStringLiteral(" Blank "));
        edit.modality = Modality::xa;
        edit.region = Region::pelvis;
        edit.plane = Plane::sagittal;
        edit.ageKind = AgeSpec::Kind::years;
        edit.ageValue = 64;
        edit.sex = Sex::male;
        edit.apply(*image);
        QCOMPARE(image->title(), QStringLiteral(" Blank "));
        QCOMPARE(image->modalityRaw(), 7);
        QCOMPARE(image->regionRaw(), 6);
        QCOMPARE(image->planeRaw(), 4);
        QCOMPARE(image->age(), (AgeSpec{5, 64}));
        QCOMPARE(image->sexRaw(), 2);
        QCOMPARE(image->sortIndex(), 9);
        QCOMPARE(MetadataDraft::fromImage(*image), edit);
        QCOMPARE(qHash(MetadataDraft::fromImage(*image)), qHash(edit));
    }
};

QTEST_GUILESS_MAIN(PendingImportTest)
#include "tst_pendingimport.moc"
