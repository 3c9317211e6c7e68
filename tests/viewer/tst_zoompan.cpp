#include "viewer/CanvasGeometry.h"
#include "viewer/CanvasZoom.h"
#include "viewer/ZoomAnimation.h"
#include "viewer/ZoomPan.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();

ZoomPan zoomPan(double scale, QSizeF offset = {0, 0})
{
    ZoomPan zoom;
    zoom.scale = scale;
    zoom.offset = offset;
    return zoom;
}

CanvasGeometry geometry(QSizeF image, QSizeF viewport, double scale = 1, QSizeF offset = {0, 0})
{
    return {FittedImage(image, viewport), ZoomPanTransform{scale, offset, viewport}};
}

} // namespace

// The zoom of a canvas: the value and its limits, the picture's place in
// the view, the gestures and commands of a viewport of 800 × 600, and the
// glide between zooms.
class ZoomPanTest : public QObject {
    Q_OBJECT
private slots:
    void aspectFit_data()
    {
        QTest::addColumn<QSizeF>("image");
        QTest::addColumn<QSizeF>("viewport");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("wide image") << QSizeF(200, 100) << QSizeF(400, 400) << QRectF(0, 100, 400, 200);
        QTest::newRow("tall image") << QSizeF(100, 200) << QSizeF(400, 400) << QRectF(100, 0, 200, 400);
        QTest::newRow("same aspect") << QSizeF(400, 300) << QSizeF(800, 600) << QRectF(0, 0, 800, 600);
        QTest::newRow("empty image") << QSizeF(0, 0) << QSizeF(800, 600) << QRectF(0, 0, 800, 600);
        QTest::newRow("empty viewport") << QSizeF(400, 300) << QSizeF(0, 0) << QRectF(0, 0, 0, 0);
    }
    void aspectFit()
    {
        QFETCH(QSizeF, image);
        QFETCH(QSizeF, viewport);
        QFETCH(QRectF, rect);
        const FittedImage fitted(image, viewport);
        QCOMPARE(fitted.rect, rect);
        QVERIFY(fitted == FittedImage(image, viewport));
        QVERIFY(!(fitted == FittedImage(image, viewport + QSizeF(1, 0))));
    }

