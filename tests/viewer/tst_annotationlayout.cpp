#include "AnnotationFixture.h"

#include "viewer/AnnotationFrame.h"
#include "viewer/AnnotationScene.h"
#include "viewer/CalloutLayout.h"
#include "viewer/ImageStamp.h"
#include "viewer/ShapeRaster.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <numeric>

namespace {

bool near(const QList<double> &a, const QList<double> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (std::abs(a[i] - b[i]) > 1e-9)
            return false;
    }
    return true;
}

QByteArray text(const QList<double> &values)
{
    QStringList parts;
    for (double value : values)
        parts.append(QString::number(value));
    return parts.join(", ").toUtf8();
}

} // namespace

// Where the overlay puts things: labels spread along a side, callouts along
// the view's sides, the visible marks, what a tap reaches, the label boxes,
// and the lines and polygons it draws into its image.
class AnnotationLayoutTest : public QObject {
    Q_OBJECT

    static CanvasGeometry geometry(QSizeF view, double scale = 1, QSizeF offset = {0, 0})
    {
        return {FittedImage(view, view), ZoomPanTransform{scale, offset, view}};
    }

    static QList<Vertex> pentagram(double x, double y, double radius)
    {
        QList<Vertex> corners;
        for (int k = 0; k < 5; ++k) {
            const double angle = -std::numbers::pi / 2 + k * 4 * std::numbers::pi / 5;
            corners.append({x + radius * std::cos(angle), y + radius * std::sin(angle)});
        }
        return corners;
    }

    static int alphaSum(const QImage &image)
    {
        int sum = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                sum += qAlpha(image.pixel(x, y));
        return sum;
    }

private slots:
    void callouts_data()
    {
        QTest::addColumn<QSizeF>("view");
        QTest::addColumn<QList<QPointF>>("anchors");
        QTest::addColumn<QStringList>("placed"); // side, label centre y, in the order laid out
        const QSizeF view(600, 600);
        QTest::newRow("the middle goes right")
            << view << QList<QPointF>{{300, 100}, {299.5, 100}} << QStringList{"L 100", "R 100"};
        QTest::newRow("right and bottom edges are outside")
            << view << QList<QPointF>{{600, 10}, {10, 600}, {-1, 10}, {0, 0}} << QStringList{"L 24"};
        QTest::newRow("same height: kept in order, spread")
            << view << QList<QPointF>{{10, 100}, {20, 100}} << QStringList{"L 88", "L 112"};
        QTest::newRow("sorted by height per side")
            << view << QList<QPointF>{{500, 400}, {10, 300}, {550, 200}, {20, 200}}
            << QStringList{"L 200", "L 300", "R 200", "R 400"};
        QTest::newRow("held inside the view")
            << view << QList<QPointF>{{10, 5}, {10, 595}} << QStringList{"L 24", "L 576"};
        QTest::newRow("48 high: all at 24") << QSizeF(600, 48) << QList<QPointF>{{10, 1}, {10, 40}}
                                            << QStringList{"L 24", "L 24"};
        // Where a 20-point label at 24 still ends inside the view, it stays
        // there; shorter views keep their labels in the middle, on screen.
        QTest::newRow("47 high") << QSizeF(600, 47) << QList<QPointF>{{10, 1}} << QStringList{"L 24"};
        QTest::newRow("40 high") << QSizeF(600, 40) << QList<QPointF>{{10, 39}, {10, 1}} << QStringList{"L 24", "L 24"};
        QTest::newRow("34 high: the label just ends inside")
            << QSizeF(600, 34) << QList<QPointF>{{10, 30}} << QStringList{"L 24"};
        QTest::newRow("33 high") << QSizeF(600, 33) << QList<QPointF>{{10, 30}} << QStringList{"L 16.5"};
        QTest::newRow("30 high") << QSizeF(600, 30) << QList<QPointF>{{10, 1}, {10, 29}} << QStringList{"L 15", "L 15"};
    }
    void callouts()
    {
        QFETCH(QSizeF, view);
        QFETCH(QList<QPointF>, anchors);
        QFETCH(QStringList, placed);
        const CalloutMetrics metrics;
        QList<AnnotationCallout> built;
        for (const QPointF &anchor : anchors) {
            AnnotationCallout callout;
            callout.anchor = anchor;
            callout.id = QUuid::createUuid();
            built.append(callout);
        }
        const QList<AnnotationCallout> laidOut = layOutCallouts(built, view, metrics);
        QStringList shown;
        for (const AnnotationCallout &callout : laidOut) {
            const bool left = callout.side == AnnotationSide::left;
            shown.append(QStringLiteral("%1 %2").arg(left ? "L" : "R").arg(callout.labelCenter.y()));
            const double edge = left ? 160 : view.width() - 160;
            QCOMPARE(callout.labelCenter.x(), left ? 86 : view.width() - 86);
            QCOMPARE(callout.labelEdge, QPointF(edge, callout.labelCenter.y()));
            QCOMPARE(callout.elbow.x(), callout.anchor.x() + (edge - callout.anchor.x()) * 0.82);
        }
        QCOMPARE(shown, placed);
        if (placed.size() == 2 && placed[0] == "L 88")
            QCOMPARE(laidOut[0].id, built[0].id);
    }

    void sceneShowsVisibleMarks()
    {
        AnnotationFixture fixture;
        fixture.point("", "Bones", 1.5, -2, {webLink("", "javascript:alert(1)")});
        fixture.point("  ", "", 0.5, 0.5, {webLink("", "example.org")});
        fixture.region("Off", "Vessels", AnnotationFixture::square(0.5, 0.5, 0.2));
        fixture.region("Line", "", {{0, 0}, {1, 1}});
        const QUuid clamped = fixture.region("Clamped", "Bones, Vessels", {{-0.5, 0}, {1, 0}, {1, 1}})->id();
        const AnnotationScene scene(fixture.image->points(), fixture.image->regions(), {"Vessels"});
        QCOMPARE(scene.points().size(), 2);
        QCOMPARE(scene.points()[0].label, QStringLiteral("Unlabelled"));
        QCOMPARE(scene.points()[0].anchor, QPointF(1, 0));
        QVERIFY(!scene.points()[0].hasLinks);
        QCOMPARE(scene.points()[1].label, QStringLiteral("  "));
        QVERIFY(scene.points()[1].hasLinks);
        // A region needs three corners and one group switched on; its
        // anchor is the mean of its corners, limited to the image.
        QCOMPARE(scene.regions().size(), 1);
        QCOMPARE(scene.regions()[0].id, clamped);
        QCOMPARE(scene.regions()[0].anchor, QPointF(2.0 / 3, 1.0 / 3));
        QVERIFY(AnnotationScene(fixture.image->points(), fixture.image->regions(), {}).generation()
                != scene.generation());
    }

