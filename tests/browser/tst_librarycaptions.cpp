#include "BrowserTestSupport.h"

#include "browser/LibrarySidebar.h"
#include "browser/LibrarySidebarModel.h"
#include "browser/LibraryThumbnail.h"

#include <QTest>

class LibraryCaptionsTest : public QObject {
    Q_OBJECT
private:
    TestLibrary m_library;

    AtlasImage *mrHead(AgeSpec age = AgeSpec{5, 34}, Sex sex = Sex::male)
    {
        AtlasImage *image = m_library.image(QStringLiteral("Image"));
        image->setAge(age);
        image->setSexRaw(rawValue(sex));
        return image;
    }

private slots:
    void imageCaptionJoinsFourParts()
    {
        QCOMPARE(LibrarySidebar::imageCaption(*mrHead()), QStringLiteral("MR | Head | Axial | 34y M"));
        AtlasImage *odd = mrHead(AgeSpec{7, 3}, Sex::unknown);
        odd->setModalityRaw(8);  // outside the cases
        odd->setRegionRaw(0);
        odd->setPlaneRaw(9);
        QCOMPARE(LibrarySidebar::imageCaption(*odd), QStringLiteral("\u2014 | Unknown | Unknown | - U"));
        AtlasImage *limb = mrHead(AgeSpec{2, 20}, Sex::unspecified);
        limb->setRegionRaw(rawValue(Region::upperLimb));
        limb->setPlaneRaw(rawValue(Plane::unspecified));
        QCOMPARE(LibrarySidebar::imageCaption(*limb), QStringLiteral("MR | Upper limb | Unspecified | 20w U"));
    }

    void ageCaptionReadsTheStoredKind_data()
    {
        QTest::addColumn<int>("kindRaw");
        QTest::addColumn<std::optional<int>>("value");
        QTest::addColumn<QString>("caption");
        const std::optional<int> none;
        QTest::newRow("fetal without value") << 2 << none << "Fetal";
        QTest::newRow("fetal 20") << 2 << std::optional<int>(20) << "20w";
        QTest::newRow("neonate") << 3 << none << "Neo";
        QTest::newRow("neonate with value") << 3 << std::optional<int>(4) << "Neo";
        QTest::newRow("months 1") << 4 << std::optional<int>(1) << "1mo";
        QTest::newRow("months without value") << 4 << none << "mo";
        QTest::newRow("years without value") << 5 << none << "y";
        QTest::newRow("years negative") << 5 << std::optional<int>(-3) << "-3y";
        QTest::newRow("unspecified") << 1 << std::optional<int>(4) << "-";
        QTest::newRow("unknown") << 0 << none << "-";
        QTest::newRow("outside the kinds") << 42 << std::optional<int>(1) << "-";
    }
    void ageCaptionReadsTheStoredKind()
    {
        QFETCH(int, kindRaw);
        QFETCH(std::optional<int>, value);
        QFETCH(QString, caption);
        QCOMPARE(LibrarySidebar::ageCaption(AgeSpec{kindRaw, value}), caption);
    }

    void seriesCaptionShowsWhatTheImagesShare()
    {
        QCOMPARE(LibrarySidebar::seriesCaption({}), QStringLiteral("No images"));
        AtlasImage *a = mrHead();
        QCOMPARE(LibrarySidebar::seriesCaption({a}), LibrarySidebar::imageCaption(*a));
        QCOMPARE(LibrarySidebar::seriesCaption({a, mrHead(AgeSpec{5, 34}, Sex::female)}),
                 QStringLiteral("MR | Head | Axial | 34y Mixed"));
        QCOMPARE(LibrarySidebar::seriesCaption({a, mrHead(AgeSpec{5, 35}, Sex::male)}),
                 QStringLiteral("MR | Head | Axial | Mixed M"));
        QCOMPARE(LibrarySidebar::seriesCaption({a, mrHead(AgeSpec{5, 35}, Sex::female)}),
                 QStringLiteral("MR | Head | Axial | Mixed"));
        // A value and no value differ.
        QCOMPARE(LibrarySidebar::seriesCaption({a, mrHead(AgeSpec{5, std::nullopt}, Sex::male)}),
                 QStringLiteral("MR | Head | Axial | Mixed M"));
    }

