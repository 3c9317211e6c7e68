#include "ui/SystemSymbol.h"

#include <QApplication>
#include <QCache>
#include <QHash>
#include <QIconEngine>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmap>

#include <cmath>
#include <functional>
#include <numbers>

namespace {

// Drawings are made on a 24 by 24 grid; the pen is set up by the caller.
using Drawing = std::function<void(QPainter &)>;

void circle(QPainter &p, QPointF centre = {12, 12}, double radius = 9)
{
    p.drawEllipse(centre, radius, radius);
}

void infoMark(QPainter &p)
{
    p.drawLine(QPointF(12, 11), QPointF(12, 16.5));
    p.save();
    p.setBrush(p.pen().color());
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(12, 7.6), 1.2, 1.2);
    p.restore();
}

void funnelLines(QPainter &p, double scale)
{
    const double c = 12;
    const double widths[] = {10 * scale, 6.5 * scale, 3 * scale};
    const double ys[] = {c - 3.2 * scale, c, c + 3.2 * scale};
    for (int i = 0; i < 3; ++i)
        p.drawLine(QPointF(c - widths[i] / 2, ys[i]), QPointF(c + widths[i] / 2, ys[i]));
}

void photoFrame(QPainter &p, const QRectF &frame)
{
    p.drawRoundedRect(frame, 2.2, 2.2);
    const double l = frame.left(), b = frame.bottom(), w = frame.width(), h = frame.height();
    QPainterPath hills;
    hills.moveTo(l + 0.8, b - 0.8);
    hills.lineTo(l + w * 0.36, b - h * 0.5);
    hills.lineTo(l + w * 0.58, b - h * 0.25);
    hills.lineTo(l + w * 0.72, b - h * 0.38);
    hills.lineTo(l + w - 0.8, b - 0.8);
    p.drawPath(hills);
    p.drawEllipse(QPointF(l + w * 0.7, frame.top() + h * 0.3), w * 0.07, w * 0.07);
}

void arrowShaft(QPainter &p, QPointF from, QPointF to, double head = 4.5)
{
    p.drawLine(from, to);
    const double angle = std::atan2(to.y() - from.y(), to.x() - from.x());
    const double spread = std::numbers::pi / 4;
    p.drawLine(to, to - QPointF(std::cos(angle - spread), std::sin(angle - spread)) * head);
    p.drawLine(to, to - QPointF(std::cos(angle + spread), std::sin(angle + spread)) * head);
}

// An open tray, for the arrows of sharing and receiving.
void tray(QPainter &p)
{
    p.drawPolyline(QPolygonF({QPointF(8.5, 9.5), QPointF(5, 9.5), QPointF(5, 21), QPointF(19, 21), QPointF(19, 9.5),
                              QPointF(15.5, 9.5)}));
}

void cloud(QPainter &p)
{
    QPainterPath outline;
    outline.moveTo(7, 18);
    outline.cubicTo(3.5, 18, 2.5, 13.5, 5.5, 12.2);
    outline.cubicTo(5.5, 8, 10.5, 6.3, 12.8, 9.2);
    outline.cubicTo(14.8, 5.8, 20.5, 7.5, 19.4, 12.2);
    outline.cubicTo(22.5, 13, 21.8, 18, 18, 18);
    outline.closeSubpath();
    p.drawPath(outline);
}

// A lens a little larger than "magnifyingglass" alone, with room for a
// mark inside.
void magnifyingGlass(QPainter &p)
{
    circle(p, {10.5, 10.5}, 7);
    p.drawLine(QPointF(15.7, 15.7), QPointF(20.5, 20.5));
}

// An arrow out of the top-right corner of a rounded square: "open
// elsewhere".
void squareWithArrow(QPainter &p)
{
    p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3.5, 3.5);
    arrowShaft(p, QPointF(8.5, 15.5), QPointF(15.5, 8.5), 5);
}

// A luggage tag pointing to the bottom-right, with its eyelet.
QPainterPath tagOutline()
{
    QPainterPath tag;
    tag.moveTo(4, 3.5);
    tag.lineTo(11.5, 3.5);
    tag.lineTo(20.5, 12.5);
    tag.lineTo(12.5, 20.5);
    tag.lineTo(3.5, 11.5);
    tag.lineTo(3.5, 4);
    tag.closeSubpath();
    return tag;
}

// Draws in the pen's colour, then clears `cut` out of it, so the symbol
// shows what lies under it there.
void filledWithCut(QPainter &p, const QPainterPath &shape, const std::function<void(QPainter &)> &cut)
{
    p.save();
    p.setBrush(p.pen().color());
    p.drawPath(shape);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.setBrush(Qt::NoBrush);
    cut(p);
    p.restore();
}

