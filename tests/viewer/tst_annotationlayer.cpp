#include "AnnotationFixture.h"

#include "viewer/AnnotationLayer.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/CanvasZoom.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAccessible>
#include <QPainter>
#include <QRandomGenerator>
#include <QRegion>
#include <QSignalSpy>
#include <QTest>
#include <QVariantAnimation>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>

// The overlay in the viewer, driven with the mouse: what taps ask for,
// what is drawn, and where the labels go.
Q_DECLARE_METATYPE(CanvasGeometry)

class AnnotationLayerTest : public QObject {
    Q_OBJECT

    using Setup = std::function<void(AnnotationLayerTest &)>;

    AnnotationFixture *fixture = nullptr;
    ImageAnnotations *annotations = nullptr;
    AnnotationViewState *state = nullptr;
    AnnotationLayer *layer = nullptr;
    ZoomableImage *viewer = nullptr;
    PictureSource *picture = nullptr;
    QUuid pointP, regionR, linkedL;

    QRgb pixel(QPoint at) const { return viewer->grab().toImage().pixel(at); }

    // Forty regions of 24 corners spread over the picture, in two groups.
    void addRegions()
    {
        QRandomGenerator random(31);
        for (int i = 0; i < 40; ++i) {
            const double x = random.bounded(1.0), y = random.bounded(1.0), radius = 0.02 + random.bounded(0.06);
            QList<Vertex> corners;
            for (int k = 0; k < 24; ++k)
                corners.append({x + radius * std::cos(k * 0.2618), y + radius * 0.7 * std::sin(k * 0.2618)});
            fixture->region(QStringLiteral("Blob %1").arg(i), i % 2 ? "Bones" : "Vessels", corners);
        }
    }
    // The 400-point picture fitted in a view of `view`, zoomed and panned.
    static CanvasGeometry geometry(double scale, QPointF offset, QSizeF view = {400, 300})
    {
        return {FittedImage({400, 400}, view), ZoomPanTransform{scale, QSizeF(offset.x(), offset.y()), view}};
    }
    // The overlay painted alone, or (underPicture) over the picture, as
    // the canvas has it paint while the view moves.
    QImage painted(AnnotationLayer &overlay, const CanvasGeometry &geometry, qreal ratio)
    {
        QImage image = blankFrame(geometry, ratio);
        if (underPicture && !overlay.drawsPicture(picture, Qt::darkBlue, false))
            return {};
        QPainter painter(&image);
        overlay.paint(painter, geometry);
        return image;
    }
    bool underPicture = false;
    // A transparent image of the view at `ratio`.
    static QImage blankFrame(const CanvasGeometry &geometry, qreal ratio)
    {
        const QSizeF size = geometry.fitted.viewportSize * ratio;
        QImage image(int(std::ceil(size.width())), int(std::ceil(size.height())), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        return image;
    }
    // A picture of `side` pixels of every colour, so that a pixel out of
    // place shows.
    static QImage noise(int side, quint32 seed)
    {
        QRandomGenerator random(seed);
        QImage image(side, side, QImage::Format_RGB32);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                image.setPixel(x, y, random.generate() | 0xff000000u);
        return image;
    }
    void showNoise()
    {
        underPicture = true;
        std::atomic_bool cancelled = false;
        picture->setLevels(PictureSource::buildLevels(noise(400, 3), cancelled));
    }
    // The same frame drawn by an overlay that has drawn nothing before.
    QImage paintedAfresh(const CanvasGeometry &geometry, qreal ratio)
    {
        AnnotationLayer fresh(annotations, state);
        return painted(fresh, geometry, ratio);
    }
    static int alphaIn(const QImage &image, const QRect &rect)
    {
        int sum = 0;
        for (int y = std::max(0, rect.top()); y <= std::min(image.height() - 1, rect.bottom()); ++y)
            for (int x = std::max(0, rect.left()); x <= std::min(image.width() - 1, rect.right()); ++x)
                sum += qAlpha(image.pixel(x, y));
        return sum;
    }
    // How many pixels of `rect` show something other than the backdrop.
    static int pictureIn(const QImage &image, const QRect &rect)
    {
        int count = 0;
        for (int y = std::max(0, rect.top()); y <= std::min(image.height() - 1, rect.bottom()); ++y)
            for (int x = std::max(0, rect.left()); x <= std::min(image.width() - 1, rect.right()); ++x)
                count += image.pixel(x, y) != QColor(Qt::darkBlue).rgb();
        return count;
    }
    static bool isOrange(QRgb colour) { return qRed(colour) > 200 && qGreen(colour) > 100 && qBlue(colour) < 80; }
    // A paint of the canvas as ZoomableImage makes it, the picture moving
    // (`smooth` once it rests): the overlay draws the picture when it
    // offers to, else the canvas paints it and the overlay goes over it.
    // `clipped` paints through a clip, so that the overlay cannot draw
    // straight into the pixels.
    QImage canvasPaint(CanvasOverlay &overlay, const CanvasGeometry &geometry, qreal ratio, bool smooth,
                       bool clipped)
    {
        QImage image = blankFrame(geometry, ratio);
        const bool drawsPicture = overlay.drawsPicture(picture, Qt::darkBlue, smooth);
        overlay.prepare(geometry, ratio);
        QPainter painter(&image);
        if (clipped)
            painter.setClipRect(QRectF(QPointF(0, 0), geometry.fitted.viewportSize));
        if (!drawsPicture)
            paintPicture(painter, geometry, smooth);
        overlay.paint(painter, geometry);
        return image;
    }
    // The canvas's own drawing of the picture on its backdrop.
    void paintPicture(QPainter &painter, const CanvasGeometry &geometry, bool smooth) const
    {
        const QRectF view(QPointF(0, 0), geometry.fitted.viewportSize);
        painter.fillRect(view, Qt::darkBlue);
        picture->paint(painter, geometry.pictureRect(), view, smooth);
    }
    // How many pixels of two images of one size differ.
    static int differing(const QImage &a, const QImage &b)
    {
        int count = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                count += a.pixel(x, y) != b.pixel(x, y);
        return count;
    }

private slots:
    void init()
    {
        underPicture = false;
        // A white 400-point picture; point P at (180, 80), region R a
        // square around (320, 320), point L with a link at (240, 200).
        fixture = new AnnotationFixture;
        pointP = fixture->point("P", "Bones", 0.45, 0.2)->id();
        regionR = fixture->region("R", "Vessels", AnnotationFixture::square(0.8, 0.8, 0.1))->id();
        linkedL = fixture->point("L", "", 0.6, 0.5, {webLink("Wiki", "en.wikipedia.org")})->id();
        annotations = new ImageAnnotations;
        annotations->setImage(fixture->image.get());
        state = new AnnotationViewState;
        viewer = new ZoomableImage;
        picture = new PictureSource(viewer);
        QImage image(400, 400, QImage::Format_RGB32);
        image.fill(Qt::white);
        picture->setImage(image);
        layer = new AnnotationLayer(annotations, state, viewer);
        viewer->setPicture(picture);
        viewer->setOverlay(layer);
        viewer->resize(400, 400);
        viewer->show();
        viewer->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(viewer));
    }
    void cleanup()
    {
        delete viewer;
        delete state;
        delete annotations;
        delete fixture;
    }