    void seriesCaptionComparesMappedCasesButStoredAgeKinds()
    {
        AtlasImage *a = mrHead(AgeSpec{0, std::nullopt});
        AtlasImage *b = mrHead(AgeSpec{1, std::nullopt});
        a->setModalityRaw(0);
        b->setModalityRaw(12); // reads as unknown too
        QCOMPARE(LibrarySidebar::imageCaption(*a).section(QStringLiteral(" | "), 3), QStringLiteral("- M"));
        QCOMPARE(LibrarySidebar::imageCaption(*b).section(QStringLiteral(" | "), 3), QStringLiteral("- M"));
        QCOMPARE(LibrarySidebar::seriesCaption({a, b}), QStringLiteral("\u2014 | Head | Axial | Mixed M"));
        AtlasImage *c = mrHead();
        c->setModalityRaw(rawValue(Modality::ct));
        QVERIFY(LibrarySidebar::seriesCaption({a, c}).startsWith(QStringLiteral("Mixed | Head")));
        // A difference late in the list counts as well.
        AtlasImage *d = mrHead();
        d->setPlaneRaw(rawValue(Plane::sagittal));
        QCOMPARE(LibrarySidebar::seriesCaption({mrHead(), mrHead(), d}), QStringLiteral("MR | Head | Mixed | 34y M"));
    }

    void rowsOfEntries()
    {
        AtlasImage *untitled = m_library.image(QString());
        QCOMPARE(LibrarySidebarModel::row(TestLibrary::entry(untitled)).title, QStringLiteral("Untitled"));
        QVERIFY(!LibrarySidebarModel::row(TestLibrary::entry(untitled)).badge);
        AtlasImage *blank = m_library.image(QStringLiteral(" "));
        QCOMPARE(LibrarySidebarModel::row(TestLibrary::entry(blank)).title, QStringLiteral(" "));
        Series *empty = m_library.makeSeries(QString());
        const LibraryRow row = LibrarySidebarModel::row(TestLibrary::entry(empty));
        QCOMPARE(row.title, QStringLiteral("Untitled Series"));
        QCOMPARE(row.caption, QStringLiteral("No images"));
        QCOMPARE(row.badge, std::optional<int>(0));
        // The badge counts the images the entry carries, not the series.
        Series *series = m_library.makeSeries(QStringLiteral("S"));
        m_library.image(QStringLiteral("1"), std::nullopt, series);
        AtlasImage *second = m_library.image(QStringLiteral("2"), std::nullopt, series);
        const LibraryEntry filtered = LibraryEntry::series({series, {second}});
        QCOMPARE(LibrarySidebarModel::row(filtered).badge, std::optional<int>(1));
    }

    void thumbnailCaptions()
    {
        Series *series = m_library.makeSeries(QStringLiteral("Brain"));
        AtlasImage *same = m_library.image(QStringLiteral("Brain"), std::nullopt, series);
        AtlasImage *own = m_library.image(QStringLiteral("Slice 2"), std::nullopt, series);
        AtlasImage *untitledInSeries = m_library.image(QString(), std::nullopt, series);
        QCOMPARE(thumbnailTitle(*same), QStringLiteral("Brain"));
        QCOMPARE(thumbnailTitle(*own), QStringLiteral("Brain / Slice 2"));
        QCOMPARE(thumbnailTitle(*untitledInSeries), QStringLiteral("Brain"));
        Series *nameless = m_library.makeSeries(QString());
        AtlasImage *inNameless = m_library.image(QStringLiteral("Untitled Series"), std::nullopt, nameless);
        QCOMPARE(thumbnailTitle(*inNameless), QStringLiteral("Untitled Series"));
        QCOMPARE(thumbnailTitle(*m_library.image(QString())), QStringLiteral("Untitled"));

        AtlasImage *ct = m_library.image(QStringLiteral("x"));
        ct->setModalityRaw(rawValue(Modality::ct));
        QCOMPARE(thumbnailMetadataText(*ct), QStringLiteral("CT Head Axial"));
        QCOMPARE(thumbnailAgeSexText(*ct), ct->age().compactText() + QStringLiteral(" M"));
        ct->setAge(AgeSpec{1, std::nullopt});
        ct->setSexRaw(rawValue(Sex::unspecified));
        QCOMPARE(thumbnailAgeSexText(*ct), QStringLiteral(" "));
        ct->setSexRaw(rawValue(Sex::female));
        QCOMPARE(thumbnailAgeSexText(*ct), QStringLiteral(" F"));
    }
};

QTEST_MAIN(LibraryCaptionsTest)
#include "tst_librarycaptions.moc"
