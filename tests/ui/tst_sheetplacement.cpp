#include "ui/SheetPlacement.h"

#include <QTest>

namespace {

// A library window's content on a full HD screen; sheets of an alert's
// size with a title bar.
const QRect screen(0, 0, 1920, 1080);
const QRect window(100, 80, 1200, 760); // right 1299, bottom 839
const QSize sheet(420, 180);

} // namespace

// Where a sheet goes so that the point it names stays in sight.
class SheetPlacementTest : public QObject {
    Q_OBJECT
private slots:
    void theSheetHangsFromTheTopUnlessItWouldCoverThePoint_data()
    {
        QTest::addColumn<QRect>("window");
        QTest::addColumn<QRect>("screen");
        QTest::addColumn<QSize>("frame");
        QTest::addColumn<QPoint>("point"); // null: nothing to keep
        QTest::addColumn<QPoint>("expected");
        const QRect small(100, 50, 800, 600);
        const QSize alert(400, 150);
        QTest::newRow("nothing to keep") << small << QRect() << alert << QPoint() << QPoint(300, 50);
        QTest::newRow("a point far below") << small << QRect() << alert << QPoint(500, 400) << QPoint(300, 50);
        QTest::newRow("a point beside the sheet") << small << QRect() << alert << QPoint(130, 60) << QPoint(300, 50);
        QTest::newRow("a point under the sheet: below it") << small << QRect() << alert << QPoint(500, 80)
                                                          << QPoint(300, 97);
        QTest::newRow("at the margin's edge") << small << QRect() << alert << QPoint(500, 216) << QPoint(300, 50);
        QTest::newRow("one pixel closer") << small << QRect() << alert << QPoint(500, 215) << QPoint(300, 232);
        QTest::newRow("no room below: beside, on the wider side")
            << QRect(100, 50, 800, 200) << QRect() << alert << QPoint(450, 120) << QPoint(467, 50);
        QTest::newRow("beside, on the left") << QRect(100, 50, 800, 200) << QRect() << alert << QPoint(650, 120)
                                             << QPoint(234, 50);

        // Points at each edge of the picture in a library window: the
        // sheet stays at the top unless it would cover them.
        const int home = 100 + (1200 - 420) / 2; // 490
        QTest::newRow("top edge") << window << screen << sheet << QPoint(700, 90) << QPoint(home, 107);
        QTest::newRow("top-left corner") << window << screen << sheet << QPoint(105, 85) << QPoint(home, 80);
        QTest::newRow("top-right corner") << window << screen << sheet << QPoint(1295, 85) << QPoint(home, 80);
        QTest::newRow("top, under the sheet's left end") << window << screen << sheet << QPoint(495, 85)
                                                         << QPoint(home, 102);
        QTest::newRow("left edge") << window << screen << sheet << QPoint(105, 460) << QPoint(home, 80);
        QTest::newRow("right edge") << window << screen << sheet << QPoint(1295, 460) << QPoint(home, 80);
        QTest::newRow("bottom edge") << window << screen << sheet << QPoint(700, 835) << QPoint(home, 80);
        QTest::newRow("bottom-left corner") << window << screen << sheet << QPoint(105, 835) << QPoint(home, 80);
        QTest::newRow("bottom-right corner") << window << screen << sheet << QPoint(1295, 835) << QPoint(home, 80);
        QTest::newRow("just under the sheet's bottom") << window << screen << sheet << QPoint(700, 270)
                                                       << QPoint(home, 287);

        // A window hardly wider than the sheet: the sheet covers every
        // point near its top, from edge to edge.
        const QRect narrow(100, 80, 440, 760); // right 539, bottom 839
        QTest::newRow("narrow, top-left corner") << narrow << screen << sheet << QPoint(105, 85) << QPoint(110, 102);
        QTest::newRow("narrow, top-right corner") << narrow << screen << sheet << QPoint(535, 85) << QPoint(110, 102);
        QTest::newRow("narrow, left edge, high") << narrow << screen << sheet << QPoint(105, 200) << QPoint(110, 217);
        // A short window: a point at its bottom is clear of the sheet.
        const QRect shortWindow(100, 80, 440, 400); // bottom 479
        QTest::newRow("short, bottom edge under the top") << shortWindow << screen << sheet << QPoint(320, 470)
                                                          << QPoint(110, 80);
        QTest::newRow("short, middle: below still fits") << shortWindow << screen << sheet << QPoint(320, 250)
                                                         << QPoint(110, 267);
        // Neither below nor above fits a low wide window: beside, on the
        // side with more room.
        const QRect low(100, 80, 1200, 300); // bottom 379
        QTest::newRow("low, centre: right") << low << screen << sheet << QPoint(690, 200) << QPoint(707, 80);
        QTest::newRow("low, right of centre: left") << low << screen << sheet << QPoint(900, 200) << QPoint(464, 80);
        // Nothing fits in a window barely larger than the sheet: below the
        // point on the screen, outside the window.
        const QRect tiny(100, 80, 430, 200); // bottom 279
        QTest::newRow("tiny, middle: below, on the screen") << tiny << screen << sheet << QPoint(315, 180)
                                                            << QPoint(105, 197);
        QTest::newRow("tiny, at the screen's bottom: above, on the screen")
            << QRect(100, 880, 430, 200) << screen << sheet << QPoint(315, 980) << QPoint(105, 784);
    }
    void theSheetHangsFromTheTopUnlessItWouldCoverThePoint()
    {
        QFETCH(QRect, window);
        QFETCH(QRect, screen);
        QFETCH(QSize, frame);
        QFETCH(QPoint, point);
        const QRect uncovered = point.isNull() ? QRect() : QRect(point, QSize(1, 1));
        const QPoint at = SheetPlacement{window, screen, frame, uncovered}.framePosition();
        QTEST(at, "expected");
        // The marker and the start of its label stay clear, and the sheet
        // stays on the screen.
        const QRect placed(at, frame);
        if (!uncovered.isNull())
            QVERIFY(!placed.intersects(uncovered.adjusted(-16, -16, 16, 16)));
        if (!screen.isNull())
            QVERIFY(screen.contains(placed));
    }

    // Nowhere clear on a screen no larger than the sheet: below the point
    // as far as the screen allows.
    void nowhereClearStaysOnTheScreen()
    {
        const QRect small(0, 0, 430, 200);
        const QPoint at = SheetPlacement{small, small, sheet, QRect(QPoint(215, 100), QSize(1, 1))}.framePosition();
        QCOMPARE(at, QPoint(5, 20));
    }
};

QTEST_GUILESS_MAIN(SheetPlacementTest)

#include "tst_sheetplacement.moc"
