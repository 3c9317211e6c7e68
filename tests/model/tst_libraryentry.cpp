#include "model/AtlasImage.h"
#include "model/LibraryEntry.h"
#include "model/Series.h"

#include <QSet>
#include <QTest>

#include <unordered_set>

class LibraryEntryTest : public QObject {
    Q_OBJECT
private slots:
    void titlesFallBackOnlyForEmptyText()
    {
        auto image = AtlasImage::make();
        QCOMPARE(LibraryEntry::image(image.get()).title(), QStringLiteral("Untitled"));
        image->setTitle(QStringLiteral(" "));
        QCOMPARE(LibraryEntry::image(image.get()).title(), QStringLiteral(" "));

        // An entry shows its series as it is now, under the same identifier.
        auto series = Series::make();
        const LibraryEntry entry = LibraryEntry::series({series.get(), {}});
        const LibraryEntryID before = entry.entryID();
        QCOMPARE(entry.title(), QStringLiteral("Untitled Series"));
        series->setTitle(QStringLiteral(" "));
        series->setCreatedAt(Date{42});
        QCOMPARE(entry.title(), QStringLiteral(" "));
        QCOMPARE(entry.seriesGroup()->displayTitle(), QStringLiteral(" "));
        QCOMPARE(entry.createdAt(), Date{42});
        QCOMPARE(entry.entryID(), before);
    }

    void identifiersDistinguishImagesFromSeries()
    {
        auto image = AtlasImage::make();
        auto series = Series::make(QStringLiteral("S"));
        series->setId(image->id());
        const LibraryEntry imageEntry = LibraryEntry::image(image.get());
        const LibraryEntry seriesEntry = LibraryEntry::series({series.get(), {image.get()}});
        QVERIFY(imageEntry.isImage() && seriesEntry.isSeries());
        QCOMPARE(imageEntry.entryID(), LibraryEntryID::image(image->id()));
        QVERIFY(imageEntry.entryID() != LibraryEntryID::series(image->id()));
        QVERIFY(imageEntry.entryID() != seriesEntry.entryID());
        QCOMPARE(seriesEntry.seriesGroup()->id(), series->id());

        QCOMPARE((QSet<LibraryEntryID>{imageEntry.entryID(), seriesEntry.entryID(), LibraryEntryID::image(image->id())}
                      .size()),
                 2);
        const std::unordered_set<LibraryEntryID> standard{imageEntry.entryID(), seriesEntry.entryID()};
        QVERIFY(standard.size() == 2 && standard.count(LibraryEntryID::series(series->id())) == 1);
    }
};

QTEST_GUILESS_MAIN(LibraryEntryTest)
#include "tst_libraryentry.moc"
