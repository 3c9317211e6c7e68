#include "editor/FloatingBar.h"

#include "ui/ProminentButton.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>

FloatingBar::FloatingBar(const QMargins &padding, QWidget *parent)
    : QWidget(parent)
    , m_row(new QHBoxLayout(this))
{
    m_row->setContentsMargins(padding);
    m_row->setSpacing(8);
    m_row->setSizeConstraint(QLayout::SetFixedSize);
}

ProminentButton *FloatingBar::addButton(QAction *command, const QColor &tint)
{
    auto *button = new ProminentButton(this);
    button->setDefaultAction(command);
    button->setTint(tint);
    button->setFocusPolicy(Qt::NoFocus);
    m_row->addWidget(button);
    return button;
}

QColor FloatingBar::bordered()
{
    return QColor(255, 255, 255, 46);
}

void FloatingBar::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath backing;
    backing.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    painter.fillPath(backing, QColor(28, 28, 30, 200));
    painter.setPen(QPen(QColor(255, 255, 255, 30), 1));
    painter.drawPath(backing);
}
