#include "appkit/NSAttributedString.h"

#include <QFontMetricsF>
#include <QPainter>

QRectF NSAttributedString::centredTextRect(const QSizeF &textSize, const QRectF &rect)
{
    if (textSize.width() > rect.width())
        return rect;
    return QRectF(rect.x(), rect.y() + (rect.height() - textSize.height()) * 0.5, rect.width(), textSize.height());
}

void NSAttributedString::drawCentered(QPainter &painter, const QString &text, const QRectF &rect)
{
    const QSizeF size = QFontMetricsF(painter.font()).size(0, text);
    painter.drawText(centredTextRect(size, rect), text);
}
