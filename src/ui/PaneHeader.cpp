#include "ui/PaneHeader.h"

#include "ui/AppStyle.h"

#include <QAction>
#include <QHBoxLayout>
#include <QPainter>
#include <QToolButton>

PaneHeader::PaneHeader(QWidget *parent)
    : QWidget(parent)
{
    setFixedHeight(barHeight);
    m_layout = new QHBoxLayout(this);
    m_layout->setContentsMargins(10, 0, 10, 0);
    m_layout->setSpacing(4);
}

QToolButton *PaneHeader::addButton(QAction *command, bool showsTitle)
{
    auto *button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setDefaultAction(command);
    button->setIconSize(QSize(18, 18));
    button->setAccessibleName(command->text());
    button->setToolButtonStyle(showsTitle ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::TabFocus);
    m_layout->addWidget(button);
    return button;
}

void PaneHeader::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), AppStyle::barBackground(palette()));
    QColor line = AppStyle::quaternary(palette()).darker(150);
    line.setAlphaF(std::min(1.0f, line.alphaF() * 2.5f));
    painter.fillRect(QRect(0, height() - 1, width(), 1), line);
}