// One link of a chain: a capsule along the diagonal, centred at `centre`.
void chainLink(QPainter &p, QPointF centre)
{
    p.save();
    p.translate(centre);
    p.rotate(-45);
    p.drawRoundedRect(QRectF(-6, -3.2, 12, 6.4), 3.2, 3.2);
    p.restore();
}

const QHash<QString, Drawing> &drawings()
{
    static const QHash<QString, Drawing> table = {
        {QStringLiteral("link"),
         [](QPainter &p) {
             chainLink(p, {9, 15});
             chainLink(p, {15, 9});
         }},
        {QStringLiteral("tag"),
         [](QPainter &p) {
             p.drawPath(tagOutline());
             circle(p, {8, 8}, 1.4);
         }},
        {QStringLiteral("tag.fill"),
         [](QPainter &p) {
             filledWithCut(p, tagOutline(), [](QPainter &q) {
                 q.setBrush(Qt::black);
                 q.setPen(Qt::NoPen);
                 circle(q, {8, 8}, 1.6);
             });
         }},
        {QStringLiteral("tag.slash"),
         [](QPainter &p) {
             p.save();
             QPainterPath clip;
             clip.addRect(QRectF(0, 0, 24, 24));
             QPainterPath band;
             band.moveTo(1.6, 3.4);
             band.lineTo(3.4, 1.6);
             band.lineTo(22.4, 20.6);
             band.lineTo(20.6, 22.4);
             band.closeSubpath();
             p.setClipPath(clip.subtracted(band));
             p.drawPath(tagOutline());
             circle(p, {8, 8}, 1.4);
             p.restore();
             p.drawLine(QPointF(3, 3), QPointF(21, 21));
         }},
        {QStringLiteral("xmark.circle.fill"),
         [](QPainter &p) {
             QPainterPath disc;
             disc.addEllipse(QPointF(12, 12), 10, 10);
             filledWithCut(p, disc, [](QPainter &q) {
                 q.drawLine(QPointF(8.5, 8.5), QPointF(15.5, 15.5));
                 q.drawLine(QPointF(15.5, 8.5), QPointF(8.5, 15.5));
             });
         }},
        {QStringLiteral("arrow.up.right.square"), squareWithArrow},
        {QStringLiteral("checkmark"),
         [](QPainter &p) { p.drawPolyline(QPolygonF({QPointF(4.5, 12.5), QPointF(9.5, 18), QPointF(19.5, 6)})); }},
        {QStringLiteral("pencil.and.scribble"),
         [](QPainter &p) {
             QPolygonF body({QPointF(17, 3), QPointF(20.5, 6.5), QPointF(11, 16), QPointF(7, 17), QPointF(8, 13)});
             p.drawPolygon(body);
             QPainterPath scribble;
             scribble.moveTo(3, 21);
             scribble.cubicTo(6, 17.5, 8, 22.5, 11, 20.5);
             scribble.cubicTo(13, 19, 16, 21.5, 20.5, 20);
             p.drawPath(scribble);
         }},
        {QStringLiteral("photo"), [](QPainter &p) { photoFrame(p, QRectF(3, 5, 18, 14)); }},
        {QStringLiteral("photo.on.rectangle.angled"),
         [](QPainter &p) {
             p.save();
             p.translate(12, 12);
             p.rotate(-10);
             p.translate(-12, -12);
             p.drawRoundedRect(QRectF(3.5, 3.5, 16, 12.5), 2.2, 2.2);
             p.restore();
             QPainterPath cover;
             cover.addRoundedRect(QRectF(5.5, 8, 16, 12.5), 2.2, 2.2);
             p.save();
             p.setPen(Qt::NoPen);
             p.setCompositionMode(QPainter::CompositionMode_Clear);
             p.drawPath(cover);
             p.restore();
             photoFrame(p, QRectF(5.5, 8, 16, 12.5));
         }},
        {QStringLiteral("arrow.down.circle.dotted"),
         [](QPainter &p) {
             for (int i = 0; i < 16; ++i) {
                 const double a = i * 2 * std::numbers::pi / 16;
                 const QPointF c(12 + 9 * std::cos(a), 12 + 9 * std::sin(a));
                 p.drawLine(c, c);
             }
             arrowShaft(p, QPointF(12, 6.5), QPointF(12, 16.5));
         }},
        {QStringLiteral("plus"),
         [](QPainter &p) {
             p.drawLine(QPointF(12, 4.5), QPointF(12, 19.5));
             p.drawLine(QPointF(4.5, 12), QPointF(19.5, 12));
         }},
        {QStringLiteral("xmark.circle"),
         [](QPainter &p) {
             circle(p);
             p.drawLine(QPointF(9, 9), QPointF(15, 15));
             p.drawLine(QPointF(15, 9), QPointF(9, 15));
         }},
        {QStringLiteral("line.3.horizontal.decrease.circle"),
         [](QPainter &p) {
             circle(p);
             funnelLines(p, 1.0);
         }},
        {QStringLiteral("line.3.horizontal.decrease.circle.fill"),
         [](QPainter &p) {
             const QColor colour = p.pen().color();
             p.save();
             p.setBrush(colour);
             p.setPen(Qt::NoPen);
             circle(p, {12, 12}, 10);
             p.setCompositionMode(QPainter::CompositionMode_Clear);
             QPen pen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap);
             p.setPen(pen);
             funnelLines(p, 1.0);
             p.restore();
         }},
        {QStringLiteral("sidebar.left"),
         [](QPainter &p) {
             p.drawRoundedRect(QRectF(3, 5, 18, 14), 2.5, 2.5);
             p.drawLine(QPointF(9, 5), QPointF(9, 19));
             p.drawLine(QPointF(5, 8.5), QPointF(7, 8.5));
             p.drawLine(QPointF(5, 11), QPointF(7, 11));
             p.drawLine(QPointF(5, 13.5), QPointF(7, 13.5));
         }},
        {QStringLiteral("icloud"), [](QPainter &p) { cloud(p); }},
        {QStringLiteral("icloud.slash"),
         [](QPainter &p) {
             cloud(p);
             p.drawLine(QPointF(4, 4), QPointF(20, 21));
         }},
        {QStringLiteral("square.and.arrow.up"),
         [](QPainter &p) {
             tray(p);
             arrowShaft(p, QPointF(12, 15), QPointF(12, 2.5));
         }},
        {QStringLiteral("square.and.arrow.down"),
         [](QPainter &p) {
             tray(p);
             arrowShaft(p, QPointF(12, 2.5), QPointF(12, 15));
         }},
        {QStringLiteral("photo.stack"),
         [](QPainter &p) {
             p.drawLine(QPointF(8, 3), QPointF(16, 3));
             p.drawLine(QPointF(5.5, 5.5), QPointF(18.5, 5.5));
             photoFrame(p, QRectF(3, 8, 18, 13));
         }},
        {QStringLiteral("square.stack"),
         [](QPainter &p) {
             p.drawRoundedRect(QRectF(5, 9, 14, 11), 2, 2);
             p.drawLine(QPointF(7, 6.5), QPointF(17, 6.5));
             p.drawLine(QPointF(9, 4), QPointF(15, 4));
         }},
        {QStringLiteral("info.circle"),
         [](QPainter &p) {
             circle(p);
             infoMark(p);
         }},
        {QStringLiteral("doc.on.doc"),
         [](QPainter &p) {
             p.drawRoundedRect(QRectF(8, 7, 11, 14), 2, 2);
             p.drawPolyline(QPolygonF({QPointF(5.5, 17), QPointF(5.5, 3.5), QPointF(15, 3.5)}));
         }},
        {QStringLiteral("pencil"),
         [](QPainter &p) {
             QPolygonF body({QPointF(16, 4.5), QPointF(19.5, 8), QPointF(8.5, 19), QPointF(4.5, 19.5),
                             QPointF(5, 15.5)});
             p.drawPolygon(body);
             p.drawLine(QPointF(14, 6.5), QPointF(17.5, 10));
         }},
        {QStringLiteral("trash"),
         [](QPainter &p) {
             p.drawLine(QPointF(4, 6.5), QPointF(20, 6.5));
             p.drawPolyline(QPolygonF({QPointF(9.5, 6.5), QPointF(9.5, 4), QPointF(14.5, 4), QPointF(14.5, 6.5)}));
             p.drawPolyline(QPolygonF({QPointF(6, 6.5), QPointF(7, 20), QPointF(17, 20), QPointF(18, 6.5)}));
             p.drawLine(QPointF(10, 10), QPointF(10, 16.5));
             p.drawLine(QPointF(14, 10), QPointF(14, 16.5));
         }},
        {QStringLiteral("arrow.up"), [](QPainter &p) { arrowShaft(p, QPointF(12, 20), QPointF(12, 4), 6); }},
        {QStringLiteral("arrow.down"), [](QPainter &p) { arrowShaft(p, QPointF(12, 4), QPointF(12, 20), 6); }},
        {QStringLiteral("arrow.up.forward.square"), squareWithArrow},
        {QStringLiteral("magnifyingglass"),
         [](QPainter &p) {
             circle(p, {10.5, 10.5}, 6);
             p.drawLine(QPointF(15, 15), QPointF(20, 20));
         }},
        {QStringLiteral("plus.magnifyingglass"),
         [](QPainter &p) {
             magnifyingGlass(p);
             p.drawLine(QPointF(7.5, 10.5), QPointF(13.5, 10.5));
             p.drawLine(QPointF(10.5, 7.5), QPointF(10.5, 13.5));
         }},
        {QStringLiteral("minus.magnifyingglass"),
         [](QPainter &p) {
             magnifyingGlass(p);
             p.drawLine(QPointF(7.5, 10.5), QPointF(13.5, 10.5));
         }},
        {QStringLiteral("1.magnifyingglass"),
         [](QPainter &p) {
             magnifyingGlass(p);
             p.drawPolyline(QPolygonF({QPointF(9, 8.5), QPointF(11, 7), QPointF(11, 14)}));
         }},
        {QStringLiteral("square.stack.3d.up"),
         [](QPainter &p) {
             QPolygonF top({QPointF(12, 3), QPointF(21, 7.5), QPointF(12, 12), QPointF(3, 7.5)});
             p.drawPolygon(top);
             p.drawPolyline(QPolygonF({QPointF(3, 12), QPointF(12, 16.5), QPointF(21, 12)}));
             p.drawPolyline(QPolygonF({QPointF(3, 16.5), QPointF(12, 21), QPointF(21, 16.5)}));
         }},
        {QStringLiteral("textformat"),
         [](QPainter &p) {
             p.drawPolyline(QPolygonF({QPointF(2.5, 19), QPointF(8, 5), QPointF(13.5, 19)}));
             p.drawLine(QPointF(4.6, 14), QPointF(11.4, 14));
             circle(p, {18, 15.5}, 3.5);
             p.drawLine(QPointF(21.5, 11.5), QPointF(21.5, 19));
         }},
        {QStringLiteral("rectangle.3.group"),
         [](QPainter &p) {
             p.drawRoundedRect(QRectF(3, 4, 8, 7), 1.5, 1.5);
             p.drawRoundedRect(QRectF(13, 4, 8, 7), 1.5, 1.5);
             p.drawRoundedRect(QRectF(3, 13, 18, 7), 1.5, 1.5);
         }},
        {QStringLiteral("person.text.rectangle"),
         [](QPainter &p) {
             p.drawRoundedRect(QRectF(2.5, 4.5, 19, 15), 2.2, 2.2);
             circle(p, {8.5, 10}, 2.2);
             p.drawArc(QRectF(5, 13, 7, 5), 0, 180 * 16);
             p.drawLine(QPointF(14, 9.5), QPointF(19, 9.5));
             p.drawLine(QPointF(14, 13), QPointF(19, 13));
         }},
        {QStringLiteral("questionmark.square.dashed"),
         [](QPainter &p) {
             p.save();
             QPen dashed = p.pen();
             dashed.setCapStyle(Qt::FlatCap);
             dashed.setDashPattern({2.0, 1.6});
             p.setPen(dashed);
             p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 3.5, 3.5);
             p.restore();
             QPainterPath mark;
             mark.moveTo(9.4, 9.6);
             mark.cubicTo(9.4, 7.9, 10.6, 7, 12, 7);
             mark.cubicTo(13.5, 7, 14.6, 8, 14.6, 9.3);
             mark.cubicTo(14.6, 11.2, 12, 11.4, 12, 13.6);
             p.drawPath(mark);
             p.save();
             p.setBrush(p.pen().color());
             p.setPen(Qt::NoPen);
             p.drawEllipse(QPointF(12, 16.6), 1.1, 1.1);
             p.restore();
         }},
        {QStringLiteral("pointer.arrow"),
         [](QPainter &p) {
             p.drawPolygon(QPolygonF({QPointF(6, 3), QPointF(6, 19), QPointF(10.2, 15), QPointF(13, 21),
                                      QPointF(15.6, 19.8), QPointF(12.8, 14), QPointF(18.5, 14)}));
         }},
        {QStringLiteral("smallcircle.filled.circle"),
         [](QPainter &p) {
             circle(p);
             p.save();
             p.setBrush(p.pen().color());
             p.setPen(Qt::NoPen);
             circle(p, {12, 12}, 3.6);
             p.restore();
         }},
        {QStringLiteral("pentagon"),
         [](QPainter &p) {
             QPolygonF pentagon;
             for (int i = 0; i < 5; ++i) {
                 const double a = -std::numbers::pi / 2 + i * 2 * std::numbers::pi / 5;
                 pentagon.append(QPointF(12 + 9 * std::cos(a), 12.6 + 9 * std::sin(a)));
             }
             p.drawPolygon(pentagon);
         }},
        {QStringLiteral("checkmark.circle"),
         [](QPainter &p) {
             circle(p);
             p.drawPolyline(QPolygonF({QPointF(7.8, 12.4), QPointF(10.8, 15.4), QPointF(16.4, 8.8)}));
         }},
        {QStringLiteral("minus.circle"),
         [](QPainter &p) {
             circle(p);
             p.drawLine(QPointF(7.5, 12), QPointF(16.5, 12));
         }},
        {QStringLiteral("square.grid.2x2"),
         [](QPainter &p) {
             for (double x : {4.0, 13.0})
                 for (double y : {4.0, 13.0})
                     p.drawRoundedRect(QRectF(x, y, 7, 7), 1.5, 1.5);
         }},
    };
    return table;
}

