#pragma once

#include <QList>
#include <QPixmap>

class QAbstractItemView;

struct NSTableView {
    // Brings the current row into view, in the middle when `centred`.
    static void scrollToSelectedRow(QAbstractItemView &table, bool centred, bool animated);
    // Scrolls so that `row` is in the middle of the view.
    static void centreRow(QAbstractItemView &table, int row, bool animated);
    // The drag image of several rows: each row's first-column cell, stacked
    // one cell height apart in the order of `rows` (ascending).
    static QPixmap firstColumnDragPixmap(QAbstractItemView &table, QList<int> rows);
};
