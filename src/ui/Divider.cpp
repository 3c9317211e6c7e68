#include "ui/Divider.h"

#include "ui/AppStyle.h"

#include <QPainter>

Divider::Divider(Qt::Orientation orientation, QWidget *parent) : QWidget(parent), m_orientation(orientation)
{
    setOrientation(orientation);
}

void Divider::setOrientation(Qt::Orientation orientation)
{
    m_orientation = orientation;
    if (orientation == Qt::Horizontal) {
        setMinimumWidth(0);
        setMaximumWidth(QWIDGETSIZE_MAX);
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    } else {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
        setFixedWidth(1);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    }
    update();
}

void Divider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QColor line = AppStyle::quaternary(palette()).darker(150);
    line.setAlphaF(std::min(1.0f, line.alphaF() * 2.5f));
    painter.fillRect(rect(), line);
}