class SymbolIconEngine final : public QIconEngine {
public:
    SymbolIconEngine(QString name, QColor colour)
        : m_name(std::move(name))
        , m_colour(colour)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        QColor colour = m_colour;
        if (!colour.isValid()) {
            const QPalette palette = QApplication::palette();
            colour = palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Normal,
                                   mode == QIcon::Selected ? QPalette::HighlightedText : QPalette::WindowText);
        } else if (mode == QIcon::Disabled) {
            colour.setAlphaF(colour.alphaF() * 0.4f);
        }
        SystemSymbol::paint(*painter, m_name, rect, colour);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        QPixmap result(size * scale);
        result.setDevicePixelRatio(scale);
        result.fill(Qt::transparent);
        QPainter painter(&result);
        paint(&painter, QRect(QPoint(), size), mode, state);
        return result;
    }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_name, m_colour); }
    QString key() const override { return QStringLiteral("SystemSymbol"); }

private:
    QString m_name;
    QColor m_colour;
};

} // namespace

bool SystemSymbol::exists(const QString &name)
{
    return drawings().contains(name);
}

void SystemSymbol::paint(QPainter &painter, const QString &name, const QRectF &rect, const QColor &colour)
{
    const auto drawing = drawings().constFind(name);
    if (drawing == drawings().constEnd())
        return;
    const double side = std::min(rect.width(), rect.height());
    if (side <= 0)
        return;
    // Symbols are drawn on a layer of their own, so that the "clear"
    // strokes of the filled ones cut only the symbol, not what lies below;
    // layers are kept for the next time, as the same few are drawn often.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const int pixels = int(std::ceil(side * ratio));
    static QCache<QString, QImage> layers(4 * 1024 * 1024);
    const QString key = name + QLatin1Char('/') + QString::number(pixels) + QLatin1Char('/')
                        + QString::number(ratio) + QLatin1Char('/') + QString::number(colour.rgba(), 16);
    QImage *cached = layers.object(key);
    if (!cached) {
        cached = new QImage(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
        cached->fill(Qt::transparent);
        QPainter p(cached);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(pixels / 24.0, pixels / 24.0);
        const double weight = side < 20 ? 1.9 : side < 40 ? 1.6 : 1.3;
        p.setPen(QPen(colour, weight, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        (*drawing)(p);
        p.end();
        cached->setDevicePixelRatio(ratio);
        layers.insert(key, cached, qsizetype(pixels) * pixels * 4);
        cached = layers.object(key);
        if (!cached)
            return;
    }
    const QPointF origin(rect.center().x() - side / 2, rect.center().y() - side / 2);
    painter.save();
    // A layer as large as the symbol is copied pixel for pixel, where the
    // painter only moves what it draws (smooth filtering would make the
    // copy several times slower); otherwise it is scaled smoothly.
    const QPointF offset(painter.transform().dx(), painter.transform().dy());
    const QPointF device = (origin + offset) * ratio;
    if (painter.transform().type() <= QTransform::TxTranslate && qFuzzyCompare(side * ratio, double(pixels))) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        painter.drawImage(QPointF(std::round(device.x()), std::round(device.y())) / ratio - offset, *cached);
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(origin, QSizeF(side, side)), *cached);
    }
    painter.restore();
}

QIcon SystemSymbol::icon(const QString &name, const QColor &colour)
{
    return QIcon(new SymbolIconEngine(name, colour));
}

QAction *SystemSymbol::addMenuItem(QMenu &menu, const QString &title, const QString &symbol)
{
    return menu.addAction(icon(symbol), title);
}
