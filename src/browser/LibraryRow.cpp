#include "browser/LibraryRow.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace {

constexpr double lineSpacing = 2;
constexpr double badgeGap = 6;
constexpr double badgeInnerGap = 2;

struct RowLayout {
    QRectF title;
    QRectF badge;
    QRectF caption;
    double height = 0;
};

QString badgeText(int badge)
{
    return QLocale().toString(badge);
}

double badgeWidth(const LibraryRow &row)
{
    if (!row.badge)
        return 0;
    const QFontMetricsF metrics(AppStyle::subheadline());
    return metrics.height() + badgeInnerGap + metrics.horizontalAdvance(badgeText(*row.badge));
}

double wrappedHeight(const QFont &font, const QString &text, double width)
{
    const QFontMetricsF metrics(font);
    if (text.isEmpty())
        return metrics.height();
    const QRectF bounds =
        metrics.boundingRect(QRectF(0, 0, std::max(1.0, width), 1e6), Qt::TextWordWrap | Qt::TextWrapAnywhere, text);
    return std::max(metrics.height(), bounds.height());
}

RowLayout layoutRow(const LibraryRow &row, const QRectF &content)
{
    RowLayout layout;
    const double badge = badgeWidth(row);
    const double titleRoom = std::max(1.0, content.width() - (badge > 0 ? badge + badgeGap : 0));
    const QFont titleFont = AppStyle::headline();
    const double titleTextWidth =
        std::min(titleRoom, QFontMetricsF(titleFont).horizontalAdvance(row.title.isEmpty() ? QStringLiteral(" ") : row.title) + 1);
    const double titleHeight = wrappedHeight(titleFont, row.title, titleRoom);
    layout.title = QRectF(content.left(), content.top(), titleTextWidth, titleHeight);
    if (badge > 0) {
        const double badgeHeight = QFontMetricsF(AppStyle::subheadline()).height();
        const double firstLine = QFontMetricsF(titleFont).height();
        layout.badge = QRectF(layout.title.right() + badgeGap, content.top() + (firstLine - badgeHeight) / 2, badge,
                              badgeHeight);
    }
    const double captionHeight = wrappedHeight(AppStyle::caption(), row.caption, content.width());
    layout.caption = QRectF(content.left(), layout.title.bottom() + lineSpacing, content.width(), captionHeight);
    layout.height = titleHeight + lineSpacing + captionHeight;
    return layout;
}

QRectF contentRect(const QRectF &rowRect)
{
    const double inset = LibraryRowDelegate::horizontalInset + LibraryRowDelegate::horizontalPadding;
    return rowRect.adjusted(inset, LibraryRowDelegate::verticalPadding, -inset, -LibraryRowDelegate::verticalPadding);
}

} // namespace

void LibraryRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const LibraryRow row = index.data(rowRole).value<LibraryRow>();
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QRectF highlight = QRectF(option.rect).adjusted(horizontalInset, 1, -horizontalInset, -1);
    const bool selected = option.state & QStyle::State_Selected;
    const bool active = option.state & QStyle::State_Active;
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    const bool focused = view && view->hasFocus();
    QColor textColour = AppStyle::primary(option.palette);
    QColor secondary = AppStyle::secondary(option.palette);
    if (selected) {
        QColor fill;
        if (focused && active) {
            fill = AppStyle::accent(option.palette);
            textColour = option.palette.color(QPalette::HighlightedText);
            secondary = textColour;
            secondary.setAlphaF(0.8f);
        } else {
            fill = AppStyle::secondary(option.palette);
            fill.setAlphaF(0.18f);
        }
        painter->setPen(Qt::NoPen);
        painter->setBrush(fill);
        painter->drawRoundedRect(highlight, 6, 6);
    }
    if (index.data(menuTargetRole).toBool()) {
        painter->setPen(QPen(AppStyle::accent(option.palette), 2));
        painter->setBrush(Qt::NoBrush);
        painter->drawRoundedRect(highlight.adjusted(1, 1, -1, -1), 5, 5);
    }

    const RowLayout layout = layoutRow(row, contentRect(option.rect));
    painter->setFont(AppStyle::headline());
    painter->setPen(textColour);
    painter->drawText(layout.title.adjusted(0, 0, 1, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextWrapAnywhere,
                      row.title);
    if (row.badge) {
        const QFont font = AppStyle::subheadline();
        const double side = QFontMetricsF(font).height();
        SystemSymbol::paint(*painter, QStringLiteral("square.stack"),
                            QRectF(layout.badge.left(), layout.badge.top(), side, side), secondary);
        painter->setFont(font);
        painter->setPen(secondary);
        painter->drawText(QRectF(layout.badge.left() + side + badgeInnerGap, layout.badge.top(),
                                 layout.badge.width() - side - badgeInnerGap + 1, layout.badge.height()),
                          Qt::AlignLeft | Qt::AlignVCenter, badgeText(*row.badge));
    }
    painter->setFont(AppStyle::caption());
    painter->setPen(secondary);
    painter->drawText(layout.caption, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextWrapAnywhere,
                      row.caption);
    painter->restore();
}

QSize LibraryRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const LibraryRow row = index.data(rowRole).value<LibraryRow>();
    int width = option.rect.width();
    if (const auto *view = qobject_cast<const QAbstractItemView *>(option.widget))
        width = view->viewport()->width();
    if (width <= 0)
        width = 240;
    const RowLayout layout = layoutRow(row, contentRect(QRectF(0, 0, width, 1000)));
    return QSize(width, int(std::ceil(layout.height + 2 * verticalPadding)));
}
