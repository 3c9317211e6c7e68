#include "appkit/NSTableView.h"

#include <QAbstractItemView>
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

QPixmap NSTableView::firstColumnDragPixmap(QAbstractItemView &table, QList<int> rows)
{
    std::sort(rows.begin(), rows.end());
    QList<QPixmap> cells;
    int width = 0;
    int cellHeight = 0;
    for (const int row : rows) {
        const QModelIndex index = table.model() ? table.model()->index(row, 0, table.rootIndex()) : QModelIndex();
        const QRect rect = table.visualRect(index);
        if (!index.isValid() || rect.isEmpty())
            continue;
        cells.append(table.viewport()->grab(rect));
        width = std::max(width, rect.width());
        cellHeight = std::max(cellHeight, rect.height());
    }
    if (cells.isEmpty())
        return {};
    QPixmap image(width, cellHeight * int(cells.size()));
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (int i = 0; i < cells.size(); ++i)
        painter.drawPixmap(0, cellHeight * i, cells[i]);
    return image;
}