    // A scene's callouts name their marks by index (points, then regions)
    // whichever of them the view leaves out.
    void sceneCalloutsInView_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSizeF>("offset");
        QTest::addColumn<QStringList>("shown"); // the labels laid out, in order
        QTest::newRow("all in view") << 1.0 << QSizeF(0, 0) << QStringList{"P1", "R1", "P2", "P3", "R2"};
        QTest::newRow("zoomed on the middle") << 4.0 << QSizeF(0, 0) << QStringList{"P3", "R2"};
        QTest::newRow("panned to the top left") << 2.0 << QSizeF(200, 200) << QStringList{"P1", "R1"};
        QTest::newRow("panned off the image") << 2.0 << QSizeF(2000, 0) << QStringList{};
    }
    void sceneCalloutsInView()
    {
        QFETCH(double, scale);
        QFETCH(QSizeF, offset);
        QFETCH(QStringList, shown);
        AnnotationFixture fixture;
        fixture.point("P1", "", 0.1, 0.1);
        fixture.point("P2", "", 0.9, 0.2);
        fixture.point("P3", "", 0.52, 0.48);
        fixture.region("R1", "", AnnotationFixture::square(0.2, 0.2, 0.05));
        fixture.region("R2", "", AnnotationFixture::square(0.5, 0.55, 0.02));
        const AnnotationScene scene(fixture.image->points(), fixture.image->regions(), {});
        const QList<AnnotationCallout> callouts = scene.callouts(geometry({400, 400}, scale, offset), CalloutMetrics());
        QStringList labels;
        for (const AnnotationCallout &callout : callouts) {
            labels.append(callout.label);
            const qsizetype points = scene.points().size();
            const AnnotationMark &mark = callout.mark < points ? scene.points()[callout.mark]
                                                               : scene.regions()[callout.mark - points];
            QCOMPARE(mark.id, callout.id);
            QCOMPARE(mark.label, callout.label);
        }
        QCOMPARE(labels, shown);
    }

    void hits_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QPointF>("tap");
        QTest::addColumn<QString>("hit");
        // A 400-point view; point P at (180, 80); region Star a pentagram
        // around (200, 200) (its inner pentagon 30 points across) with P2 at
        // its centre, square S at (320, 320). P's label is on the left at
        // height 80; P2's and Star's on the right at 188 and 212.
        QTest::newRow("on the point") << 1.0 << QPointF(180, 94) << "mark P";
        QTest::newRow("beside the point") << 1.0 << QPointF(180, 96) << "background";
        QTest::newRow("the star's middle: non-zero winding") << 1.0 << QPointF(200, 218) << "mark Star";
        QTest::newRow("a point lies over a region") << 1.0 << QPointF(200, 200) << "mark P2";
        QTest::newRow("the square") << 1.0 << QPointF(330, 330) << "mark S";
        QTest::newRow("a label lies over a mark") << 1.0 << QPointF(86, 80) << "label P";
        QTest::newRow("the highlighted label's link button") << 1.0 << QPointF(383, 188) << "linkButton P2";
        QTest::newRow("the label under it") << 1.0 << QPointF(300, 212) << "label Star";
        // Zoomed 4× about the centre: P and S are off screen, the star's
        // inner pentagon is 122 points across, the marker's hit circle
        // keeps its 15 points.
        QTest::newRow("zoomed: the star") << 4.0 << QPointF(200, 220) << "mark Star";
        QTest::newRow("zoomed: beside the star's point") << 4.0 << QPointF(214, 200) << "mark P2";
        QTest::newRow("zoomed: outside the star") << 4.0 << QPointF(200, 330) << "background";
    }
    void hits()
    {
        QFETCH(double, scale);
        QFETCH(QPointF, tap);
        QFETCH(QString, hit);
        AnnotationFixture fixture;
        QHash<QUuid, QString> names;
        names[fixture.point("P", "", 0.45, 0.2)->id()] = "P";
        const QUuid p2 = fixture.point("P2", "", 0.5, 0.5, {webLink("", "example.org")})->id();
        names[p2] = "P2";
        names[fixture.region("Star", "", pentagram(0.5, 0.5, 0.2))->id()] = "Star";
        names[fixture.region("S", "", AnnotationFixture::square(0.8, 0.8, 0.1))->id()] = "S";
        const AnnotationScene scene(fixture.image->points(), fixture.image->regions(), {});
        const CalloutMetrics metrics;
        const AnnotationFrame frame =
            makeAnnotationFrame(scene, geometry({400, 400}, scale), p2, true, metrics, CalloutLabelText());
        const AnnotationHit result = hitTest(frame, scene, tap, metrics);
        const QString parts[] = {"background", "linkButton", "label", "mark"};
        QString shown = parts[int(result.part)];
        if (result.part != AnnotationHit::Part::background)
            shown += " " + names.value(result.id);
        QCOMPARE(shown, hit);
    }

    void labelBoxes_data()
    {
        QTest::addColumn<double>("anchorX");
        QTest::addColumn<bool>("highlighted");
        QTest::addColumn<bool>("links");
        QTest::addColumn<double>("textWidth");
        QTest::addColumn<int>("buttonSide"); // −1 before the text, 1 after, 0 none
        QTest::newRow("plain") << 100.0 << false << true << 148.0 << 0;
        QTest::newRow("highlighted without links") << 100.0 << true << false << 148.0 << 0;
        QTest::newRow("highlighted with links, left side") << 100.0 << true << true << 126.0 << -1;
        QTest::newRow("highlighted with links, right side") << 500.0 << true << true << 126.0 << 1;
    }
    void labelBoxes()
    {
        QFETCH(double, anchorX);
        QFETCH(bool, highlighted);
        QFETCH(bool, links);
        QFETCH(double, textWidth);
        QFETCH(int, buttonSide);
        AnnotationFixture fixture;
        const QList<AnnotationLink> linkList{webLink("", "example.org")};
        const QUuid id =
            fixture.point("Label", "", anchorX / 600, 0.5, links ? linkList : QList<AnnotationLink>())->id();
        const AnnotationScene scene(fixture.image->points(), fixture.image->regions(), {});
        const AnnotationFrame frame = makeAnnotationFrame(scene, geometry({600, 600}),
                                                          highlighted ? std::optional<QUuid>(id) : std::nullopt,
                                                          true, CalloutMetrics(), CalloutLabelText());
        const CalloutLabelBox &box = frame.labels.value(0);
        QCOMPARE(box.text.width(), textWidth);
        QCOMPARE(box.capsule.width(), textWidth + 12);
        QCOMPARE(box.frame.width(), 160.0);
        QCOMPARE(box.frame.center(), frame.callouts[0].labelCenter);
        QCOMPARE(box.linkButton.has_value(), buttonSide != 0);
        if (box.linkButton)
            QCOMPARE(box.linkButton->center().x() < box.capsule.center().x(), buttonSide < 0);
    }

    void lines_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<double>("width");
        QTest::addColumn<QList<int>>("column10"); // alpha of rows 8 to 12 at x = 10
        QTest::newRow("on a row's centre") << QPointF(2, 10.5) << QPointF(30, 10.5) << 1.0
                                           << QList<int>{0, 0, 255, 0, 0};
        QTest::newRow("between two rows") << QPointF(2, 10) << QPointF(30, 10) << 1.0 << QList<int>{0, 128, 128, 0, 0};
        QTest::newRow("three wide") << QPointF(2, 10.5) << QPointF(30, 10.5) << 3.0 << QList<int>{0, 255, 255, 255, 0};
        QTest::newRow("backwards") << QPointF(30, 10.5) << QPointF(2, 10.5) << 1.0 << QList<int>{0, 0, 255, 0, 0};
        QTest::newRow("steep") << QPointF(10.5, 0) << QPointF(10.5, 30) << 1.0 << QList<int>{255, 255, 255, 255, 255};
                // Across a column a diagonal covers √2 pixels' height.
        QTest::newRow("diagonal") << QPointF(0, 0) << QPointF(30, 30) << 1.0 << QList<int>{0, 54, 255, 54, 0};
        // Across the bands it is drawn in below, away from the edges.
        QTest::newRow("shallow, through bands") << QPointF(1, 4) << QPointF(31, 20) << 1.0
                                                << QList<int>{128, 161, 0, 0, 0};
        QTest::newRow("steep, through bands") << QPointF(4, 1) << QPointF(20, 31) << 1.0
                                              << QList<int>{0, 0, 0, 44, 178};
        QTest::newRow("not a number") << QPointF(qQNaN(), 0) << QPointF(30, 30) << 1.0 << QList<int>{0, 0, 0, 0, 0};
        QTest::newRow("far away") << QPointF(-1e12, 10.5) << QPointF(1e12, 10.5) << 1.0 << QList<int>{0, 0, 0, 0, 0};
    }
    void lines()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(double, width);
        QFETCH(QList<int>, column10);
        const ShapeRaster ink(Qt::red, 1);
        QImage whole(32, 32, QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::transparent);
        ink.drawLine(whole, {0, 0}, from, to, width);
        QList<int> column;
        for (int y = 8; y <= 12; ++y)
            column.append(qAlpha(whole.pixel(10, y)));
        for (qsizetype i = 0; i < column.size(); ++i)
            QVERIFY2(std::abs(column[i] - column10[i]) <= 4,
                     qPrintable(QStringLiteral("row %1: %2").arg(8 + i).arg(column[i])));
        // The coverage adds up to the line's area (within a pixel's worth).
        const double length = QLineF(from, to).length();
        if (std::isfinite(length) && length < 100) {
            const int expected = int(length * width * 255);
            QVERIFY2(std::abs(alphaSum(whole) - expected) <= 2 * 255 * width,
                     qPrintable(QString::number(alphaSum(whole))));
        }
        // Drawn in bands, each into its own image, it is the same.
        QImage banded(32, 32, QImage::Format_ARGB32_Premultiplied);
        banded.fill(Qt::transparent);
        for (int top = 0; top < 32; top += 7) {
            const int rows = std::min(7, 32 - top);
            QImage band(banded.bits() + top * banded.bytesPerLine(), 32, rows, banded.bytesPerLine(),
                        QImage::Format_ARGB32_Premultiplied);
            ink.drawLine(band, {0, double(top)}, from, to, width);
        }
        QCOMPARE(banded, whole);
    }

    void polygons_data()
    {
        QTest::addColumn<QList<QPolygonF>>("polygons");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("filled");
        const QPolygonF square({{10, 10}, {20, 10}, {20, 20}, {10, 20}});
        QList<QPointF> star;
        for (const Vertex &corner : pentagram(16, 16, 14))
            star.append({corner.x, corner.y});
        QTest::newRow("pixel centres inside") << QList<QPolygonF>{square} << QPoint(10, 10) << 255 << 100;
        QTest::newRow("the star's middle is filled")
            << QList<QPolygonF>{QPolygonF(star)} << QPoint(16, 16) << 255 << -1;
        QTest::newRow("windings that cancel leave a hole")
            << QList<QPolygonF>{QPolygonF({{0, 0}, {30, 0}, {30, 30}, {0, 30}, {0, 0}, {10, 10}, {10, 20}, {20, 20},
                                           {20, 10}, {10, 10}})}
            << QPoint(15, 15) << 0 << 800;
        QTest::newRow("windings that add up stay filled")
            << QList<QPolygonF>{QPolygonF({{0, 0}, {30, 0}, {30, 30}, {0, 30}, {0, 0}, {10, 10}, {20, 10}, {20, 20},
                                           {10, 20}, {10, 10}})}
            << QPoint(15, 15) << 255 << 900;
        QTest::newRow("degenerate") << QList<QPolygonF>{QPolygonF({{0, 0}, {30, 30}, {0, 0}})} << QPoint(15, 15) << 0
                                    << 0;
    }
    void polygons()
    {
        QFETCH(QList<QPolygonF>, polygons);
        QFETCH(QPoint, pixel);
        QFETCH(int, alpha);
        QFETCH(int, filled);
        const ShapeRaster ink(Qt::red, 1);
        std::vector<ShapeRaster::Edge> edges;
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        for (const QPolygonF &polygon : polygons)
            ink.fillPolygon(image, {0, 0}, polygon.constData(), polygon.size(), edges);
        QCOMPARE(qAlpha(image.pixel(pixel)), alpha);
        if (filled >= 0)
            QCOMPARE(alphaSum(image), filled * 255);
        // Half the opacity over what is there: the same colour, more opaque.
        const ShapeRaster half(Qt::red, 0.5);
        for (const QPolygonF &polygon : polygons)
            half.fillPolygon(image, {0, 0}, polygon.constData(), polygon.size(), edges);
        if (alpha == 255)
            QCOMPARE(image.pixel(pixel), qRgba(255, 0, 0, 255));
    }

    // Lines drawn joined have round joins, and an open line round caps: a
    // disc of the line's width round each corner and end fills what the
    // lines leave short of it (and no more, as a square cap or a mitre
    // would), and where lines overlap round a corner they cover it once.
    // Lines 4 wide at half strength (so that a pixel covered twice shows):
    // each row, the polyline, a pixel and the range of its alpha. Gathered
    // as what they let through, the lines cover each pixel as much.
    void roundJoinsAndCaps_data()
    {
        QTest::addColumn<QPolygonF>("line");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<QPoint>("pixel");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        const QPolygonF straight({{4, 16}, {24, 16}});
        const QPolygonF square({{8, 8}, {24, 8}, {24, 24}, {8, 24}});
        const QPolygonF bend({{4, 8}, {16, 8}, {16, 28}});
        const QPolygonF spike({{4, 16}, {28, 16}, {6, 20}});
        QTest::newRow("a cap beyond the end") << straight << false << QPoint(24, 15) << 126 << 129;
        QTest::newRow("the cap round, not square") << straight << false << QPoint(25, 14) << 30 << 70;
        QTest::newRow("nothing past the cap") << straight << false << QPoint(27, 16) << 0 << 0;
        QTest::newRow("the start capped too") << straight << false << QPoint(3, 16) << 126 << 129;
        QTest::newRow("a closed line's corner filled") << square << true << QPoint(24, 7) << 126 << 129;
        QTest::newRow("the corner round, not mitred") << square << true << QPoint(25, 6) << 30 << 70;
        QTest::newRow("the closing corner round too") << square << true << QPoint(7, 7) << 126 << 129;
        QTest::newRow("the corner's inside covered once") << square << true << QPoint(23, 9) << 126 << 129;
        QTest::newRow("a bend's corner filled") << bend << false << QPoint(16, 7) << 126 << 129;
        QTest::newRow("a bend's inside covered once") << bend << false << QPoint(15, 9) << 126 << 129;
        QTest::newRow("a line turned back on its axis") << spike << false << QPoint(29, 16) << 100 << 129;
    }
    void roundJoinsAndCaps()
    {
        QFETCH(QPolygonF, line);
        QFETCH(bool, closed);
        QFETCH(QPoint, pixel);
        QFETCH(int, least);
        QFETCH(int, most);
        const ShapeRaster ink(Qt::red, 0.5);
        QImage image(32, 32, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        ink.drawPolyline(image, {0, 0}, line.constData(), line.size(), 4, closed);
        const int alpha = qAlpha(image.pixel(pixel));
        QVERIFY2(alpha >= least && alpha <= most, qPrintable(QString::number(alpha)));
        if (closed)
            return;
        std::vector<quint16> through(32 * 32, 65535);
        ink.drawPolylineThrough(through.data(), 32, image.size(), {0, 0}, line.constData(), line.size(), 4);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                QVERIFY2(std::abs((1 - through[size_t(y * 32 + x)] / 65535.0) * 255 - qAlpha(image.pixel(x, y))) < 1,
                         qPrintable(QStringLiteral("at %1, %2").arg(x).arg(y)));
    }

    // A leader line worked out once and drawn in pieces placed anywhere
    // (gathered with rows to spare, that are thrown away) gives what
    // drawPolyline() gives whole, gathered as what it lets through or laid
    // over pixels of any colours at once.
    void leaderLinesMatchPolylines_data()
    {
        QTest::addColumn<QPolygonF>("line");
        QTest::addColumn<double>("width");
        QTest::addColumn<QSize>("piece");
        for (const QSize piece : {QSize(37, 23), QSize(240, 5), QSize(9, 160)}) {
            const QByteArray in = QStringLiteral(" in %1 x %2").arg(piece.width()).arg(piece.height()).toUtf8();
            QTest::newRow("bent up to a label" + in) << QPolygonF({{200.4, 140.3}, {61.7, 20.6}, {30.5, 20.6}}) << 1.5
                                                    << piece;
            QTest::newRow("bent down, steep" + in) << QPolygonF({{52.2, 3.1}, {60.9, 150.4}, {230.2, 150.4}}) << 2.0
                                                  << piece;
            QTest::newRow("going straight on" + in) << QPolygonF({{10.1, 80.3}, {120.6, 80.3}, {220.9, 80.3}}) << 1.0
                                                   << piece;
        }
    }
    void leaderLinesMatchPolylines()
    {
        QFETCH(QPolygonF, line);
        QFETCH(double, width);
        QFETCH(QSize, piece);
        const ShapeRaster ink(Qt::red, 0.5);
        const QSize size(240, 160);
        std::vector<quint16> whole(size_t(size.width() * size.height()), 65535), pieced = whole;
        ink.drawPolylineThrough(whole.data(), size.width(), size, {0, 0}, line.constData(), 3, width);
        const ShapeRaster::Leader leader = ink.leader({line[0], line[1], line[2]}, width);
        QImage over(size, QImage::Format_ARGB32_Premultiplied);
        over.fill(qRgba(20, 60, 90, 200));
        QImage laid = over;
        for (int top = 0; top < size.height(); top += piece.height()) {
            for (int left = 0; left < size.width(); left += piece.width()) {
                const QSize part(std::min(piece.width(), size.width() - left), std::min(piece.height(), size.height() - top));
                // Each piece with rows to spare above and below it, that
                // are thrown away.
                constexpr int slack = 4;
                std::vector<quint16> spare(size_t(part.width() * (part.height() + 2 * slack)), 65535);
                ink.drawLeaderThrough(spare.data() + slack * part.width(), part.width(), part, {left, top}, leader, slack);
                for (int y = 0; y < part.height(); ++y)
                    std::copy_n(spare.data() + (slack + y) * part.width(), part.width(),
                                pieced.data() + (top + y) * size.width() + left);
                ink.drawLeaderOver(reinterpret_cast<quint32 *>(over.scanLine(top)) + left, over.bytesPerLine() / 4, part,
                                   {left, top}, leader);
            }
        }
        QVERIFY(pieced == whole);
        QVERIFY(std::count(whole.begin(), whole.end(), 65535) < qsizetype(whole.size()));
        layThrough(reinterpret_cast<quint32 *>(laid.bits()), laid.bytesPerLine() / 4, size, whole.data(), size.width(),
                   ink.opaqueColour());
        QCOMPARE(over, laid);
    }

    // Shapes drawn in pieces, each piece an image of its own placed
    // anywhere, come out pixel for pixel as drawn whole: what is drawn at
    // different times and put together shows no seams.
    void piecesMatchTheWhole_data()
    {
        QTest::addColumn<QPolygonF>("shape");
        QTest::addColumn<double>("width");
        QTest::addColumn<QSize>("piece");
        QPolygonF star, circle;
        for (const Vertex &corner : pentagram(121.3, 80.6, 78.9))
            star.append({corner.x, corner.y});
        for (int k = 0; k < 40; ++k)
            circle.append({117.7 + 93.1 * std::cos(k * 0.157), 79.2 + 71.9 * std::sin(k * 0.157)});
        const QPolygonF shallow({{3.3, 20.7}, {236.1, 61.2}});
        const QPolygonF steep({{20.2, 1.6}, {61.9, 157.3}});
        // Wound round twice, reaching past both sides of the image: the
        // edges beyond a narrow piece's right are left out of its fill.
        QPolygonF twice;
        for (int k = 0; k < 50; ++k)
            twice.append({120.3 + 141.7 * std::cos(k * 0.2513), 80.4 + 60.9 * std::sin(k * 0.2513)});
        for (const QSize piece : {QSize(240, 7), QSize(13, 160), QSize(37, 23), QSize(3, 160), QSize(240, 2)}) {
            const QByteArray in = QStringLiteral(" in %1 x %2").arg(piece.width()).arg(piece.height()).toUtf8();
            QTest::newRow("a long shallow line" + in) << shallow << 1.0 << piece;
            QTest::newRow("a long steep line" + in) << steep << 1.5 << piece;
            QTest::newRow("an all but level line" + in)
                << QPolygonF({{10.2, 56.2185}, {200.7, 56.2185 + 1e-13}}) << 1.5 << piece;
            QTest::newRow("a wide line" + in) << QPolygonF({{5.5, 150.2}, {230.4, 9.9}}) << 4.0 << piece;
            // (Slanted so that its band across reaches four pixels.)
            QTest::newRow("a slanted line" + in) << QPolygonF({{10.3, 12.7}, {150.9, 140.1}}) << 2.0 << piece;
            QTest::newRow("a star" + in) << star << 1.5 << piece;
            QTest::newRow("a circle" + in) << circle << 3.0 << piece;
            QTest::newRow("a loop wound twice past the sides" + in) << twice << 1.5 << piece;
        }
    }
    void piecesMatchTheWhole()
    {
        QFETCH(QPolygonF, shape);
        QFETCH(double, width);
        QFETCH(QSize, piece);
        // Filled faintly and outlined over it, as the overlay draws regions.
        const ShapeRaster fill(Qt::red, 0.18), outline(Qt::red, 1);
        std::vector<ShapeRaster::Edge> edges;
        const auto draw = [&](QImage &image, const QPointF &origin) {
            fill.fillPolygon(image, origin, shape.constData(), shape.size(), edges);
            outline.drawPolyline(image, origin, shape.constData(), shape.size(), width, true);
        };
        QImage whole(240, 160, QImage::Format_ARGB32_Premultiplied);
        whole.fill(Qt::transparent);
        draw(whole, {0, 0});
        QVERIFY(alphaSum(whole) > 0);
        QImage pieced(whole.size(), whole.format());
        pieced.fill(Qt::transparent);
        for (int top = 0; top < whole.height(); top += piece.height()) {
            for (int left = 0; left < whole.width(); left += piece.width()) {
                QImage part(pieced.bits() + top * pieced.bytesPerLine() + left * 4,
                            std::min(piece.width(), whole.width() - left), std::min(piece.height(), whole.height() - top),
                            pieced.bytesPerLine(), pieced.format());
                draw(part, QPointF(left, top));
            }
        }
        QCOMPARE(pieced, whole);
    }

    // A stamp laid over an image gives the pixels the painter gives, and
    // one mostly of one pixel laid as such too.
    void stampsMatchThePainter_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("at");
        QTest::newRow("inside") << QSize(23, 9) << QPoint(5, 6);
        QTest::newRow("over the left and top edges") << QSize(30, 12) << QPoint(-7, -5);
        QTest::newRow("over the right and bottom edges") << QSize(17, 20) << QPoint(33, 25);
        QTest::newRow("wider than the image") << QSize(60, 3) << QPoint(-9, 10);
        QTest::newRow("one pixel") << QSize(1, 1) << QPoint(0, 39);
        QTest::newRow("outside") << QSize(10, 10) << QPoint(40, -20);
        QTest::newRow("every run length across a row") << QSize(39, 7) << QPoint(1, 30);
        QTest::newRow("wide, cut on the right") << QSize(64, 5) << QPoint(3, 2);
    }
    void stampsMatchThePainter()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, at);
        // Premultiplied pixels of every kind: clear, opaque and between,
        // the stamp in runs so that whole groups of them occur.
        QRandomGenerator random(size.width() * 100 + size.height());
        const auto pixel = [&](int alpha) {
            return qRgba(random.bounded(alpha + 1), random.bounded(alpha + 1), random.bounded(alpha + 1), alpha);
        };
        QImage stamp(size, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int kind = (x / 4 + y) % 3;
                stamp.setPixel(x, y, pixel(kind == 0 ? 0 : kind == 1 ? 255 : random.bounded(1, 255)));
            }
        QImage under(40, 40, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x)
                under.setPixel(x, y, pixel(random.bounded(256)));
        QImage painted = under;
        {
            QPainter painter(&painted);
            painter.drawImage(at, stamp);
        }
        QImage stamped = under;
        stampImage(stamped, at, stamp);
        QCOMPARE(stamped, painted);
        // Laid as one mostly of one pixel, most of its rows that pixel.
        const QRgb common = qRgba(10, 40, 20, 173);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width() - 3; ++x)
                stamp.setPixel(x, y, x % 11 == 5 && y % 2 ? qRgba(0, 0, 0, 0) : common);
        painted = under;
        {
            QPainter painter(&painted);
            painter.drawImage(at, stamp);
        }
        stamped = under;
        stampImage(reinterpret_cast<quint32 *>(stamped.bits()), stamped.bytesPerLine() / 4, stamped.size(), at,
                   reinterpret_cast<const quint32 *>(stamp.constBits()), stamp.bytesPerLine() / 4, size, common);
        QCOMPARE(stamped, painted);
    }

    // A white image kept as its alphas is laid as the image is, and an
    // image with any other pixel is not kept so.
    void whiteStampsMatchThePainter_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("white");
        QTest::newRow("inside") << QSize(23, 9) << QPoint(5, 6) << true;
        QTest::newRow("over the left and top edges") << QSize(30, 12) << QPoint(-7, -5) << true;
        QTest::newRow("over the right and bottom edges") << QSize(17, 20) << QPoint(33, 25) << true;
        QTest::newRow("every run length across a row") << QSize(39, 7) << QPoint(1, 30) << true;
        QTest::newRow("one pixel not white") << QSize(16, 8) << QPoint(2, 2) << false;
    }
    void whiteStampsMatchThePainter()
    {
        QFETCH(QSize, size);
        QFETCH(QPoint, at);
        QFETCH(bool, white);
        QRandomGenerator random(size.width() * 100 + size.height());
        // Clear, opaque and between, in runs so that whole groups occur.
        QImage stamp(size, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const int kind = (x / 4 + y) % 3;
                const int alpha = kind == 0 ? 0 : kind == 1 ? 255 : random.bounded(1, 255);
                stamp.setPixel(x, y, qRgba(alpha, alpha, alpha, alpha));
            }
        if (!white)
            stamp.setPixel(size.width() - 1, size.height() - 1, qRgba(10, 20, 30, 40));
        const QImage alphas = whiteAsAlphas(stamp);
        QCOMPARE(alphas.isNull(), !white);
        if (!white)
            return;
        QImage under(40, 40, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                const int alpha = random.bounded(256);
                under.setPixel(x, y, qRgba(random.bounded(alpha + 1), random.bounded(alpha + 1),
                                           random.bounded(alpha + 1), alpha));
            }
        QImage painted = under;
        {
            QPainter painter(&painted);
            painter.drawImage(at, stamp);
        }
        QImage stamped = under;
        stampWhite(reinterpret_cast<quint32 *>(stamped.bits()), stamped.bytesPerLine() / 4, stamped.size(), at,
                   alphas.constBits(), alphas.bytesPerLine(), alphas.size());
        QCOMPARE(stamped, painted);
    }

    // Leader lines of one colour gathered as their alphas and laid over
    // the pixels at once: within a level of each channel of drawing them
    // one after another, over shapes of their colour or over a picture.
    void gatheredLinesMatchOneByOne_data()
    {
        QTest::addColumn<QList<QLineF>>("lines");
        QTest::addColumn<bool>("overPicture");
        QTest::addColumn<double>("width");
        const QList<QLineF> crossing{{2, 3, 60, 40}, {60, 3, 2, 40}, {30, 0, 31, 47}, {0, 20.5, 63, 20.5}};
        QList<QLineF> converging;
        for (int i = 0; i < 24; ++i)
            converging.append(QLineF(2 + i * 2.5, 45 - i * 0.3, 62, 10.25 + i * 0.01));
        QTest::newRow("crossing, over shapes") << crossing << false << 1.0;
        QTest::newRow("crossing, over a picture") << crossing << true << 1.0;
        QTest::newRow("many over one pixel, over shapes") << converging << false << 1.0;
        QTest::newRow("many over one pixel, over a picture") << converging << true << 1.0;
        QTest::newRow("twice the pixels, over a picture") << converging << true << 2.0;
        QTest::newRow("long and shallow, both ways")
            << QList<QLineF>{{1, 30.3, 63, 22.9}, {62, 5.5, 0.5, 17.25}, {3, 40, 60, 40.75}} << true << 1.0;
    }
    void gatheredLinesMatchOneByOne()
    {
        QFETCH(QList<QLineF>, lines);
        QFETCH(bool, overPicture);
        QFETCH(double, width);
        const ShapeRaster leader(QColor(255, 140, 0), 0.5);
        QRandomGenerator random(5);
        QImage under(64, 48, QImage::Format_ARGB32_Premultiplied);
        if (overPicture) {
            for (int y = 0; y < under.height(); ++y)
                for (int x = 0; x < under.width(); ++x)
                    under.setPixel(x, y, qRgb(random.bounded(256), random.bounded(256), random.bounded(256)));
        } else {
            // Shapes of the lines' colour at a few opacities.
            under.fill(Qt::transparent);
            const ShapeRaster fill(QColor(255, 140, 0), 0.18), outline(QColor(255, 140, 0), 1);
            std::vector<ShapeRaster::Edge> edges;
            const QPointF square[] = {{4, 4}, {40, 6}, {38, 40}, {6, 36}};
            fill.fillPolygon(under, {0, 0}, square, 4, edges);
            fill.fillPolygon(under, {-20, -4}, square, 4, edges);
            outline.drawPolyline(under, {0, 0}, square, 4, 1.5, true);
        }
        // One after another, without rounding: each line's coverage (drawn
        // alone at full strength) laid over at half its strength.
        const QColor orange(255, 140, 0);
        const ShapeRaster full(orange, 1);
        std::vector<double> through(size_t(under.width() * under.height()), 1.0);
        for (const QLineF &line : lines) {
            std::vector<quint16> alone(through.size(), 65535);
            const QPointF ends[] = {line.p1(), line.p2()};
            full.drawPolylineThrough(alone.data(), under.width(), under.size(), {0, 0}, ends, 2, width);
            // Each cell covered as much as the line drawn the usual way.
            QImage drawn(under.size(), QImage::Format_ARGB32_Premultiplied);
            drawn.fill(Qt::transparent);
            full.drawPolyline(drawn, {0, 0}, ends, 2, width, false);
            for (size_t i = 0; i < through.size(); ++i) {
                const int x = int(i) % under.width(), y = int(i) / under.width();
                QVERIFY(std::abs((1 - alone[i] / 65535.0) * 255 - qAlpha(drawn.pixel(x, y))) < 0.6);
                through[i] *= 1 - 0.5 * (1 - alone[i] / 65535.0);
            }
        }
        std::vector<quint16> gatheredThrough(through.size(), 65535);
        QImage gathered = under;
        for (const QLineF &line : lines) {
            const QPointF ends[] = {line.p1(), line.p2()};
            leader.drawPolylineThrough(gatheredThrough.data(), under.width(), under.size(), {0, 0}, ends, 2, width);
        }
        layThrough(reinterpret_cast<quint32 *>(gathered.bits()), gathered.bytesPerLine() / 4, gathered.size(),
                   gatheredThrough.data(), under.width(), leader.opaqueColour());
        int worst = 0, changed = 0;
        for (int y = 0; y < under.height(); ++y)
            for (int x = 0; x < under.width(); ++x) {
                const double t = through[size_t(y * under.width() + x)];
                const QRgb before = under.pixel(x, y), after = gathered.pixel(x, y);
                // How far a channel lies from `was` overlaid by `colour`
                // where `t` shows through, in whole levels.
                const auto apart = [t](int was, int colour, int got) {
                    return int(std::ceil(std::abs(was * t + colour * (1 - t) - got) - 1e-9));
                };
                changed += after != before;
                worst = std::max({worst, apart(qRed(before), orange.red(), qRed(after)),
                                  apart(qGreen(before), orange.green(), qGreen(after)),
                                  apart(qBlue(before), orange.blue(), qBlue(after)),
                                  apart(qAlpha(before), 255, qAlpha(after))});
            }
        QVERIFY2(worst <= 1, qPrintable(QStringLiteral("a channel %1 apart").arg(worst)));
        QVERIFY(changed > 100);

        // Copied and laid over in one pass, in uneven pieces of a row (as
        // where a kept image wraps round): the same pixels, and the values
        // left ready for the next lines.
        QImage copied(under.size(), QImage::Format_ARGB32_Premultiplied);
        copied.fill(Qt::black);
        for (int y = 0; y < under.height(); ++y) {
            auto *into = reinterpret_cast<quint32 *>(copied.scanLine(y));
            const auto *from = reinterpret_cast<const quint32 *>(under.constScanLine(y));
            quint16 *row = gatheredThrough.data() + y * under.width();
            const int cut = 13 + y % 7;
            layThroughAndClear(into, from, row, cut, leader.opaqueColour());
            layThroughAndClear(into + cut, from + cut, row + cut, under.width() - cut, leader.opaqueColour());
        }
        QCOMPARE(copied, gathered);
        QVERIFY(std::all_of(gatheredThrough.begin(), gatheredThrough.end(), [](quint16 v) { return v == 65535; }));
    }
    // A line along the rows takes its steps several at a time, one along
    // the columns one at a time: the same line both ways, its image turned
    // over the diagonal, gives the same values exactly.
    void runsAlongRowsMatchStepByStep_data()
    {
        QTest::addColumn<double>("opacity");
        QTest::addColumn<double>("width");
        QTest::newRow("half") << 0.5 << 1.0;
        QTest::newRow("full") << 1.0 << 1.0;
        QTest::newRow("a little") << 0.18 << 1.0;
        QTest::newRow("half, twice the pixels") << 0.5 << 2.0;
    }
    void runsAlongRowsMatchStepByStep()
    {
        QFETCH(double, opacity);
        QFETCH(double, width);
        const ShapeRaster ink(Qt::red, opacity);
        const QList<QLineF> lines{{1, 30.3, 95, 22.9}, {94, 5.5, 0.5, 17.25}, {3, 40, 90, 40.75},
                                  {2, 2, 70, 45}, {10, 44.5, 96, 3.2}};
        const QSize size(96, 48);
        std::vector<quint16> along(size_t(size.width() * size.height()), 65535);
        std::vector<quint16> across = along;
        for (const QLineF &line : lines) {
            const QPointF ends[] = {line.p1(), line.p2()};
            const QPointF turned[] = {line.p1().transposed(), line.p2().transposed()};
            ink.drawPolylineThrough(along.data(), size.width(), size, {0, 0}, ends, 2, width);
            ink.drawPolylineThrough(across.data(), size.height(), size.transposed(), {0, 0}, turned, 2, width);
        }
        int covered = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const quint16 value = along[size_t(y * size.width() + x)];
                QCOMPARE(value, across[size_t(x * size.height() + y)]);
                covered += value < 65535;
            }
        QVERIFY(covered > 300);
    }

    // Labels spread along a side: spacing 24 between bounds 24 and 576.
    void spreadExamples_data()
    {
        QTest::addColumn<QList<double>>("desired");
        QTest::addColumn<QList<double>>("placed");
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("empty") << QList<double>() << QList<double>();
        QTest::newRow("below") << QList<double>{5} << QList<double>{24};
        QTest::newRow("inside") << QList<double>{300} << QList<double>{300};
        QTest::newRow("above") << QList<double>{590} << QList<double>{576};
        QTest::newRow("equal pair") << QList<double>{100, 100} << QList<double>{88, 112};
        QTest::newRow("unsorted triple") << QList<double>{300, 310, 305} << QList<double>{281, 329, 305};
        QTest::newRow("merge two") << QList<double>{50, 60, 200} << QList<double>{43, 67, 200};
        QTest::newRow("merged and shifted") << QList<double>{10, 12, 14} << QList<double>{24, 48, 72};
        // The stack reaches past both bounds: it ends at the upper one.
        QTest::newRow("both ends") << QList<double>{5, 595} << QList<double>{-14, 576};
        QTest::newRow("both ends, three") << QList<double>{595, 5, 300} << QList<double>{576, -14, 281};
        QTest::newRow("four equal") << QList<double>{300, 300, 300, 300} << QList<double>{264, 288, 312, 336};
        QTest::newRow("not finite") << QList<double>{std::nan(""), inf, -inf, 300}
                                    << QList<double>{12, 576, 36, 300};
    }
    void spreadExamples()
    {
        QFETCH(QList<double>, desired);
        QFETCH(QList<double>, placed);
        const QList<double> result = CalloutLayout::spread(desired, 24, 24, 576);
        QVERIFY2(near(result, placed), text(result));
    }

    // Where that leaves a label outside the view (centres below 10 here),
    // it is closed up against the lower bound; a label still in view stays.
    void spreadKeepsLabelsInView_data()
    {
        QTest::addColumn<QList<double>>("desired");
        QTest::addColumn<QList<double>>("placed");
        QTest::newRow("in view, kept") << QList<double>{30, 590} << QList<double>{16, 576};
        QTest::newRow("out of view, closed up") << QList<double>{5, 595} << QList<double>{24, 576};
        QTest::newRow("closed up, pushing the next") << QList<double>{5, 29, 595} << QList<double>{24, 48, 576};
        QTest::newRow("closed up, next left alone") << QList<double>{5, 300, 595} << QList<double>{24, 281, 576};
        QTest::newRow("fitting set untouched") << QList<double>{10, 12, 14} << QList<double>{24, 48, 72};
        QTest::newRow("not finite") << QList<double>{std::nan(""), 590, -std::numeric_limits<double>::infinity(), 300}
                                    << QList<double>{24, 576, 48, 286};
    }
    void spreadKeepsLabelsInView()
    {
        QFETCH(QList<double>, desired);
        QFETCH(QList<double>, placed);
        const QList<double> result = CalloutLayout::spread(desired, 24, 24, 576, 10);
        QVERIFY2(near(result, placed), text(result));
    }

    void tooManySpreadEvenly()
    {
        QList<double> desired;
        for (int i = 0; i < 30; ++i)
            desired.append(i % 2 ? 500.0 - i : 100.0 + i);
        const QList<double> result = CalloutLayout::spread(desired, 24, 24, 576);
        QList<qsizetype> order(desired.size());
        std::iota(order.begin(), order.end(), 0);
        std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return desired[a] < desired[b]; });
        for (int k = 0; k < 30; ++k)
            QVERIFY(std::abs(result[order[k]] - (24 + k * 552.0 / 29)) < 1e-9);
        QCOMPARE(CalloutLayout::evenlySpaced(1, 24, 576), QList<double>{300});
    }

    void mergeKeepsEqualMeansApart()
    {
        // Adjusted positions 0 and 0: equal means stay two blocks.
        QCOMPARE(CalloutLayout::mergedSlots({0, 24}, 24), QList<double>({0, 24}));
        // Labels already exactly a spacing apart keep their positions to the
        // bit; merging their equal means would recompute them from a sum.
        QCOMPARE(CalloutLayout::mergedSlots({100.1, 124.1, 148.1}, 24), QList<double>({100.1, 124.1, 148.1}));
        QCOMPARE(CalloutLayout::mergedSlots({0.1, 0.1, 0.1}, 0), QList<double>({0.1, 0.1, 0.1}));
    }

    void randomisedProperties()
    {
        QRandomGenerator random(20240611);
        for (int round = 0; round < 2000; ++round) {
            const int n = random.bounded(0, 40);
            const double spacing = random.bounded(1, 40);
            const double lower = random.bounded(-100, 100);
            const double upper = lower + random.bounded(0, 800);
            QList<double> desired;
            for (int i = 0; i < n; ++i) {
                // Some repeats, some far outside the bounds.
                desired.append(i > 0 && random.bounded(5) == 0 ? desired[random.bounded(i)]
                                                               : lower - 300 + random.generateDouble() * (upper - lower + 600));
            }
            // Nothing placed below the lower bound stays in view.
            const QList<double> result = CalloutLayout::spread(desired, spacing, lower, upper, lower);
            QCOMPARE(result.size(), desired.size());
            QList<qsizetype> order(n);
            std::iota(order.begin(), order.end(), 0);
            std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) { return desired[a] < desired[b]; });
            const bool fits = spacing * (n - 1) <= upper - lower;
            for (qsizetype k = 0; k < n; ++k) {
                const double at = result[order[k]];
                QVERIFY2(at >= lower - 1e-9 && at <= upper + 1e-9, qPrintable(QString("round %1").arg(round)));
                if (k > 0) {
                    const double gap = at - result[order[k - 1]];
                    QVERIFY2(gap >= (fits ? spacing : 0) - 1e-9, qPrintable(QString("round %1").arg(round)));
                }
            }
        }
    }
};

QTEST_MAIN(AnnotationLayoutTest)
#include "tst_annotationlayout.moc"
