#include "BrowserTestSupport.h"

#include "browser/LibraryGridModel.h"
#include "browser/LibrarySidebar.h"
#include "browser/LibrarySidebarModel.h"
#include "browser/LibraryRow.h"
#include "browser/LibraryThumbnail.h"
#include "ui/AppStyle.h"

#include <QFontMetricsF>
#include <QPersistentModelIndex>
#include <QSignalSpy>
#include <QStandardItemModel>

#include <QTest>

#include <limits>

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
        QTest::addColumn<qint64>("kindRaw");
        QTest::addColumn<std::optional<qint64>>("value");
        QTest::addColumn<QString>("caption");
        const std::optional<qint64> none;
        const auto value = [](qint64 number) { return std::optional<qint64>(number); };
        QTest::newRow("fetal without value") << qint64(2) << none << "Fetal";
        QTest::newRow("fetal 20") << qint64(2) << value(20) << "20w";
        QTest::newRow("neonate") << qint64(3) << none << "Neo";
        QTest::newRow("neonate with value") << qint64(3) << value(4) << "Neo";
        QTest::newRow("months 1") << qint64(4) << value(1) << "1mo";
        QTest::newRow("months without value") << qint64(4) << none << "mo";
        QTest::newRow("years without value") << qint64(5) << none << "y";
        QTest::newRow("years negative") << qint64(5) << value(-3) << "-3y";
        QTest::newRow("years beyond 32 bits") << qint64(5) << value(qint64(1) << 40) << "1099511627776y";
        QTest::newRow("years at the 64-bit limit") << qint64(5) << value(std::numeric_limits<qint64>::min())
                                                   << "-9223372036854775808y";
        QTest::newRow("unspecified") << qint64(1) << value(4) << "-";
        QTest::newRow("unknown") << qint64(0) << none << "-";
        QTest::newRow("outside the kinds") << qint64(42) << value(1) << "-";
        // Read as 32 bits, this kind would be years.
        QTest::newRow("outside the kinds, beyond 32 bits") << (qint64(1) << 32) + 5 << value(1) << "-";
    }
    void ageCaptionReadsTheStoredKind()
    {
        QFETCH(qint64, kindRaw);
        QFETCH(std::optional<qint64>, value);
        QFETCH(QString, caption);
        QCOMPARE(LibrarySidebar::ageCaption(AgeSpec{kindRaw, value}), caption);
    }

    void rowsWrapBetweenWords()
    {
        // Each row holds the given text and a little more: whole words move
        // down, and a word wider than the row breaks.
        const QFont font = AppStyle::headline();
        const auto wrapped = [&font](const QString &text, const QString &fits) {
            return LibraryRowDelegate::wrappedLines(text, font, QFontMetricsF(font).horizontalAdvance(fits) + 1);
        };
        const QStringList words = wrapped(QStringLiteral("Knee series title"), QStringLiteral("Knee serie"));
        const QStringList broken = wrapped(QStringLiteral("Supercalifragilistic"), QStringLiteral("Supercali"));
        QVERIFY2(words.size() >= 2 && broken.size() >= 2, qPrintable(words.join(u'|') + broken.join(u'|')));
        QCOMPARE(words.join(QString()), QStringLiteral("Knee series title"));
        QCOMPARE(broken.join(QString()), QStringLiteral("Supercalifragilistic"));
        for (qsizetype i = 0; i + 1 < words.size(); ++i)
            QVERIFY2(words.at(i).endsWith(u' '), qPrintable(words.join(u'|')));
    }

    // Rows are measured for their own text at the list's width, however
    // often the same texts were measured before at other widths.
    void rowHeightsFollowTheirWidthAndText()
    {
        QStandardItemModel model;
        const auto add = [&model](const LibraryRow &row) {
            auto *item = new QStandardItem;
            item->setData(QVariant::fromValue(row), LibraryRowDelegate::rowRole);
            model.appendRow(item);
            return model.index(model.rowCount() - 1, 0);
        };
        const QModelIndex shortRow = add({QStringLiteral("Knee"), QStringLiteral("MR"), std::nullopt});
        const QModelIndex longRow = add({QStringLiteral("Knee series with a rather long title"),
                                         QStringLiteral("MR | Head | Axial | 34y M"), 12});
        const QModelIndex longCaption = add({QStringLiteral("Knee"), QStringLiteral("MR | Head | Axial | 34y M"), 12});
        LibraryRowDelegate delegate;
        const auto height = [&delegate](const QModelIndex &index, int width) {
            QStyleOptionViewItem option;
            option.rect = QRect(0, 0, width, 10);
            return delegate.sizeHint(option, index).height();
        };
        const int wide = height(shortRow, 1000);
        QCOMPARE(height(longRow, 1000), wide);
        const int narrow = height(longRow, 140);
        QVERIFY2(narrow > wide, qPrintable(QStringLiteral("%1 %2").arg(narrow).arg(wide)));
        QCOMPARE(height(shortRow, 140), wide);
        const int captionWrapped = height(longCaption, 140);
        QVERIFY(captionWrapped > wide && captionWrapped < narrow);
        QCOMPARE(height(longRow, 1000), wide);
        QCOMPARE(height(longCaption, 1000), wide);
        QCOMPARE(height(longRow, 140), narrow);
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
        // Cases compare as they read, age kinds as they are stored.
        a = mrHead(AgeSpec{0, std::nullopt});
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
        // The list keeps each row it has built until it is given entries
        // again, the same ones included (their values may have changed).
        LibrarySidebarModel model;
        model.setEntries({TestLibrary::entry(series), filtered});
        const auto rowAt = [&](int at) { return model.index(at).data(LibraryRowDelegate::rowRole).value<LibraryRow>(); };
        QCOMPARE(rowAt(1).badge, std::optional<int>(1));
        QCOMPARE(rowAt(0).title, QStringLiteral("S"));
        series->setTitle(QStringLiteral("Renamed"));
        second->setModalityRaw(rawValue(Modality::ct));
        model.setEntries(model.entries());
        QCOMPARE(rowAt(0).title, QStringLiteral("Renamed"));
        QVERIFY(rowAt(0).caption.startsWith(QStringLiteral("Mixed | ")));
        QCOMPARE(model.index(1).data(Qt::AccessibleDescriptionRole).toString(), rowAt(1).caption);
        QVERIFY(rowAt(1).caption.startsWith(QStringLiteral("CT | ")));
        model.setEntries({filtered});
        QCOMPARE(rowAt(0).badge, std::optional<int>(1));
    }

    // A list given other rows replaces those from the first that differs to
    // the last that differs: the rows around them stay (a selection or an
    // open editor on them with them), nothing is reset.
    void listsReplaceOnlyTheRowsThatDiffer_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QList<int>>("removed"); // first and last row, or none
        QTest::addColumn<QList<int>>("inserted");
        QTest::newRow("appended") << "abc" << "abcd" << QList<int>{} << QList<int>{3, 3};
        QTest::newRow("removed between") << "abcd" << "abd" << QList<int>{2, 2} << QList<int>{};
        QTest::newRow("removed last") << "abcd" << "abc" << QList<int>{3, 3} << QList<int>{};
        QTest::newRow("replaced") << "abcd" << "abxd" << QList<int>{2, 2} << QList<int>{2, 2};
        QTest::newRow("two swapped") << "abcd" << "acbd" << QList<int>{1, 2} << QList<int>{1, 2};
        QTest::newRow("one more of the same") << "aa" << "aaa" << QList<int>{} << QList<int>{2, 2};
        QTest::newRow("all others") << "ab" << "xyz" << QList<int>{0, 1} << QList<int>{0, 2};
        QTest::newRow("emptied") << "ab" << "" << QList<int>{0, 1} << QList<int>{};
        QTest::newRow("filled") << "" << "ab" << QList<int>{} << QList<int>{0, 1};
    }

    void listsReplaceOnlyTheRowsThatDiffer()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        QFETCH(QList<int>, removed);
        QFETCH(QList<int>, inserted);
        QHash<QChar, AtlasImage *> images;
        const auto imagesOf = [&](const QString &letters) {
            QList<AtlasImage *> list;
            for (QChar letter : letters) {
                if (!images.contains(letter))
                    images.insert(letter, m_library.image(QString(letter)));
                list << images.value(letter);
            }
            return list;
        };
        const auto entriesOf = [&](const QString &letters) {
            QList<LibraryEntry> list;
            for (AtlasImage *image : imagesOf(letters))
                list << LibraryEntry::image(image);
            return list;
        };
        LibrarySidebarModel sidebar;
        LibraryGridModel grid;
        sidebar.setEntries(entriesOf(before));
        grid.setImages(imagesOf(before));
        const QList<QAbstractItemModel *> models{&sidebar, &grid};
        const auto imageAt = [&](QAbstractItemModel *model, int row) {
            return model == &sidebar ? sidebar.entryAt(row)->imageValue() : grid.imageAt(row);
        };
        for (QAbstractItemModel *model : models) {
            QList<QPersistentModelIndex> held;
            for (int row = 0; row < model->rowCount(); ++row)
                held << QPersistentModelIndex(model->index(row, 0));
            QSignalSpy resets(model, &QAbstractItemModel::modelReset);
            QSignalSpy removals(model, &QAbstractItemModel::rowsRemoved);
            QSignalSpy insertions(model, &QAbstractItemModel::rowsInserted);
            if (model == &sidebar)
                sidebar.setEntries(entriesOf(after));
            else
                grid.setImages(imagesOf(after));
            QCOMPARE(resets.count(), 0);
            const auto range = [](const QSignalSpy &spy) {
                return spy.isEmpty() ? QList<int>{} : QList<int>{spy.first().at(1).toInt(), spy.first().at(2).toInt()};
            };
            QVERIFY(removals.count() <= 1 && insertions.count() <= 1);
            QCOMPARE(range(removals), removed);
            QCOMPARE(range(insertions), inserted);
            // Every row shows its image, and the rows kept still show theirs.
            QCOMPARE(model->rowCount(), after.size());
            for (int row = 0; row < after.size(); ++row)
                QCOMPARE(imageAt(model, row), images.value(after.at(row)));
            const int removedCount = removed.isEmpty() ? 0 : removed.at(1) - removed.at(0) + 1;
            int kept = 0;
            for (int row = 0; row < held.size(); ++row) {
                if (!held.at(row).isValid())
                    continue;
                ++kept;
                QCOMPARE(imageAt(model, held.at(row).row()), images.value(before.at(row)));
            }
            QCOMPARE(kept, before.size() - removedCount);
        }
    }

    // Lists of the same entries (one per tab) show the same captions, and
    // entries given again after their images changed show the new ones in
    // every list that is given them.
    void listsOfTheSameEntriesShareCaptions()
    {
        Series *series = m_library.makeSeries(QStringLiteral("S"));
        AtlasImage *first = m_library.image(QStringLiteral("1"), std::nullopt, series);
        m_library.image(QStringLiteral("2"), std::nullopt, series);
        const QList<LibraryEntry> entries{LibraryEntry::series({series, QList<AtlasImage *>(series->images())})};
        const auto caption = [](const LibrarySidebarModel &model) {
            return model.index(0).data(LibraryRowDelegate::rowRole).value<LibraryRow>().caption;
        };
        LibrarySidebarModel one;
        LibrarySidebarModel other;
        one.setEntries(entries);
        other.setEntries(entries);
        const QString shared = LibrarySidebar::seriesCaption(series->images());
        QCOMPARE(caption(one), shared);
        QCOMPARE(caption(other), shared);
        first->setModalityRaw(rawValue(Modality::ct));
        one.setEntries(entries);
        QVERIFY(caption(one).startsWith(QStringLiteral("Mixed | ")));
        other.setEntries(entries);
        QCOMPARE(caption(other), caption(one));
        LibrarySidebarModel later;
        later.setEntries(entries);
        QCOMPARE(caption(later), caption(one));
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
        QCOMPARE(thumbnailAgeSexText(*ct), QStringLiteral("34y M"));
        ct->setAge(AgeSpec{1, std::nullopt});
        ct->setSexRaw(rawValue(Sex::unspecified));
        QCOMPARE(thumbnailAgeSexText(*ct), QStringLiteral(" "));
        ct->setSexRaw(rawValue(Sex::female));
        QCOMPARE(thumbnailAgeSexText(*ct), QStringLiteral(" F"));
    }
};

QTEST_MAIN(LibraryCaptionsTest)
#include "tst_librarycaptions.moc"
