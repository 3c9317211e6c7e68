#include "viewer/CanvasZoom.h"
#include "viewer/ZoomAnimation.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

// Committed zoom and gestures of a canvas with a viewport of 800 × 600.
class CanvasZoomTest : public QObject {
    Q_OBJECT
private slots:
    // Each row: gesture steps, then whether the gesture ends or is cancelled.
    void gestures_data()
    {
        QTest::addColumn<double>("startScale");
        QTest::addColumn<double>("magnification");
        QTest::addColumn<QSizeF>("drag");
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<double>("shownScale");
        QTest::addColumn<QSizeF>("shownOffset");
        QTest::addColumn<double>("committedScale");
        QTest::addColumn<QSizeF>("committedOffset");
        const QSizeF none(0, 0);
        QTest::newRow("pinch to 10x") << 1.0 << 10.0 << none << false << 8.0 << none << 8.0 << none;
        QTest::newRow("pinch below 1x") << 2.0 << 0.3 << none << false << 1.0 << none << 1.0 << none;
        QTest::newRow("drag at 1x") << 1.0 << 1.0 << QSizeF(200, 50) << false << 1.0 << none << 1.0 << none;
        QTest::newRow("drag at 2x") << 2.0 << 1.0 << QSizeF(1000, 0) << false << 2.0 << QSizeF(400, 0) << 2.0
                                    << QSizeF(400, 0);
        QTest::newRow("pinch and drag") << 2.0 << 2.0 << QSizeF(1000, 0) << false << 4.0 << QSizeF(1000, 0) << 4.0
                                        << QSizeF(1000, 0);
        QTest::newRow("cancelled") << 2.0 << 3.0 << QSizeF(100, 100) << true << 6.0 << QSizeF(100, 100) << 2.0
                                   << none;
        QTest::newRow("NaN drag") << 2.0 << 1.0 << QSizeF(std::numeric_limits<double>::quiet_NaN(), 0) << false
                                  << 2.0 << QSizeF(0, 0) << 2.0 << QSizeF(0, 0);
        QTest::newRow("NaN pinch") << 2.0 << std::numeric_limits<double>::quiet_NaN() << none << false << 2.0
                                   << none << 2.0 << none;
    }
    void gestures()
    {
        QFETCH(double, startScale);
        QFETCH(double, magnification);
        QFETCH(QSizeF, drag);
        QFETCH(bool, cancelled);
        CanvasZoom zoom;
        zoom.setViewportSize({800, 600});
        zoom.zoomBy(startScale);
        QSignalSpy committed(&zoom, &CanvasZoom::committedChanged);
        if (magnification != 1)
            zoom.changePinch(magnification);
        if (!drag.isNull())
            zoom.changeDrag(drag);
        QTEST(zoom.transform().scale, "shownScale");
        QTEST(zoom.transform().offset, "shownOffset");
        QCOMPARE(zoom.committed().scale, startScale);
        if (cancelled) {
            zoom.cancelGestures();
        } else {
            zoom.endPinch();
            zoom.endDrag();
        }
        QTEST(zoom.committed().scale, "committedScale");
        QTEST(zoom.committed().offset, "committedOffset");
        // Only a change of the committed zoom is announced.
        QCOMPARE(committed.isEmpty(), zoom.committed().scale == startScale && zoom.committed().offset.isNull());
        // At rest the canvas shows what is committed.
        QVERIFY(!zoom.isPinching() && !zoom.isDragging());
        QCOMPARE(zoom.transform().scale, zoom.committed().scale);
    }

    void commandsAndResize()
    {
        CanvasZoom zoom;
        zoom.setViewportSize({800, 600});
        zoom.zoomBy(3);
        zoom.scroll({700, 0});
        zoom.zoomOut();
        QCOMPARE(zoom.committed().scale, 2.0);
        QCOMPARE(zoom.committed().offset, QSizeF(400, 0));
        // A narrower viewport limits what is shown but keeps the committed offset.
        zoom.setViewportSize({400, 600});
        QCOMPARE(zoom.transform().offset, QSizeF(200, 0));
        QCOMPARE(zoom.committed().offset, QSizeF(400, 0));
        zoom.changeDrag({10, 10});
        zoom.reset();
        QVERIFY(zoom.committed().isIdentity() && !zoom.isDragging());
    }

    void animationGlidesAndSettles()
    {
        ZoomAnimation animation;
        animation.jumpTo({1, {0, 0}, {800, 600}});
        animation.animateTo({2, {100, -50}, {800, 600}});
        QVERIFY(!animation.isSettled());
        double largest = 1;
        for (int frame = 0; frame < 120 && !animation.isSettled(); ++frame) {
            animation.advance(1 / 120.0);
            largest = std::max(largest, animation.shown().scale);
        }
        QVERIFY(animation.isSettled());
        QCOMPARE(animation.shown(), animation.target());
        // Damped: a slight overshoot at most.
        QVERIFY2(largest < 2.05, qPrintable(QString::number(largest)));
        // Halfway there after a response time or so; one big step is stable.
        animation.animateTo({1, {0, 0}, {800, 600}});
        animation.advance(ZoomAnimation::response / 2);
        QVERIFY(animation.shown().scale > 1 && animation.shown().scale < 2);
        animation.advance(10);
        QVERIFY(animation.isSettled());
        // A new viewport is followed at once.
        animation.animateTo({3, {0, 0}, {400, 300}});
        QVERIFY(animation.isSettled());
    }
};

QTEST_GUILESS_MAIN(CanvasZoomTest)
#include "tst_canvaszoom.moc"
