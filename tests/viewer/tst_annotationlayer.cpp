#include "AnnotationFixture.h"

#include "viewer/AnnotationLayer.h"
#include "viewer/AnnotationViewState.h"
#include "viewer/CanvasZoom.h"
#include "viewer/ImageAnnotations.h"
#include "viewer/PictureSource.h"
#include "viewer/ZoomableImage.h"

#include <QAccessible>
#include <QSignalSpy>
#include <QTest>

#include <functional>

// The overlay in the viewer, driven with the mouse: what taps ask for,
// what is drawn, and where the labels go.
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
    static bool isOrange(QRgb colour) { return qRed(colour) > 200 && qGreen(colour) > 100 && qBlue(colour) < 80; }

private slots:
    void init()
    {
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
};

QTEST_MAIN(AnnotationLayerTest)
#include "tst_annotationlayer.moc"
