#include "ui/ProminentButton.h"

#include "ui/AppStyle.h"

#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int iconSide = 18;
constexpr int cornerRadius = 7;

} // namespace

ProminentButton::ProminentButton(QWidget *parent)
    : QToolButton(parent)
    , m_tint(QColor(0x8e, 0x8e, 0x93))
{
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    setIconSize(QSize(iconSide, iconSide));
    setAutoRaise(false);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_Hover);
}

void ProminentButton::setTint(const QColor &tint)
{
    m_tint = tint;
    update();
}

QSize ProminentButton::sizeHint() const
{
    return {iconSide + 16, iconSide + 10};
}

void ProminentButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = m_tint;
    if (!isEnabled())
        fill.setAlphaF(0.35f);
    else if (isDown() || isChecked())
        fill = fill.darker(125);
    else if (underMouse())
        fill = fill.lighter(112);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
    painter.fillPath(shape, fill);
    if (hasFocus())
        AppStyle::paintFocusRing(painter, rect(), cornerRadius, palette());
    const QRect iconRect(QPoint((width() - iconSize().width()) / 2, (height() - iconSize().height()) / 2), iconSize());
    icon().paint(&painter, iconRect, Qt::AlignCenter, isEnabled() ? QIcon::Normal : QIcon::Disabled);
}
