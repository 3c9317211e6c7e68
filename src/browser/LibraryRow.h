#pragma once

#include <QString>
#include <QStyledItemDelegate>

#include <functional>
#include <optional>

// One line of the library list: a title, an optional count badge (a stack
// symbol and the number) beside it, and a caption below.
struct LibraryRow {
    QString title;
    QString caption;
    std::optional<int> badge;

    friend bool operator==(const LibraryRow &, const LibraryRow &) = default;
};

Q_DECLARE_METATYPE(LibraryRow)

// Draws LibraryRow values of a list view: the row comes from the model's
// LibraryRowDelegate::rowRole. Titles and captions wrap to the list's
// width at word boundaries; the selection is a rounded highlight inset from the edges.
class LibraryRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowRole = Qt::UserRole + 1;
    // The row whose context menu is open is outlined with the accent
    // colour; the model answers true for this role on that row.
    static constexpr int menuTargetRole = Qt::UserRole + 2;

    using QStyledItemDelegate::QStyledItemDelegate;

    // How far a row's content is moved sideways (a swipe uncovering its
    // actions); none when not given.
    std::function<double(const QModelIndex &index)> contentShift;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The lines a title or caption takes in a row `width` wide: broken
    // between words, inside a word only when it alone is wider than the row.
    static QStringList wrappedLines(const QString &text, const QFont &font, double width);

    static constexpr int horizontalInset = 8;  // highlight from the list's edges
    static constexpr int horizontalPadding = 10; // text from the highlight's edges
    static constexpr int verticalPadding = 7;
};
