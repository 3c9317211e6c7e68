#include "appkit/AppearanceChangeFixTableView.h"

#include <QEvent>
#include <QTimer>

Qt::PenStyle AppearanceChangeFixTableView::gridStyleMask() const
{
    return showGrid() ? gridStyle() : Qt::NoPen;
}

void AppearanceChangeFixTableView::setGridStyleMask(Qt::PenStyle style)
{
    applyGridStyle(style);
    m_storedGridStyleMask = gridStyleMask();
}

void AppearanceChangeFixTableView::applyGridStyle(Qt::PenStyle style)
{
    setShowGrid(style != Qt::NoPen);
    if (style != Qt::NoPen)
        setGridStyle(style);
}

void AppearanceChangeFixTableView::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (!m_storedGridStyleMask)
        return;
    if (event->type() != QEvent::PaletteChange && event->type() != QEvent::StyleChange)
        return;
    applyGridStyle(Qt::NoPen);
    QTimer::singleShot(0, this, [this] { applyGridStyle(*m_storedGridStyleMask); });
}
