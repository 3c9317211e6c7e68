#include "appkit/NSToolbarItem.h"

#include "appkit/NSColor.h"
#include "appkit/NSImage.h"

#include <QAction>
#include <QIconEngine>
#include <QPainter>
#include <QToolButton>

namespace {

// Draws another icon's shape in one colour, chosen from the application's
// palette at the time of drawing.
class OneColourIconEngine : public QIconEngine {
public:
    OneColourIconEngine(QIcon shape, bool highlighted) : m_shape(std::move(shape)), m_highlighted(highlighted) {}

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap = m_shape.pixmap(size, QIcon::Normal, state);
        if (pixmap.isNull())
            return pixmap;
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

    QIconEngine *clone() const override { return new OneColourIconEngine(m_shape, m_highlighted); }

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
    return QIcon(new OneColourIconEngine(icon, highlighted));
}

void NSToolbarItem::setHighlighted(QAction &item, bool highlighted)
{
    colourIcon(item, highlighted);
}

void NSToolbarItem::setHighlighted(QToolButton &item, bool highlighted)
{
    colourIcon(item, highlighted);
}
