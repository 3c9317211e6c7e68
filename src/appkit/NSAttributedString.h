#pragma once

#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

struct NSAttributedString {
    // Where text of `textSize` is drawn in `rect`: centred vertically when
    // it fits the width, else the whole rectangle.
    static QRectF centredTextRect(const QSizeF &textSize, const QRectF &rect);
    // Draws `text` with the painter's font and pen, centred vertically.
    static void drawCentered(QPainter &painter, const QString &text, const QRectF &rect);
};
