#pragma once

#include <QList>
#include <Qt>

class QAbstractItemView;
class QDrag;

struct NSTableView {
    // Brings the current row into view, in the middle when `centred`.
    static void scrollToSelectedRow(QAbstractItemView &table, bool centred, bool animated);
    // Scrolls so that `row` is in the middle of the view.
    static void centreRow(QAbstractItemView &table, int row, bool animated);
    // The drag of `rows`: the model's data for their first-column cells, and
    // an image of those cells stacked below the pointer in ascending row
    // order, the n-th one n cell heights down. A row whose cell is scrolled
    // out of sight leaves its place empty. None without rows or a model.
    static QDrag *firstColumnDrag(QAbstractItemView &table, QList<int> rows);
    // Drags the rows with that image from the table and returns what the
    // drop did.
    static Qt::DropAction beginFirstColumnDrag(QAbstractItemView &table, const QList<int> &rows,
                                               Qt::DropActions actions);
};
