#include "browser/LibraryRow.h"

#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QTextLayout>
#include <QTextOption>

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

// Lines break between words; a word breaks only when it alone is wider
// than the row.
QTextOption wrapping()
{
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    return option;
}

// Lays `text` out in lines of at most `width`, one under the other.
void layOut(QTextLayout &layout, double width)
{
    layout.setTextOption(wrapping());
    layout.beginLayout();
    double y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
}

// Measurements of texts, shared by every list of the process: a long list
// is measured whole whenever it is laid out, and its rows (and every tab's
// rows) mostly repeat the same titles and captions at the same width.
// Main thread only, as are the lists.
class TextMeasures {
public:
    // The height of `text` wrapped to `width`.
    double wrappedHeight(const QFont &font, const QString &text, double width)
    {
        return measure(font, text, width, [&] {
            const QFontMetricsF metrics(font);
            if (text.isEmpty())
                return metrics.height();
            QTextLayout layout(text, font);
            layOut(layout, width);
            return std::max(metrics.height(), layout.boundingRect().height());
        });
    }

    // The width of `text` on one line.
    double advance(const QFont &font, const QString &text)
    {
        return measure(font, text, -1, [&] { return QFontMetricsF(font).horizontalAdvance(text); });
    }

private:
    struct Key {
        QString font;
        double width;
        QString text;
        friend bool operator==(const Key &, const Key &) = default;
        friend size_t qHash(const Key &key, size_t seed = 0) { return qHashMulti(seed, key.font, key.width, key.text); }
    };
    // Enough for every row of several long lists at a few widths; beyond
    // it all are dropped and measured again as needed.
    static constexpr qsizetype capacity = 50'000;

    template<class Measure>
    double measure(const QFont &font, const QString &text, double width, Measure &&measureNow)
    {
        Key key{font.key(), width, text};
        if (const auto found = m_measures.constFind(key); found != m_measures.cend())
            return *found;
        if (m_measures.size() >= capacity)
            m_measures.clear();
        const double measured = measureNow();
        m_measures.insert(std::move(key), measured);
        return measured;
    }

    QHash<Key, double> m_measures;
};

TextMeasures &textMeasures()
{
    static TextMeasures measures;
    return measures;
}

double wrappedHeight(const QFont &font, const QString &text, double width)
{
    return textMeasures().wrappedHeight(font, text, width);
}

double badgeWidth(const LibraryRow &row)
{
    if (!row.badge)
        return 0;
    const QFont font = AppStyle::subheadline();
    return QFontMetricsF(font).height() + badgeInnerGap + textMeasures().advance(font, badgeText(*row.badge));
}

void drawWrapped(QPainter &painter, const QFont &font, const QRectF &rect, const QString &text)
{
    QTextLayout layout(text, font);
    layOut(layout, rect.width());
    layout.draw(&painter, rect.topLeft());
}

RowLayout layoutRow(const LibraryRow &row, const QRectF &content)
{
    RowLayout layout;
    const double badge = badgeWidth(row);
    const double titleRoom = std::max(1.0, content.width() - (badge > 0 ? badge + badgeGap : 0));
    const QFont titleFont = AppStyle::headline();
    const double titleTextWidth =
        std::min(titleRoom, textMeasures().advance(titleFont, row.title.isEmpty() ? QStringLiteral(" ") : row.title) + 1);
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
    if (const double shift = contentShift ? contentShift(index) : 0; shift != 0) {
        painter->setClipRect(option.rect);
        painter->translate(shift, 0);
    }
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
    painter->setPen(textColour);
    drawWrapped(*painter, AppStyle::headline(), layout.title.adjusted(0, 0, 1, 0), row.title);
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
    painter->setPen(secondary);
    drawWrapped(*painter, AppStyle::caption(), layout.caption, row.caption);
    painter->restore();
}

QStringList LibraryRowDelegate::wrappedLines(const QString &text, const QFont &font, double width)
{
    QTextLayout layout(text, font);
    layOut(layout, width);
    QStringList lines;
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        lines.append(text.mid(line.textStart(), line.textLength()));
    }
    return lines;
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