    void taps_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("twice");
        QTest::addColumn<QString>("asked"); // "select X", "select none", "edit X", "links X"
        const Setup none = [](AnnotationLayerTest &) {};
        QTest::newRow("a marker") << none << QPoint(180, 92) << false << "select P";
        QTest::newRow("a label") << none << QPoint(60, 80) << false << "select P";
        QTest::newRow("empty space") << none << QPoint(60, 330) << false << "select none";
        QTest::newRow("a double tap asks for edit") << none << QPoint(180, 92) << true << "edit P";
        QTest::newRow("a double tap on empty space") << none << QPoint(60, 330) << true << "select none";
        QTest::newRow("a mark of a hidden group")
            << Setup([](AnnotationLayerTest &t) { t.state->setDisabledGroups({"Bones"}); }) << QPoint(180, 92)
            << false << "select none";
        QTest::newRow("annotations hidden")
            << Setup([](AnnotationLayerTest &t) { t.layer->setShowAnnotations(false); }) << QPoint(180, 92) << false
            << "select none";
        // L's label is on the right at its anchor's height; highlighted, its
        // link button stands at the view's edge.
        QTest::newRow("the link button")
            << Setup([](AnnotationLayerTest &t) { t.state->setHighlightedID(t.linkedL); }) << QPoint(400 - 6 - 11, 200)
            << false << "links L";
        QTest::newRow("no link button unless highlighted") << none << QPoint(400 - 6 - 11, 200) << false << "select L";
    }
    void taps()
    {
        QFETCH(Setup, setup);
        QFETCH(QPoint, at);
        QFETCH(bool, twice);
        QFETCH(QString, asked);
        setup(*this);
        viewer->repaint();
        QStringList requests;
        const auto name = [this](const QUuid &id) {
            return id == pointP ? "P" : id == regionR ? "R" : id == linkedL ? "L" : "?";
        };
        connect(layer, &AnnotationLayer::selectRequested, this, [&](const std::optional<QUuid> &id) {
            requests.append(id ? QStringLiteral("select %1").arg(name(*id)) : QStringLiteral("select none"));
        });
        connect(layer, &AnnotationLayer::editRequested, this,
                [&](const QUuid &id) { requests.append(QStringLiteral("edit %1").arg(name(id))); });
        connect(layer, &AnnotationLayer::showLinksRequested, this,
                [&](const QUuid &id) { requests.append(QStringLiteral("links %1").arg(name(id))); });
        QTest::mouseClick(viewer, Qt::LeftButton, {}, at);
        if (twice) {
            // (QTest's double click is the second press alone.)
            QTest::mouseDClick(viewer, Qt::LeftButton, {}, at);
            QTest::mouseRelease(viewer, Qt::LeftButton, {}, at);
        }
        QVERIFY(!requests.isEmpty());
        QCOMPARE(requests.last(), asked);
        // The layer only asks: the highlight is the screen's to change.
        QVERIFY(state->highlightedID() != pointP);
    }

    // The highlighted label's link button, as assistive technologies find
    // it among the viewer's children: named for the label as shown, at the
    // place it is drawn, pressed like a click.
    void linkButtonIsNamedForItsLabel_data()
    {
        QTest::addColumn<Setup>("setup");
        QTest::addColumn<QStringList>("buttons");
        const auto highlight = [](QString which) {
            return Setup([which](AnnotationLayerTest &t) {
                t.state->setHighlightedID(which == "L" ? t.linkedL : t.pointP);
            });
        };
        QTest::newRow("highlighted with links") << highlight("L") << QStringList{"Show links for L"};
        QTest::newRow("empty label") << Setup([](AnnotationLayerTest &t) {
            t.fixture->points.back()->setLabel(QString());
            t.state->setHighlightedID(t.linkedL);
        }) << QStringList{"Show links for Unlabelled"};
        QTest::newRow("nothing highlighted") << Setup([](AnnotationLayerTest &) {}) << QStringList();
        QTest::newRow("highlighted without links") << highlight("P") << QStringList();
        QTest::newRow("annotations hidden") << Setup([](AnnotationLayerTest &t) {
            t.state->setHighlightedID(t.linkedL);
            t.layer->setShowAnnotations(false);
        }) << QStringList();
        QTest::newRow("callouts off") << Setup([](AnnotationLayerTest &t) {
            t.state->setHighlightedID(t.linkedL);
            t.layer->setShowsCallouts(false);
        }) << QStringList();
    }
    void linkButtonIsNamedForItsLabel()
    {
        QFETCH(Setup, setup);
        QFETCH(QStringList, buttons);
        setup(*this);
        QSignalSpy links(layer, &AnnotationLayer::showLinksRequested);
        QAccessibleInterface *canvas = QAccessible::queryAccessibleInterface(viewer);
        QList<QAccessibleInterface *> drawn;
        for (int i = 0; i < canvas->childCount(); ++i) {
            if (!canvas->child(i)->object())
                drawn.append(canvas->child(i));
        }
        QStringList names;
        for (QAccessibleInterface *button : drawn) {
            names.append(button->text(QAccessible::Name));
            QCOMPARE(button->role(), QAccessible::Button);
            QCOMPARE(button->parent(), canvas);
            QCOMPARE(canvas->child(canvas->indexOfChild(button)), button);
        }
        QCOMPARE(names, buttons);
        if (drawn.isEmpty())
            return;
        // Where the click of the tap test lands.
        QVERIFY(drawn.first()->rect().contains(viewer->mapToGlobal(QPoint(400 - 6 - 11, 200))));
        drawn.first()->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(links.size(), 1);
        QCOMPARE(links.first().first().value<QUuid>(), linkedL);
        // Gone with the highlight.
        state->setHighlightedID(std::nullopt);
        QVERIFY(!drawn.first()->isValid());
        drawn.first()->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(links.size(), 1);
    }

    void marksFollowTheModelAndTheGroups()
    {
        const QPoint marker(180, 80);
        QTRY_VERIFY(isOrange(pixel(marker)));
        QVERIFY(isOrange(pixel({320, 300}))); // R's outline
        state->setDisabledGroups({"Bones", "Vessels"});
        QVERIFY(!isOrange(pixel(marker)));
        QVERIFY(!isOrange(pixel({320, 300})));
        state->setDisabledGroups({});
        // A point moved in the library is drawn where it now is.
        QSignalSpy repaint(layer, &CanvasOverlay::changed);
        fixture->points.front()->setY(0.6);
        QVERIFY(!repaint.isEmpty());
        QVERIFY(!isOrange(pixel(marker)));
        QVERIFY(isOrange(pixel({180, 240})));
        // Hiding everything fades it out.
        layer->setShowAnnotations(false);
        QTRY_VERIFY(!isOrange(pixel({180, 240})));
    }

    void marksKeepTheirSizeWhenZoomed()
    {
        // Between the label columns, along row 80 through P's marker (5
        // points across), and across R's outline: as many orange pixels at
        // 1× as at 2×.
        fixture->points.front()->setX(0.5);
        const auto orangeRun = [this](int row, int from, int to) {
            const QImage image = viewer->grab().toImage();
            int count = 0;
            for (int x = from; x < to; ++x)
                count += isOrange(image.pixel(x, row));
            return count;
        };
        const int marker = orangeRun(80, 190, 210);
        const int outline = orangeRun(320, 330, 350);
        QVERIFY(marker >= 4 && marker <= 7);
        QVERIFY(outline >= 1 && outline <= 3);
        viewer->zoom()->zoomBy(2);
        viewer->resetZoom();
        viewer->zoom()->zoomBy(2);
        QTRY_VERIFY(viewer->isResting());
        // At 2× the middle stays where it is: P moved to (200, 120) and R's
        // left edge moved to 80 (rows 200 to 360) are in view.
        fixture->points.front()->setY(0.4);
        QCOMPARE(orangeRun(120, 190, 210), marker);
        fixture->regions.front()->setVertices(AnnotationFixture::square(0.4, 0.6, 0.1));
        QCOMPARE(orangeRun(280, 70, 90), outline);
    }

    // A pan at one zoom moves the shapes drawn before and draws those that
    // come into reach: each frame is the one drawn from scratch, when the
    // view moved by whole device pixels.
    void pannedFramesMatchFreshOnes_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<QList<QPointF>>("offsets"); // view points, one frame each
        QTest::addColumn<bool>("overPicture");
        QTest::newRow("a small pan") << 3.0 << 1.0 << QList<QPointF>{{0, 0}, {-7, 4}, {-9, 9}} << false;
        QTest::newRow("past the kept margin") << 3.0 << 1.0
                                              << QList<QPointF>{{0, 0}, {-90, 0}, {-180, -60}, {-300, -120}} << false;
        QTest::newRow("to and fro") << 3.0 << 1.0 << QList<QPointF>{{0, 0}, {-150, 0}, {100, 50}, {0, 0}} << false;
        QTest::newRow("a jump") << 3.0 << 1.0 << QList<QPointF>{{0, 0}, {-390, 290}, {380, -280}} << false;
        QTest::newRow("another zoom") << 2.7 << 1.0 << QList<QPointF>{{13, 0}, {-60, 30}, {-200, 100}} << false;
        QTest::newRow("half points at twice the pixels")
            << 3.0 << 2.0 << QList<QPointF>{{0, 0}, {-10.5, 3.5}, {-100.5, 50}, {-250, 140.5}} << false;
        QTest::newRow("through a fraction of a pixel")
            << 2.0 << 1.0 << QList<QPointF>{{0, 0}, {-20.5, 10.25}, {-41, 20}, {-120.75, 60}, {-150, 70}} << false;
        // The picture kept under the shapes moves with them.
        QTest::newRow("over the picture") << 3.0 << 1.0
                                          << QList<QPointF>{{0, 0}, {-7, 4}, {-90, 0}, {-180, -60}, {-300, -120}}
                                          << true;
        QTest::newRow("over the picture, to and fro")
            << 2.7 << 1.0 << QList<QPointF>{{13, 0}, {-150, 0}, {100, 50}, {13, 0}} << true;
        QTest::newRow("over the picture, twice the pixels")
            << 3.0 << 2.0 << QList<QPointF>{{0, 0}, {-10.5, 3.5}, {-100.5, 50}, {-250, 140.5}} << true;
        QTest::newRow("over the picture, through a fraction of a pixel")
            << 2.0 << 1.0 << QList<QPointF>{{0, 0}, {-20.5, 10.25}, {-41, 20}, {-120.75, 60}} << true;
        QTest::newRow("over the picture, zoomed out so the backdrop shows")
            << 1.2 << 1.0 << QList<QPointF>{{0, 0}, {-13, 6}, {-30, 11}} << true;
        // Long pans in steps, each way, well past the kept margin: the
        // window of kept shapes follows the view over and over.
        const QList<std::pair<const char *, QPointF>> directions = {
            {"up", {0, 1}},     {"down", {0, -1}},          {"left", {1, 0}},
            {"right", {-1, 0}}, {"down and right", {-1, -1}}, {"up and left", {1, 1}}};
        for (const qreal ratio : {1.0, 2.0}) {
            for (const bool overPicture : {false, true}) {
                for (const auto &[name, way] : directions) {
                    QList<QPointF> offsets;
                    for (int step = -10; step <= 10; ++step)
                        offsets.append(way * 24 * step);
                    QTest::addRow("a long pan %s, %gx%s", name, ratio, overPicture ? ", over the picture" : "")
                        << 3.0 << ratio << offsets << overPicture;
                }
            }
        }
    }
    void pannedFramesMatchFreshOnes()
    {
        QFETCH(double, scale);
        QFETCH(qreal, ratio);
        QFETCH(QList<QPointF>, offsets);
        QFETCH(bool, overPicture);
        addRegions();
        state->setHighlightedID(fixture->regions.back()->id());
        if (overPicture)
            showNoise();
        int compared = 0;
        for (const QPointF &offset : offsets) {
            const CanvasGeometry at = geometry(scale, offset);
            const QImage kept = painted(*layer, at, ratio);
            // Over the picture, the frame covers the view.
            if (overPicture)
                QCOMPARE(kept.convertToFormat(QImage::Format_RGB32).convertToFormat(kept.format()), kept);
            const QPointF moved = (offset - offsets.first()) * ratio;
            if (moved.x() != std::round(moved.x()) || moved.y() != std::round(moved.y()))
                continue;
            const QImage fresh = paintedAfresh(at, ratio);
            QVERIFY2(kept == fresh, qPrintable(QStringLiteral("at %1, %2").arg(offset.x()).arg(offset.y())));
            ++compared;
        }
        QCOMPARE(compared, std::count_if(offsets.begin(), offsets.end(), [&](const QPointF &offset) {
                     const QPointF moved = (offset - offsets.first()) * ratio;
                     return moved.x() == std::round(moved.x()) && moved.y() == std::round(moved.y());
                 }));
        // The strips the pan brought into view hold shapes: they were drawn.
        const QPointF moved = (offsets.last() - offsets.first()) * ratio;
        const QImage last = painted(*layer, geometry(scale, offsets.last()), ratio);
        const QRect view = last.rect();
        QRegion uncovered = QRegion(view) - QRegion(view.translated(moved.toPoint()));
        int strips = 0;
        for (const QRect &strip : uncovered)
            strips += overPicture ? pictureIn(last, strip) : alphaIn(last, strip);
        QVERIFY(uncovered.isEmpty() || strips > 0);
    }

    // What the kept shapes were drawn for changes: the next frame draws them
    // anew.
    void changesRedrawTheKeptShapes_data()
    {
        QTest::addColumn<Setup>("change");
        QTest::addColumn<CanvasGeometry>("after");
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("overPicture");
        const CanvasGeometry same = geometry(3, {-60, -30});
        QTest::newRow("a region moved") << Setup([](AnnotationLayerTest &t) {
            t.fixture->regions[3]->setVertices(AnnotationFixture::square(0.5, 0.5, 0.2));
        }) << same << 1.0 << false;
        QTest::newRow("a region added") << Setup([](AnnotationLayerTest &t) {
            t.fixture->region("New", "", AnnotationFixture::square(0.45, 0.45, 0.1));
        }) << same << 1.0 << false;
        QTest::newRow("a group hidden")
            << Setup([](AnnotationLayerTest &t) { t.state->setDisabledGroups({"Vessels"}); }) << same << 1.0 << false;
        QTest::newRow("a group shown again")
            << Setup([](AnnotationLayerTest &t) { t.state->setDisabledGroups({}); }) << same << 1.0 << false;
        QTest::newRow("another highlight") << Setup([](AnnotationLayerTest &t) {
            t.state->setHighlightedID(t.fixture->regions[5]->id());
        }) << same << 1.0 << false;
        QTest::newRow("no highlight")
            << Setup([](AnnotationLayerTest &t) { t.state->setHighlightedID(std::nullopt); }) << same << 1.0 << false;
        const Setup none = [](AnnotationLayerTest &) {};
        QTest::newRow("zoomed in") << none << geometry(3.5, {-60, -30}) << 1.0 << false;
        QTest::newRow("zoomed out") << none << geometry(2.5, {-60, -30}) << 1.0 << false;
        QTest::newRow("a narrower view") << none << geometry(3, {-60, -30}, {360, 300}) << 1.0 << false;
        QTest::newRow("twice the pixels") << none << same << 2.0 << false;
        // The picture kept under them: levels arriving while it loads (a
        // thumbnail standing in, then the picture), a new zoom and another
        // pixel ratio draw it anew too.
        QTest::newRow("levels arriving") << Setup([](AnnotationLayerTest &t) {
            std::atomic_bool cancelled = false;
            t.picture->setLevels(PictureSource::buildLevels(noise(400, 3), cancelled));
        }) << same << 1.0 << true;
        QTest::newRow("zoomed in, over the picture") << none << geometry(3.5, {-60, -30}) << 1.0 << true;
        QTest::newRow("twice the pixels, over the picture") << none << same << 2.0 << true;
        QTest::newRow("another highlight, over the picture") << Setup([](AnnotationLayerTest &t) {
            t.state->setHighlightedID(t.fixture->regions[5]->id());
        }) << same << 1.0 << true;
    }
    void changesRedrawTheKeptShapes()
    {
        QFETCH(Setup, change);
        QFETCH(CanvasGeometry, after);
        QFETCH(qreal, ratio);
        QFETCH(bool, overPicture);
        addRegions();
        if (overPicture) {
            // A thumbnail standing in for the picture.
            underPicture = true;
            picture->setLevels({noise(100, 9)});
            picture->setPixelSize({400, 400});
        }
        state->setDisabledGroups({"Bones"});
        state->setHighlightedID(fixture->region("Middle", "", AnnotationFixture::square(0.5, 0.5, 0.12))->id());
        // Shapes kept from a frame and moved by a pan.
        painted(*layer, geometry(3, {0, 0}), 1);
        const QImage unchanged = painted(*layer, geometry(3, {-60, -30}), 1);
        change(*this);
        const QImage fresh = paintedAfresh(after, ratio);
        QCOMPARE(painted(*layer, after, ratio), fresh);
        // (The change shows.)
        QVERIFY(fresh != unchanged);
    }

    // The picture the layer draws under its shapes is the one the canvas
    // paints from the same level: each pixel shows the level's pixel under
    // its centre (the one before, where the centre falls on the edge
    // between two). Where the canvas's painter, stepping through the level
    // in fixed point, lands on the other side of an edge, a whole column or
    // row may differ: one in fifty is allowed. (A picture half a pixel off
    // differs in a third or more of them at these zooms.)
    void pictureUnderTheShapesIsTheCanvasOne_data()
    {
        QTest::addColumn<int>("side"); // of the picture, pixels
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPointF>("offset");
        QTest::addColumn<qreal>("ratio");
        const QImage::Format colour = QImage::Format_RGB32, grey = QImage::Format_Grayscale8;
        QTest::newRow("fitted, the full size") << 400 << colour << 1.0 << QPointF() << 1.0;
        QTest::newRow("fitted, a smaller level") << 1600 << colour << 1.0 << QPointF() << 1.0;
        QTest::newRow("zoomed in") << 400 << colour << 3.0 << QPointF(-40, 25) << 1.0;
        QTest::newRow("a fraction of a point off") << 400 << colour << 2.7 << QPointF(-40.3, 25.6) << 1.0;
        QTest::newRow("twice the pixels") << 1600 << colour << 2.0 << QPointF(-10.5, 7) << 2.0;
        QTest::newRow("the backdrop showing") << 400 << colour << 0.8 << QPointF(5.5, 0) << 1.0;
        QTest::newRow("grey, fitted") << 400 << grey << 1.0 << QPointF() << 1.0;
        QTest::newRow("grey, a fraction of a point off") << 400 << grey << 2.7 << QPointF(-40.3, 25.6) << 1.0;
    }
    void pictureUnderTheShapesIsTheCanvasOne()
    {
        QFETCH(int, side);
        QFETCH(QImage::Format, format);
        QFETCH(double, scale);
        QFETCH(QPointF, offset);
        QFETCH(qreal, ratio);
        std::atomic_bool cancelled = false;
        picture->setLevels(PictureSource::buildLevels(noise(side, 5).convertToFormat(format), cancelled));
        const QSizeF view(400, 300);
        const CanvasGeometry at{FittedImage(QSizeF(side, side), view),
                                ZoomPanTransform{scale, QSizeF(offset.x(), offset.y()), view}};
        // A layer with nothing to show draws the picture alone.
        AnnotationLayer bare(nullptr, nullptr);
        QVERIFY(bare.drawsPicture(picture, Qt::darkBlue, false));
        const QImage drawn = canvasPaint(bare, at, ratio, false, false);
        QImage canvas = blankFrame(at, ratio);
        {
            QPainter painter(&canvas);
            paintPicture(painter, at, false);
        }
        const int count = differing(drawn, canvas);
        QVERIFY2(count <= drawn.width() * drawn.height() / 50,
                 qPrintable(QStringLiteral("%1 pixels differ").arg(count)));
    }

    // While the annotations fade in or out, the canvas paints the picture
    // and the layer lays them over it at the fade's opacity, as a layer
    // that has drawn nothing before would; once it is done, a frame drawn
    // over the picture leaves nothing behind in the overlay alone.
    void fadesMatchAFreshLayer_data()
    {
        QTest::addColumn<bool>("clipped");
        QTest::newRow("drawn into the canvas's pixels") << false;
        QTest::newRow("drawn through the layer's image") << true;
    }
    void fadesMatchAFreshLayer()
    {
        QFETCH(bool, clipped);
        addRegions();
        showNoise();
        const qreal ratio = 1;
        const CanvasGeometry at = geometry(3, {-60, -30});
        auto *fade = layer->findChild<QVariantAnimation *>();
        QVERIFY(fade);
        // The frame painted alone over the canvas's picture at `opacity`
        // by a layer that has drawn nothing before.
        const auto freshAt = [&](double opacity, bool smooth) {
            AnnotationLayer fresh(annotations, state);
            QImage image = blankFrame(at, ratio);
            QPainter painter(&image);
            paintPicture(painter, at, smooth);
            painter.setOpacity(opacity);
            fresh.paint(painter, at);
            return image;
        };
        // At rest, moving, at rest again: the overlay alone drawn anew
        // after a frame over the picture.
        const QImage resting = freshAt(1, true);
        QVERIFY(canvasPaint(*layer, at, ratio, true, clipped) == resting);
        const QImage moving = canvasPaint(*layer, at, ratio, false, clipped);
        QVERIFY(canvasPaint(*layer, at, ratio, true, clipped) == resting);
        for (const bool show : {false, true}) {
            canvasPaint(*layer, at, ratio, false, clipped);
            layer->setShowAnnotations(show);
            fade->pause();
            for (const int time : {0, 60, 140}) {
                fade->setCurrentTime(time);
                QVERIFY(!layer->drawsPicture(picture, Qt::darkBlue, false));
                const QImage frame = canvasPaint(*layer, at, ratio, false, clipped);
                QVERIFY2(frame == freshAt(fade->currentValue().toDouble(), false),
                         qPrintable(QStringLiteral("%1 ms into a fade %2").arg(time).arg(show ? "in" : "out")));
            }
            fade->setCurrentTime(fade->duration());
            QCOMPARE(fade->state(), QAbstractAnimation::Stopped);
            QCOMPARE(layer->drawsPicture(picture, Qt::darkBlue, false), show);
        }
        // Shown again, moving: the layer draws the picture again, the same
        // frame as before the fades; then at rest, the overlay alone.
        QVERIFY(canvasPaint(*layer, at, ratio, false, clipped) == moving);
        QVERIFY(canvasPaint(*layer, at, ratio, true, clipped) == resting);
    }

    // The callouts lie over the marks: P's leader line runs left from its
    // marker's centre (185, 60) along y = 60, and its orange, at half
    // strength, tints the marker's white rim where it crosses it (at
    // x = 182.5), alone or over the picture.
    void calloutsLieOverTheMarks_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("overPicture");
        for (const qreal ratio : {1.0, 2.0}) {
            QTest::addRow("at %gx", ratio) << ratio << false;
            QTest::addRow("at %gx, over the picture", ratio) << ratio << true;
        }
    }
    void calloutsLieOverTheMarks()
    {
        QFETCH(qreal, ratio);
        QFETCH(bool, overPicture);
        underPicture = overPicture;
        const CanvasGeometry at = geometry(1, {0, 0});
        layer->setShowsCallouts(false);
        const QImage marks = painted(*layer, at, ratio);
        layer->setShowsCallouts(true);
        const QImage both = painted(*layer, at, ratio);
        const QPoint rim(int(182 * ratio), int(60 * ratio) - 1);
        const QRgb white = qUnpremultiply(marks.pixel(rim)), tinted = qUnpremultiply(both.pixel(rim));
        QVERIFY(qBlue(white) > 200 && qRed(white) > 200);
        QVERIFY2(qBlue(white) - qBlue(tinted) > 40, qPrintable(QString::number(qBlue(white) - qBlue(tinted))));
    }

    // Each callout draws its leader line and then its label, in the
    // callouts' order. Points A, B and C at (40, 300), (45, 305) and
    // (50, 310) of an 800 by 600 view have their labels one under another
    // on the left, and C's line, from its anchor down to its elbow,
    // crosses B's capsule near (59, 311). It lies over B's label, unless B
    // is highlighted, whose label lies over everything. Orange over the
    // capsule's black stays strong (its red less its blue, 90 to 150 where
    // the line crosses); under it, it is darkened to a third (30 to 50).
    void calloutsAreDrawnInTurn_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<bool>("overPicture");
        QTest::addColumn<bool>("highlighted");
        for (const qreal ratio : {1.0, 2.0}) {
            for (const bool overPicture : {false, true}) {
                const char *under = overPicture ? ", over the picture" : "";
                QTest::addRow("a later line over an earlier label at %gx%s", ratio, under)
                    << ratio << overPicture << false;
                QTest::addRow("the highlighted label over a later line at %gx%s", ratio, under)
                    << ratio << overPicture << true;
            }
        }
    }
    void calloutsAreDrawnInTurn()
    {
        QFETCH(qreal, ratio);
        QFETCH(bool, overPicture);
        QFETCH(bool, highlighted);
        underPicture = overPicture;
        fixture->point("A", "", 40 / 800.0, 300 / 600.0);
        const QUuid b = fixture->point("B", "", 45 / 800.0, 305 / 600.0)->id();
        fixture->point("C", "", 50 / 800.0, 310 / 600.0);
        if (highlighted)
            state->setHighlightedID(b);
        const QSizeF view(800, 600);
        const CanvasGeometry at{FittedImage(view, view), ZoomPanTransform{1, {}, view}};
        const AnnotationFrame &frame = layer->frame(at);
        QCOMPARE(frame.callouts.size(), 6); // with P, R and L
        const AnnotationCallout &c = frame.callouts[3];
        const double y =
            c.anchor.y() + (59.5 - c.anchor.x()) * (c.elbow.y() - c.anchor.y()) / (c.elbow.x() - c.anchor.x());
        QVERIFY(frame.labels[2].capsule.adjusted(0, 1, 0, -1).contains(QPointF(59.5, y)));
        const QImage drawn = painted(*layer, at, ratio);
        const QRgb crossing = qUnpremultiply(drawn.pixel(QPoint(int(59 * ratio), int(y * ratio))));
        const int orange = qRed(crossing) - qBlue(crossing);
        QVERIFY2(highlighted ? orange < 60 : orange > 75, qPrintable(QString::number(orange)));
    }

    // A label's text lies in the rows the painter draws it in: the rows
    // with white in P's capsule, at 2x, are those of P drawn in the
    // label's font, centred in its text box.
    void labelTextSitsInItsBox()
    {
        const qreal ratio = 2;
        const CanvasGeometry at = geometry(1, {0, 0});
        const CalloutLabelBox &box = layer->frame(at).labels[0];
        QCOMPARE(box.lines, QStringList{"P"});
        QImage drawn = painted(*layer, at, ratio);
        QImage expected = blankFrame(at, ratio);
        {
            QPainter painter(&expected);
            painter.setFont(CalloutLabelText().font());
            painter.setPen(Qt::white);
            painter.drawText(box.text, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine, "P");
        }
        const auto whiteRows = [&](const QImage &image) {
            QList<int> rows;
            const QRect capsule = QRectF(box.capsule.topLeft() * ratio, box.capsule.size() * ratio).toRect();
            for (int y = capsule.top(); y <= capsule.bottom(); ++y) {
                for (int x = capsule.left(); x <= capsule.right(); ++x) {
                    // (The capsule is black: the blue is the text's.)
                    if (qBlue(image.pixel(x, y)) > 100) {
                        rows.append(y);
                        break;
                    }
                }
            }
            return rows;
        };
        QVERIFY(!whiteRows(expected).isEmpty());
        QCOMPARE(whiteRows(drawn), whiteRows(expected));
    }

    // Region outlines have round joins: the pixel diagonally outside R's
    // top-right corner (305, 225), which the two edges leave short, is
    // filled.
    void regionCornersAreRound_data()
    {
        QTest::addColumn<qreal>("ratio");
        QTest::addColumn<int>("least");
        QTest::newRow("at 1x") << 1.0 << 100;
        QTest::newRow("at 2x") << 2.0 << 250;
    }
    void regionCornersAreRound()
    {
        QFETCH(qreal, ratio);
        QFETCH(int, least);
        const QImage frame = painted(*layer, geometry(1, {0, 0}), ratio);
        const QPoint outside(int(305 * ratio), int(225 * ratio) - 1);
        QVERIFY2(qAlpha(frame.pixel(outside)) >= least, qPrintable(QString::number(qAlpha(frame.pixel(outside)))));
        QVERIFY(isOrange(qUnpremultiply(frame.pixel(outside))));
    }

    void calloutsStayOnScreen_data()
    {
        QTest::addColumn<int>("height");
        for (int height : {400, 200, 100, 60, 48, 40, 30, 24})
            QTest::addRow("%d high", height) << height;
    }
    void calloutsStayOnScreen()
    {
        QFETCH(int, height);
        // A dozen labels on each side, and one highlighted near the bottom
        // with more lines than the shorter views hold.
        for (int i = 0; i < 12; ++i) {
            fixture->point(QStringLiteral("Left %1").arg(i), "", 0.1, i / 12.0);
            fixture->point(QStringLiteral("Right %1").arg(i), "", 0.9, i / 12.0);
        }
        state->setHighlightedID(fixture->point(QStringLiteral("word ").repeated(60), "", 0.2, 0.99)->id());
        viewer->resize(400, height);
        const AnnotationFrame &frame = layer->frame(viewer->geometry());
        QVERIFY(frame.labels.size() >= 24);
        for (const CalloutLabelBox &box : frame.labels) {
            // Where a label fits the view, all of it shows.
            if (box.frame.height() <= height)
                QVERIFY2(box.frame.top() >= 0 && box.frame.bottom() <= height,
                         qPrintable(QStringLiteral("%1 to %2").arg(box.frame.top()).arg(box.frame.bottom())));
            QVERIFY(box.frame.left() >= 0 && box.frame.right() <= 400);
        }
    }

    // The band of a short view follows the labels' own height: a view just
    // tall enough for a label centred at 24 keeps its labels there; a point
    // shorter, they go to its middle.
    void shortViewsKeepLabelsWhereTheyFit_data()
    {
        QTest::addColumn<int>("belowFit"); // points short of the height that fits
        QTest::newRow("fits") << 0;
        QTest::newRow("a point short") << 1;
    }
    void shortViewsKeepLabelsWhereTheyFit()
    {
        QFETCH(int, belowFit);
        const double labelHeight = CalloutLabelText().lineHeight() + 6;
        const int height = int(std::ceil(24 + labelHeight / 2)) - belowFit;
        QVERIFY(height < 48);
        viewer->resize(400, height);
        const AnnotationFrame &frame = layer->frame(viewer->geometry());
        QCOMPARE(frame.callouts.size(), 3);
        for (qsizetype i = 0; i < frame.callouts.size(); ++i) {
            QCOMPARE(frame.callouts[i].labelCenter.y(), belowFit ? height / 2.0 : 24.0);
            QVERIFY(frame.labels[i].frame.top() >= 0 && frame.labels[i].frame.bottom() <= height);
        }
    }
};

QTEST_MAIN(AnnotationLayerTest)
#include "tst_annotationlayer.moc"
