#include "support/CanvasGestures.h"
#include "viewer/CanvasOverlay.h"
#include "viewer/CanvasZoom.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomControls.h"
#include "viewer/ZoomableImage.h"

#include <QAccessible>
#include <QAction>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>

namespace {

// Records what the canvas hands it; takes presses inside `grabbed`.
class RecordingOverlay : public CanvasOverlay {
public:
    void prepare(const CanvasGeometry &geometry, qreal) override { prepared.append(geometry); }
    void paint(QPainter &, const CanvasGeometry &geometry) override { painted.append(geometry); }
    bool pointerPressed(const QPointF &position, const CanvasGeometry &) override
    {
        calls.append("press");
        return grabbed.contains(position);
    }
    void pointerMoved(const QPointF &, const CanvasGeometry &) override { calls.append("move"); }
    void pointerReleased(const QPointF &, const CanvasGeometry &) override { calls.append("release"); }
    void pointerCancelled() override { calls.append("cancel"); }
    void tapped(const QPointF &, int count, const CanvasGeometry &) override { calls.append(QString("tap%1").arg(count)); }
    QList<OverlayControl> controls(const CanvasGeometry &) override { return offered; }
    std::optional<Qt::CursorShape> cursorAt(const QPointF &position, const CanvasGeometry &) const override
    {
        return pointing.contains(position) ? std::optional(Qt::PointingHandCursor) : std::nullopt;
    }

    QRectF grabbed;
    QRectF pointing;
    QList<OverlayControl> offered;
    QStringList calls;
    QList<CanvasGeometry> prepared, painted;
};

} // namespace

class ZoomableImageTest : public QObject {
    Q_OBJECT

    ZoomableImage *viewer = nullptr;
    PictureSource *picture = nullptr;
    RecordingOverlay *overlay = nullptr;

    const ZoomPan &committed() const { return viewer->zoom()->committed(); }
    void setCommitted(double scale, QSizeF offset = {0, 0})
    {
        viewer->zoom()->reset();
        viewer->zoom()->zoomBy(scale);
        viewer->zoom()->scroll(offset);
    }
    void wheel(QPoint angle, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QPoint pixels = {})
    {
        const QPointF at(400, 300);
        QWheelEvent event(at, viewer->mapToGlobal(at), pixels, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(viewer, &event);
    }
    void pinch(Qt::NativeGestureType type, double value = 0) { sendPinch(viewer, type, value); }
    // What is painted now.
    ZoomPanTransform shown() const { return viewer->geometry().transform; }

private slots:
    void init()
    {
        viewer = new ZoomableImage;
        picture = new PictureSource(viewer);
        overlay = new RecordingOverlay;
        overlay->setParent(viewer);
        QImage image(400, 300, QImage::Format_RGB32);
        image.fill(Qt::white);
        picture->setImage(image);
        viewer->setPicture(picture);
        viewer->setOverlay(overlay);
        viewer->resize(800, 600);
        viewer->show();
        viewer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(viewer));
    }
    void cleanup() { delete viewer; }

    void buttonsFollowTheCommittedZoom()
    {
        ZoomControls *controls = viewer->controls();
        const auto states = [&] {
            return QList<bool>{controls->zoomOutAction()->isEnabled(), controls->resetAction()->isEnabled(),
                               controls->zoomInAction()->isEnabled()};
        };
        QCOMPARE(states(), QList<bool>({false, false, true}));
        for (int i = 0; i < 6; ++i)
            controls->zoomInAction()->trigger();
        QCOMPARE(committed().scale, 8.0);
        QCOMPARE(states(), QList<bool>({true, true, false}));
        // A running gesture does not change them.
        viewer->zoom()->changePinch(0.1);
        QCOMPARE(states(), QList<bool>({true, true, false}));
        // The bar sits 10 points in from the top-trailing corner.
        QCOMPARE(controls->geometry().topRight(), QPoint(800 - 10 - 1, 10));
        // The reset button glides back; another picture starts at the identity at once.
        viewer->zoom()->cancelGestures();
        QTRY_VERIFY(viewer->isResting());
        controls->resetAction()->trigger();
        QVERIFY(committed().isIdentity() && !viewer->isResting());
        viewer->resetZoom();
        QVERIFY(viewer->isResting() && shown().scale == 1);
        viewer->zoom()->zoomBy(4);
        viewer->resetZoom();
        QVERIFY(viewer->isResting() && viewer->geometry().transform.scale == 1);
    }