    // Each row: a start value, one operation, the value expected after it.
    void operations_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSizeF>("offset");
        QTest::addColumn<QString>("operation");
        QTest::addColumn<double>("argument");
        QTest::addColumn<QSizeF>("translation");
        QTest::addColumn<double>("expectedScale");
        QTest::addColumn<QSizeF>("expectedOffset");
        const QSizeF none(0, 0);
        QTest::newRow("below 1") << 2.0 << QSizeF(50, 50) << "setScale" << 0.5 << none << 1.0 << none;
        QTest::newRow("above 8") << 1.0 << none << "setScale" << 20.0 << none << 8.0 << none;
        QTest::newRow("NaN ignored") << 3.0 << QSizeF(10, -10) << "setScale" << notANumber << none << 3.0 << QSizeF(10, -10);
        QTest::newRow("infinity ignored") << 3.0 << none << "setScale" << infinity << none << 3.0 << none;
        QTest::newRow("zoom out re-limits") << 3.0 << QSizeF(700, 0) << "zoomOut" << 0.0 << none << 2.0 << QSizeF(400, 0);
        QTest::newRow("zoom in from 1") << 1.0 << none << "zoomIn" << 0.0 << none << 1.5 << none;
        QTest::newRow("zoom in stops at 8") << 7.59375 << none << "zoomIn" << 0.0 << none << 8.0 << none;
        QTest::newRow("zoom out divides") << 8.0 << none << "zoomOut" << 0.0 << none << 8 / 1.5 << none;
        // 7 ÷ 1.5 and 7 × (2 ÷ 3) differ in their last bit.
        QTest::newRow("zoom out divides, to the bit") << 7.0 << none << "zoomOut" << 0.0 << none << 7 / 1.5 << none;
        QTest::newRow("zoom out stops at 1") << 1.2 << none << "zoomOut" << 0.0 << none << 1.0 << none;
        QTest::newRow("pan at 1") << 1.0 << none << "pan" << 0.0 << QSizeF(300, 300) << 1.0 << none;
        QTest::newRow("pan limited") << 2.0 << none << "pan" << 0.0 << QSizeF(1000, -1000) << 2.0 << QSizeF(400, -300);
        QTest::newRow("pan adds") << 2.0 << QSizeF(100, 100) << "pan" << 0.0 << QSizeF(-50, 20) << 2.0 << QSizeF(50, 120);
        QTest::newRow("NaN pan ignored") << 2.0 << QSizeF(100, 0) << "pan" << 0.0 << QSizeF(notANumber, 5) << 2.0 << QSizeF(100, 0);
    }
    void operations()
    {
        QFETCH(double, scale);
        QFETCH(QSizeF, offset);
        QFETCH(QString, operation);
        QFETCH(double, argument);
        QFETCH(QSizeF, translation);
        const QSizeF viewport(800, 600);
        ZoomPan zoom = zoomPan(scale, offset);
        if (operation == "setScale")
            zoom.setScale(argument, viewport);
        else if (operation == "zoomIn")
            zoom.zoomIn(viewport);
        else if (operation == "zoomOut")
            zoom.zoomOut(viewport);
        else
            zoom.pan(translation, viewport);
        QFETCH(double, expectedScale);
        // Compared exactly, not within QCOMPARE's tolerance.
        QVERIFY2(zoom.scale == expectedScale, qPrintable(QString::number(zoom.scale, 'g', 17)));
        QTEST(zoom.offset, "expectedOffset");
    }

    void identityIsUnpanned() { QVERIFY(ZoomPan().isIdentity() && !zoomPan(1, {0, 1}).isIdentity()); }

    void mappings_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSizeF>("offset");
        QTest::newRow("identity") << 1.0 << QSizeF(0, 0);
        QTest::newRow("zoomed and panned") << 3.375 << QSizeF(-250.5, 120);
        QTest::newRow("largest") << 8.0 << QSizeF(2800, -2100);
    }
    void mappings()
    {
        QFETCH(double, scale);
        QFETCH(QSizeF, offset);
        const CanvasGeometry canvas = geometry({300, 200}, {800, 600}, scale, offset);
        for (const QPointF p : {QPointF(0, 0), QPointF(0.25, 0.8), QPointF(1, 1), QPointF(0.5, 0.5)}) {
            const QPointF back = canvas.imagePoint(canvas.viewPoint(p));
            QVERIFY2(std::abs(back.x() - p.x()) < 1e-12 && std::abs(back.y() - p.y()) < 1e-12,
                     qPrintable(QString("%1,%2").arg(back.x()).arg(back.y())));
        }
        // Out-of-range points are limited; the picture's corners land on pictureRect().
        QCOMPARE(canvas.viewPoint({-0.2, 1.3}), canvas.viewPoint({0, 1}));
        QCOMPARE(canvas.viewPoint({0, 0}), canvas.pictureRect().topLeft());
        QCOMPARE(canvas.viewPoint({1, 1}), canvas.pictureRect().bottomRight());
    }

    void mappingEdges()
    {
        const CanvasGeometry identity = geometry({200, 100}, {400, 400});
        QCOMPARE(identity.viewPoint({0.5, 0.5}), QPointF(200, 200));
        QCOMPARE(identity.imagePoint({-50, 20}), QPointF(0, 0));
        QCOMPARE(geometry({200, 100}, {0, 0}).imagePoint({30, 40}), QPointF(0, 0));
        // A zero scale maps view points back unchanged instead of dividing.
        QCOMPARE(geometry({200, 100}, {400, 400}, 0, {10, 10}).imagePoint({200, 200}), QPointF(0.5, 0.5));
    }

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

    // A pinch is followed from the step that first changes the scale by a
    // hundredth; one that never does shows and commits nothing.
    void pinchBeginsAtAHundredth_data()
    {
        QTest::addColumn<QList<double>>("steps");
        QTest::addColumn<double>("shownScale");
        QTest::addColumn<double>("committedScale");
        QTest::newRow("below") << QList<double>{1.009} << 2.0 << 2.0;
        QTest::newRow("below, shrinking") << QList<double>{0.991} << 2.0 << 2.0;
        QTest::newRow("a hundredth") << QList<double>{1.01} << 2.02 << 2.02;
        QTest::newRow("small steps then a hundredth") << QList<double>{1.005, 0.995, 0.99} << 1.98 << 1.98;
        QTest::newRow("back near 1 once begun") << QList<double>{1.5, 1.004} << 2.008 << 2.008;
    }
    void pinchBeginsAtAHundredth()
    {
        QFETCH(QList<double>, steps);
        CanvasZoom zoom;
        zoom.setViewportSize({800, 600});
        zoom.zoomBy(2);
        QSignalSpy shown(&zoom, &CanvasZoom::transformChanged);
        for (double step : steps)
            zoom.changePinch(step);
        QCOMPARE(zoom.isPinching(), !shown.isEmpty());
        QTEST(zoom.transform().scale, "shownScale");
        zoom.endPinch();
        QTEST(zoom.committed().scale, "committedScale");
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

QTEST_GUILESS_MAIN(ZoomPanTest)
#include "tst_zoompan.moc"
