#include "shell/PaneHeader.h"

#include "browser/LibraryStyle.h"
#include "browser/SystemSymbol.h"

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

QToolButton *PaneHeader::addButton(const QString &title, const QString &symbol, bool showsTitle)
{
    auto *button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setIcon(SystemSymbol::icon(symbol));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(title);
    button->setAccessibleName(title);
    button->setText(title);
    button->setToolButtonStyle(showsTitle ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    button->setFocusPolicy(Qt::TabFocus);
    button->setCursor(Qt::PointingHandCursor);
    m_layout->addWidget(button);
    return button;
}

void PaneHeader::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), LibraryStyle::barBackground(palette()));
    QColor line = LibraryStyle::quaternary(palette()).darker(150);
    line.setAlphaF(std::min(1.0f, line.alphaF() * 2.5f));
    painter.fillRect(QRect(0, height() - 1, width(), 1), line);
}
