#include "appkit/NSToolbarItem.h"

#include "appkit/NSColor.h"
#include "appkit/NSImage.h"

#include <QAction>
#include <QIconEngine>
#include <QPainter>
#include <QToolButton>

namespace {

// How much larger the large symbol scale draws a symbol than the medium
// scale, at which an icon is made.
constexpr qreal largeSymbolScale = 1.25;

// Draws another icon's shape at the large symbol scale, in one colour
// chosen from the application's palette at the time of drawing: the shape
// filling a box at the medium scale is drawn larger about the box's centre.
class LargeOneColourIconEngine : public QIconEngine {
public:
    LargeOneColourIconEngine(QIcon shape, bool highlighted) : m_shape(std::move(shape)), m_highlighted(highlighted) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        const QSize box = m_shape.actualSize(size, QIcon::Normal, state);
        if (box.isEmpty())
            return {};
        const QSizeF large = QSizeF(box) * largeSymbolScale;
        const QPixmap shape = m_shape.pixmap(large.toSize(), 1.0, QIcon::Normal, state);
        if (shape.isNull())
            return shape;
        QPixmap pixmap(box);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QPointF corner((box.width() - large.width()) / 2, (box.height() - large.height()) / 2);
        painter.drawPixmap(QRectF(corner, large), shape, QRectF(shape.rect()));
        painter.end();
        NSImage::fillOpaqueArea(pixmap, colour(mode));
        return pixmap;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        QPixmap image = pixmap(rect.size() * scale, mode, state);
        image.setDevicePixelRatio(scale);
        painter->drawPixmap(rect, image);
    }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State state) override
    {
        return m_shape.actualSize(size, QIcon::Normal, state);
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State state) override
    {
        return m_shape.availableSizes(QIcon::Normal, state);
    }

    QIconEngine *clone() const override { return new LargeOneColourIconEngine(m_shape, m_highlighted); }

private:
    QColor colour(QIcon::Mode mode) const
    {
        const QPalette palette = QGuiApplication::palette();
        if (mode == QIcon::Disabled)
            return palette.color(QPalette::Disabled, QPalette::ButtonText);
        return m_highlighted ? NSColor::systemOrange(palette) : palette.color(QPalette::Active, QPalette::ButtonText);
    }

    QIcon m_shape;
    bool m_highlighted;
};

// The item's own icon, before any colouring: kept on the item beside the
// key of the coloured icon, so that colouring again starts from the shape
// and an icon set on the item since then becomes the new shape.
template <typename Item>
void colourIcon(Item &item, bool highlighted)
{
    static const char *const shapeProperty = "veloranToolbarShape";
    static const char *const colouredProperty = "veloranToolbarColouredKey";
    const QIcon current = item.icon();
    if (current.isNull())
        return;
    QIcon shape = current;
    const QVariant colouredKey = item.property(colouredProperty);
    if (colouredKey.isValid() && colouredKey.toLongLong() == current.cacheKey())
        shape = item.property(shapeProperty).template value<QIcon>();
    const QIcon coloured = NSToolbarItem::highlightedIcon(shape, highlighted);
    item.setProperty(shapeProperty, QVariant::fromValue(shape));
    item.setProperty(colouredProperty, coloured.cacheKey());
    item.setIcon(coloured);
}

} // namespace

QIcon NSToolbarItem::highlightedIcon(const QIcon &icon, bool highlighted)
{
    return QIcon(new LargeOneColourIconEngine(icon, highlighted));
}

void NSToolbarItem::setHighlighted(QAction &item, bool highlighted)
{
    colourIcon(item, highlighted);
}

void NSToolbarItem::setHighlighted(QToolButton &item, bool highlighted)
{
    colourIcon(item, highlighted);
}
