#include "appkit/NSTableView.h"

#include <QAbstractItemView>
#include <QDrag>
#include <QMimeData>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScrollBar>

#include <algorithm>

void NSTableView::scrollToSelectedRow(QAbstractItemView &table, bool centred, bool animated)
{
    const QModelIndex current = table.currentIndex();
    if (!current.isValid())
        return;
    if (centred)
        centreRow(table, current.row(), animated);
    else
        table.scrollTo(current, QAbstractItemView::EnsureVisible);
}

void NSTableView::centreRow(QAbstractItemView &table, int row, bool animated)
{
    if (!table.model())
        return;
    const QModelIndex index = table.model()->index(row, 0, table.rootIndex());
    if (!index.isValid())
        return;
    if (!animated) {
        table.scrollTo(index, QAbstractItemView::PositionAtCenter);
        return;
    }
    QScrollBar *bar = table.verticalScrollBar();
    const int before = bar->value();
    table.scrollTo(index, QAbstractItemView::PositionAtCenter);
    const int target = bar->value();
    bar->setValue(before);
    auto *animation = new QPropertyAnimation(bar, "value", bar);
    animation->setEndValue(target);
    animation->setDuration(200);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QDrag *NSTableView::firstColumnDrag(QAbstractItemView &table, QList<int> rows)
{
    QAbstractItemModel *model = table.model();
    if (!model || rows.isEmpty())
        return nullptr;
    std::sort(rows.begin(), rows.end());
    struct Cell {
        QPixmap image;
        QPoint position;
    };
    QList<Cell> cells;
    QModelIndexList indexes;
    QSize extent; // from the pointer, where the image's top left corner is
    const QRect visible = table.viewport()->rect();
    for (int i = 0; i < rows.size(); ++i) {
        const QModelIndex index = model->index(rows[i], 0, table.rootIndex());
        if (!index.isValid())
            continue;
        indexes.append(index);
        const QRect rect = table.visualRect(index);
        if (rect.isEmpty() || !visible.intersects(rect))
            continue;
        const QPoint position(0, rect.height() * i);
        cells.append({table.viewport()->grab(rect), position});
        extent = extent.expandedTo(QSize(rect.width(), position.y() + rect.height()));
    }
    if (indexes.isEmpty())
        return nullptr;
    QMimeData *data = model->mimeData(indexes);
    auto *drag = new QDrag(&table);
    drag->setMimeData(data ? data : new QMimeData);
    if (!cells.isEmpty()) {
        QPixmap image(extent * table.devicePixelRatioF());
        image.setDevicePixelRatio(table.devicePixelRatioF());
        image.fill(Qt::transparent);
        QPainter painter(&image);
        for (const Cell &cell : cells)
            painter.drawPixmap(cell.position, cell.image);
        painter.end();
        drag->setPixmap(image);
        drag->setHotSpot(QPoint(0, 0));
    }
    return drag;
}

Qt::DropAction NSTableView::beginFirstColumnDrag(QAbstractItemView &table, const QList<int> &rows,
                                                 Qt::DropActions actions)
{
    QDrag *drag = firstColumnDrag(table, rows);
    if (!drag)
        return Qt::IgnoreAction;
    return drag->exec(actions); // Qt deletes the drag when it ends
}