    void shortcuts_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<double>("scale");
        // From 2.25×.
        QTest::newRow("Ctrl+-") << int(Qt::Key_Minus) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1.5;
        QTest::newRow("Ctrl+0") << int(Qt::Key_0) << Qt::KeyboardModifiers(Qt::ControlModifier) << 1.0;
        QTest::newRow("Ctrl++") << int(Qt::Key_Plus) << Qt::KeyboardModifiers(Qt::ControlModifier) << 3.375;
        QTest::newRow("Ctrl+=") << int(Qt::Key_Equal) << Qt::KeyboardModifiers(Qt::ControlModifier) << 3.375;
        QTest::newRow("plain =") << int(Qt::Key_Equal) << Qt::KeyboardModifiers() << 2.25;
    }
    void shortcuts()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        setCommitted(2.25);
        QTest::keyClick(viewer, Qt::Key(key), modifiers);
        QTEST(committed().scale, "scale");
        // A plus typed as Shift and = comes as both Ctrl++ and Ctrl+Shift+=:
        // one shortcut only may match it, or Qt finds it ambiguous and the
        // press does nothing.
        const QList<QKeySequence> zoomIn = viewer->controls()->zoomInAction()->shortcuts();
        QCOMPARE(zoomIn.count(QKeySequence(Qt::CTRL | Qt::Key_Plus))
                     + zoomIn.count(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Equal)),
                 1);
    }

    void wheel()
    {
        wheel({0, 120}, Qt::ControlModifier);
        QCOMPARE(committed().scale, 1.5);
        wheel({0, -240}, Qt::ControlModifier);
        QCOMPARE(committed().scale, 1.0);
        // Unzoomed, a plain wheel is left to the surroundings.
        QWheelEvent ignored(QPointF(1, 1), QPointF(1, 1), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                            Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewer, &ignored);
        QVERIFY(!ignored.isAccepted());
    }

    // The picture pans by dragging: zoomed or not, a wheel without Ctrl
    // (notches, a touchpad's pixels, Shift for sideways) moves nothing and
    // is left to the surroundings.
    void plainWheelDoesNotPan_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("angle");
        QTest::addColumn<QPoint>("pixels");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::newRow("notch") << 2.0 << QPoint(0, -120) << QPoint() << Qt::KeyboardModifiers();
        QTest::newRow("touchpad") << 2.0 << QPoint(-40, -120) << QPoint(-10, -30) << Qt::KeyboardModifiers();
        QTest::newRow("shift, sideways") << 4.0 << QPoint(0, 120) << QPoint() << Qt::KeyboardModifiers(Qt::ShiftModifier);
        QTest::newRow("unzoomed") << 1.0 << QPoint(0, -120) << QPoint() << Qt::KeyboardModifiers();
    }
    void plainWheelDoesNotPan()
    {
        QFETCH(double, scale);
        QFETCH(QPoint, angle);
        QFETCH(QPoint, pixels);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        setCommitted(scale);
        const QPointF at(400, 300);
        QWheelEvent event(at, viewer->mapToGlobal(at), pixels, angle, Qt::NoButton, modifiers, Qt::NoScrollPhase,
                          false);
        QApplication::sendEvent(viewer, &event);
        QVERIFY(!event.isAccepted());
        QCOMPARE(committed().scale, scale);
        QCOMPARE(committed().offset, QSizeF(0, 0));
    }

    void dragPans_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPoint>("drag");
        QTest::addColumn<QSizeF>("offset");
        QTest::newRow("at 1x") << 1.0 << QPoint(300, 100) << QSizeF(0, 0);
        QTest::newRow("at 2x, limited") << 2.0 << QPoint(1000, 0) << QSizeF(400, 0);
        QTest::newRow("at 2x, within the limits") << 2.0 << QPoint(100, 40) << QSizeF(100, 40);
    }
    // The pointer keeps its arrow over the picture, zoomed or not, and
    // while it pans; only what the overlay offers changes it.
    void dragPans()
    {
        QFETCH(double, scale);
        QFETCH(QPoint, drag);
        setCommitted(scale);
        overlay->pointing = QRectF(0, 0, 20, 20);
        const auto arrow = [this] { return viewer->cursor().shape() == Qt::ArrowCursor; };
        const QPoint from(100, 100);
        QTest::mouseMove(viewer, QPoint(10, 10));
        QCOMPARE(viewer->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(viewer, from);
        QVERIFY(arrow());
        QTest::mousePress(viewer, Qt::LeftButton, {}, from);
        QVERIFY(arrow());
        QTest::mouseMove(viewer, from + drag / 2);
        QVERIFY(arrow());
        QCOMPARE(committed().offset, QSizeF(0, 0));
        QTest::mouseMove(viewer, from + drag);
        QTest::mouseRelease(viewer, Qt::LeftButton, {}, from + drag);
        QVERIFY(arrow());
        QTEST(committed().offset, "offset");
        // The picture comes to rest where the drag left it, not beyond.
        QTRY_VERIFY(viewer->isResting());
        QTEST(viewer->geometry().transform.offset, "offset");
        QCOMPARE(overlay->calls, QStringList({"press"}));
    }

    // A pinch (to 2× the committed 2×) while the overlay holds a press,
    // then ended or cancelled.
    void gestureEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<double>("committedScale");
        QTest::newRow("ended") << "end" << 4.0;
        QTest::newRow("hidden") << "hide" << 2.0;
        QTest::newRow("focus lost") << "focus" << 2.0;
        QTest::newRow("release lost") << "release" << 2.0;
    }
    void gestureEnds()
    {
        QFETCH(QString, how);
        setCommitted(2);
        overlay->grabbed = QRectF(0, 0, 50, 50);
        QTest::mousePress(viewer, Qt::LeftButton, {}, QPoint(10, 10));
        pinch(Qt::BeginNativeGesture);
        pinch(Qt::ZoomNativeGesture, 0.5);
        pinch(Qt::ZoomNativeGesture, 1 / 3.0);
        QCOMPARE(viewer->zoom()->transform().scale, 4.0);
        if (how == "hide") {
            viewer->hide();
        } else if (how == "focus") {
            QWidget other;
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
        } else if (how == "release") {
            QMouseEvent move(QEvent::MouseMove, QPointF(30, 30), viewer->mapToGlobal(QPointF(30, 30)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
        }
        pinch(Qt::EndNativeGesture);
        QTEST(committed().scale, "committedScale");
        QCOMPARE(overlay->calls.contains("cancel"), how != "end");
        QVERIFY(!viewer->zoom()->isPinching() && !viewer->zoom()->isDragging());
    }

    // A pinch or a drag glides on the springs on each of its steps, with
    // the overlay drawn where the picture is on the way. Its end commits
    // where the glide was heading, which goes on there; a cancelled one
    // commits nothing and glides back.
    void gesturesGlide_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<double>("magnification"); // or the drag's length across
        QTest::addColumn<bool>("cancelled");
        QTest::addColumn<double>("scale");         // committed at the end
        QTest::addColumn<QSizeF>("offset");
        // From 2× with the offset (100, 50) in 800 × 600.
        QTest::newRow("pinch") << "pinch" << 1.5 << false << 3.0 << QSizeF(100, 50);
        QTest::newRow("pinch past 8x") << "pinch" << 5.0 << false << 8.0 << QSizeF(100, 50);
        QTest::newRow("pinch below 1x") << "pinch" << 0.25 << false << 1.0 << QSizeF(0, 0);
        QTest::newRow("drag") << "drag" << -150.0 << false << 2.0 << QSizeF(-50, 50);
        QTest::newRow("drag past the limit") << "drag" << 1000.0 << false << 2.0 << QSizeF(400, 50);
        QTest::newRow("pinch, canvas hidden") << "pinch" << 1.5 << true << 2.0 << QSizeF(100, 50);
        QTest::newRow("drag, release lost") << "drag" << -150.0 << true << 2.0 << QSizeF(100, 50);
    }
    void gesturesGlide()
    {
        QFETCH(QString, gesture);
        QFETCH(double, magnification);
        QFETCH(bool, cancelled);
        setCommitted(2, {100, 50});
        QVERIFY(settleZoom(viewer));
        const ZoomPanTransform before = shown();
        const QPoint from(400, 300);
        if (gesture == "pinch") {
            pinch(Qt::BeginNativeGesture);
            pinch(Qt::ZoomNativeGesture, magnification - 1);
        } else {
            QTest::mousePress(viewer, Qt::LeftButton, {}, from);
            QTest::mouseMove(viewer, from + QPoint(int(magnification), 0));
        }
        // Nothing jumps: the picture sets off towards the gesture.
        const ZoomPanTransform heading = viewer->zoom()->transform();
        QVERIFY(heading != before);
        QCOMPARE(shown(), before);
        const auto distance = [&heading](const ZoomPanTransform &t) {
            return qAbs(t.scale - heading.scale) * 100 + qAbs(t.offset.width() - heading.offset.width())
                + qAbs(t.offset.height() - heading.offset.height());
        };
        viewer->frameClock()->step(1 / 60.0);
        const ZoomPanTransform moving = shown();
        QVERIFY(distance(moving) > 0 && distance(moving) < distance(before));
        overlay->painted.clear();
        viewer->repaint();
        QCOMPARE(overlay->painted.size(), 1);
        QCOMPARE(overlay->painted.first().transform, moving);

        if (cancelled && gesture == "pinch") {
            viewer->hide();
            pinch(Qt::EndNativeGesture);
        } else if (cancelled) {
            QMouseEvent move(QEvent::MouseMove, QPointF(from), viewer->mapToGlobal(QPointF(from)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(viewer, &move);
        } else if (gesture == "pinch") {
            pinch(Qt::EndNativeGesture);
        } else {
            QTest::mouseRelease(viewer, Qt::LeftButton, {}, from + QPoint(int(magnification), 0));
        }
        QCOMPARE(shown(), moving);
        QCOMPARE(viewer->zoom()->transform(), cancelled ? before : heading);
        QVERIFY(settleZoom(viewer));
        QTEST(committed().scale, "scale");
        QTEST(committed().offset, "offset");
        QCOMPARE(shown(), viewer->zoom()->transform());
    }

    void overlayTakesPressesAndTaps()
    {
        setCommitted(2);
        overlay->grabbed = QRectF(0, 0, 50, 50);
        QTest::mousePress(viewer, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(viewer, QPoint(200, 200));
        QTest::mouseRelease(viewer, Qt::LeftButton, {}, QPoint(200, 200));
        QCOMPARE(committed().offset, QSizeF(0, 0));
        QCOMPARE(overlay->calls, QStringList({"press", "move", "release"}));
        overlay->calls.clear();
        // Clicks without movement are taps, whoever took the press; a
        // double click taps once and then twice.
        QTest::mouseClick(viewer, Qt::LeftButton, {}, QPoint(300, 300));
        // (QTest's double click is the second press alone.)
        QTest::mouseDClick(viewer, Qt::LeftButton, {}, QPoint(300, 300));
        QTest::mouseRelease(viewer, Qt::LeftButton, {}, QPoint(300, 300));
        QCOMPARE(overlay->calls, QStringList({"press", "tap1", "press", "tap2"}));
    }

    void overlayPaintsWithThePicturesGeometry()
    {
        setCommitted(3, {100, 50});
        QTRY_VERIFY(viewer->isResting());
        overlay->prepared.clear();
        overlay->painted.clear();
        viewer->repaint();
        QCOMPARE(overlay->painted.size(), 1);
        const CanvasGeometry painted = overlay->painted.first();
        QCOMPARE(painted.transform, viewer->zoom()->transform());
        QCOMPARE(painted.fitted, FittedImage(QSizeF(400, 300), QSizeF(800, 600)));
        // Mid-gesture too; every paint is prepared with its own geometry.
        viewer->zoom()->changeDrag({40, 0});
        viewer->repaint();
        QCOMPARE(overlay->painted.last().transform, shown());
        QCOMPARE(overlay->prepared.size(), overlay->painted.size());
        for (qsizetype i = 0; i < overlay->painted.size(); ++i)
            QCOMPARE(overlay->prepared[i].transform, overlay->painted[i].transform);
    }

    // The bar is one group of its three buttons, which act and follow the
    // zoom as the buttons on screen do.
    void zoomButtonsAreOneGroup()
    {
        QAccessibleInterface *bar = QAccessible::queryAccessibleInterface(viewer->controls());
        QCOMPARE(bar->role(), QAccessible::Grouping);
        QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Zoom"));
        QCOMPARE(bar->parent(), QAccessible::queryAccessibleInterface(viewer));
        QStringList names;
        QList<bool> enabled;
        for (int i = 0; i < bar->childCount(); ++i) {
            QCOMPARE(bar->child(i)->role(), QAccessible::Button);
            names.append(bar->child(i)->text(QAccessible::Name));
            enabled.append(!bar->child(i)->state().disabled);
        }
        QCOMPARE(names, QStringList({"Zoom out", "Reset zoom", "Zoom in"}));
        QCOMPARE(enabled, QList<bool>({false, false, true}));
        bar->child(2)->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(committed().scale, 1.5);
        QVERIFY(!bar->child(0)->state().disabled);
    }

    // What the overlay draws as controls are the viewer's children too,
    // after its own widgets, for as long as the overlay offers them.
    void overlayControlsAreChildren()
    {
        int pressed = 0;
        overlay->offered = {{QStringLiteral("Open"), QRectF(100, 100, 20, 20), [&pressed] { ++pressed; }}};
        QAccessibleInterface *canvas = QAccessible::queryAccessibleInterface(viewer);
        const int widgets = canvas->childCount() - 1;
        QAccessibleInterface *control = canvas->child(widgets);
        QVERIFY(control && !control->object());
        QCOMPARE(control->text(QAccessible::Name), QStringLiteral("Open"));
        QCOMPARE(control->rect(), QRect(viewer->mapToGlobal(QPoint(100, 100)), QSize(20, 20)));
        QCOMPARE(canvas->indexOfChild(control), widgets);
        QCOMPARE(canvas->childAt(viewer->mapToGlobal(QPoint(110, 110)).x(), viewer->mapToGlobal(QPoint(110, 110)).y()),
                 control);
        control->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(pressed, 1);
        overlay->offered.clear();
        QCOMPARE(canvas->childCount(), widgets);
        QVERIFY(!control->isValid());
        QCOMPARE(canvas->indexOfChild(control), -1);
    }

    void accessibleValue_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QString>("value");
        QTest::newRow("1.4") << 1.4 << "Zoom 1 times";
        QTest::newRow("1.5") << 1.5 << "Zoom 2 times";
    }
    void accessibleValue()
    {
        QFETCH(double, scale);
        setCommitted(scale);
        QTRY_VERIFY(viewer->isResting());
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(viewer);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Atlas image viewer"));
        QTEST(accessible->text(QAccessible::Value), "value");
    }
};

QTEST_MAIN(ZoomableImageTest)
#include "tst_zoomableimage.moc"
