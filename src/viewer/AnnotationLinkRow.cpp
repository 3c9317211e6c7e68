#include "viewer/AnnotationLinkRow.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int insetX = 10;
constexpr int singleLine = Qt::AlignVCenter | Qt::TextSingleLine;
constexpr int insetY = 8;
constexpr int spacing = 10;
constexpr int lineSpacing = 1;
constexpr int minimumGap = 8;

QFont titleFont()
{
    return AppStyle::callout();
}

QFont hostFont()
{
    return AppStyle::caption2();
}

} // namespace

AnnotationLinkRow::AnnotationLinkRow(const AnnotationLink &link, QWidget *parent)
    : QAbstractButton(parent)
    , m_link(link)
    , m_url(link.url().value_or(QUrl()))
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(title());
    setAccessibleDescription(host());
    setToolTip(m_url.toDisplayString());
}

QSize AnnotationLinkRow::sizeHint() const
{
    const QFontMetrics title(titleFont()), host(hostFont());
    const int symbol = title.height();
    int height = title.height();
    int textWidth = title.horizontalAdvance(this->title());
    if (!this->host().isEmpty()) {
        height += lineSpacing + host.height();
        textWidth = std::max(textWidth, host.horizontalAdvance(this->host()));
    }
    return {insetX + symbol + spacing + textWidth + minimumGap + insetX, insetY + height + insetY};
}

QSize AnnotationLinkRow::minimumSizeHint() const
{
    return {insetX + QFontMetrics(titleFont()).height() + spacing + minimumGap + insetX, sizeHint().height()};
}

void AnnotationLinkRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (underMouse() || isDown()) {
        QColor hover = AppStyle::primary(palette());
        hover.setAlphaF(isDown() ? 0.14f : 0.08f);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), 10, 10);
        painter.fillPath(shape, hover);
    }
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 9, 9);
    }

    const QFontMetrics title(titleFont()), host(hostFont());
    const QRect content = rect().adjusted(insetX, insetY, -insetX, -insetY);
    const int symbol = title.height();
    SystemSymbol::paint(painter, QStringLiteral("arrow.up.right.square"),
                        QRectF(content.left(), content.center().y() - symbol / 2.0 + 0.5, symbol, symbol),
                        AppStyle::orange());

    const QString hostText = this->host();
    const int textLeft = content.left() + symbol + spacing;
    const int textWidth = std::max(0, content.right() + 1 - minimumGap - textLeft);
    const int textHeight = title.height() + (hostText.isEmpty() ? 0 : lineSpacing + host.height());
    int y = content.center().y() + 1 - textHeight / 2;
    painter.setFont(titleFont());
    painter.setPen(AppStyle::primary(palette()));
    painter.drawText(QRect(textLeft, y, textWidth, title.height()), singleLine | Qt::AlignLeft,
                     title.elidedText(this->title(), Qt::ElideRight, textWidth));
    if (!hostText.isEmpty()) {
        y += title.height() + lineSpacing;
        painter.setFont(hostFont());
        painter.setPen(AppStyle::secondary(palette()));
        painter.drawText(QRect(textLeft, y, textWidth, host.height()), singleLine | Qt::AlignLeft,
                         host.elidedText(hostText, Qt::ElideRight, textWidth));
    }
}

void AnnotationLinkRow::keyPressEvent(QKeyEvent *event)
{
    // Return opens the link as Space does.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && !event->isAutoRepeat() && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

bool AnnotationLinkRow::event(QEvent *event)
{
    if (event->type() == QEvent::HoverEnter || event->type() == QEvent::HoverLeave)
        update();
    return QAbstractButton::event(event);
}
