#include "appkit/CGRect.h"
#include "appkit/NSAttributedString.h"
#include "appkit/NSImage.h"
#include "appkit/NSImageView.h"
#include "appkit/NSWindowController.h"

#include <QTest>

class GeometryTest : public QObject {
    Q_OBJECT

private slots:
    void rectangles()
    {
        QCOMPARE(CGRect::fromPoints({5, 5}, {2, 9}), QRectF(5, 5, -3, 4));
        QCOMPARE(CGRect::description(QRectF(0.4, 1.6, 2, 2)), QStringLiteral("0, 2; 2, 4"));
        const QRectF r(1, 2, 10, 20);
        QCOMPARE(CGRect::insetTo(r, 10, 20), r);
        QCOMPARE(CGRect::insetTo(r, 4, 6), QRectF(4, 9, 4, 6));
        QCOMPARE(CGRect::centredPoint(r, QRectF(50, 50, 3, 8)), QPointF(0, 8));
        QCOMPARE(NSImage::centredFrame({10, 4}, {5, 5}), QRectF(0, 3, 10, 4));
        QCOMPARE(NSAttributedString::centredTextRect({50, 10}, QRectF(0, 0, 100, 30)), QRectF(0, 10, 100, 10));
        QCOMPARE(NSAttributedString::centredTextRect({150, 10}, QRectF(0, 0, 100, 30)), QRectF(0, 0, 100, 30));
    }

    void corners_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QPointF>("bottomLeft");
        QTest::addColumn<QPointF>("topLeft");
        QTest::addColumn<QPointF>("topRight");
        QTest::addColumn<QPointF>("bottomRight");
        QTest::newRow("positive size") << QRectF(1, 2, 10, 20) << QPointF(1, 2) << QPointF(1, 22) << QPointF(11, 22)
                                       << QPointF(11, 2);
        QTest::newRow("drawn back to the origin") << CGRect::fromPoints({2, 2}, {0, 0}) << QPointF(0, 0) << QPointF(0, 2)
                                                  << QPointF(2, 2) << QPointF(2, 0);
        QTest::newRow("drawn leftwards") << CGRect::fromPoints({5, 5}, {2, 9}) << QPointF(2, 5) << QPointF(2, 9)
                                         << QPointF(5, 9) << QPointF(5, 5);
    }

    void corners()
    {
        QFETCH(QRectF, rect);
        QFETCH(QPointF, bottomLeft);
        QFETCH(QPointF, topLeft);
        QFETCH(QPointF, topRight);
        QFETCH(QPointF, bottomRight);
        QCOMPARE(CGRect::bottomLeft(rect), bottomLeft);
        QCOMPARE(CGRect::topLeft(rect), topLeft);
        QCOMPARE(CGRect::topRight(rect), topRight);
        QCOMPARE(CGRect::bottomRight(rect), bottomRight);
    }

    void imageViewPlacesAndMapsTheImage()
    {
        NSImageView view{QSizeF(200, 100), std::nullopt, std::nullopt, true};
        QVERIFY(!view.scaledImageRect());
        QVERIFY(!view.rectInImageCoordinates(QRectF(0, 0, 10, 10)));

        // A small image is not enlarged and sits in the middle.
        view.imageSize = QSizeF(50, 20);
        QCOMPARE(view.scaledImageRect(), QRectF(75, 40, 50, 20));
        view.scalesDownOnly = false;
        QCOMPARE(view.scaledImageRect(), QRectF(0, 10, 200, 80));

        // A large image is scaled down; pixel coordinates double its points.
        view = NSImageView{QSizeF(200, 100), QSizeF(400, 100), QSize(800, 200), true};
        QCOMPARE(view.scaledImageRect(), QRectF(0, 25, 200, 50));
        QCOMPARE(view.rectInImageCoordinates(QRectF(-10, 0, 60, 35)), QRectF(0, 0, 200, 40));
        QVERIFY(!view.rectInImageCoordinates(QRectF(0, 0, 50, 20))); // above the image
        view.pixelSize.reset();
        QCOMPARE(view.rectInImageCoordinates(QRectF(10, 30, 10, 10)), QRectF(10, 5, 10, 10));
    }

    void centredFrameStaysOnTheScreen_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRect>("target");
        QTest::addColumn<QRect>("frame");
        // The screen is (100, 0, 1600, 1000).
        QTest::newRow("over a window") << QSize(400, 300) << QRect(200, 100, 1000, 600) << QRect(500, 250, 400, 300);
        QTest::newRow("over a window past the right and bottom edges")
            << QSize(400, 300) << QRect(1300, 800, 1000, 600) << QRect(1300, 700, 400, 300);
        QTest::newRow("over a window past the left and top edges")
            << QSize(400, 300) << QRect(-900, -500, 1000, 600) << QRect(100, 0, 400, 300);
        QTest::newRow("larger than the screen") << QSize(2000, 1200) << QRect(300, 200, 100, 100)
                                                << QRect(100, 0, 1600, 1000);
    }

    void centredFrameStaysOnTheScreen()
    {
        QFETCH(QSize, size);
        QFETCH(QRect, target);
        QFETCH(QRect, frame);
        QCOMPARE(NSWindow::centredFrame(size, target, QRect(100, 0, 1600, 1000)), frame);
    }

    void mainScreenOnlyWithSeveralScreens()
    {
        QVERIFY(!NSWindowController::mainScreenFrame({QRect(0, 0, 1920, 1080)}, 10, 10));
        QCOMPARE(NSWindowController::mainScreenFrame({QRect(0, 0, 1920, 1080), QRect(1920, 0, 800, 600)}, 100, 50),
                 QRect(100, 50, 1720, 980));
    }
};

QTEST_GUILESS_MAIN(GeometryTest)
#include "tst_geometry.moc"
