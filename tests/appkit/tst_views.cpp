#include "appkit/NSColor.h"
#include "appkit/NSTableView.h"
#include "appkit/NSToolbarItem.h"
#include "appkit/NSTrackingArea.h"
#include "appkit/NSView.h"
#include "appkit/NSViewController.h"

#include <QAction>
#include <QDialog>
#include <QDrag>
#include <QHeaderView>
#include <QMimeData>
#include <QPainter>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

class ControllerWidget : public QWidget, public NSViewController {
public:
    using QWidget::QWidget;
};

// A 16 by 16 icon: a square filling the given half of it.
QIcon halfSquare(bool leftHalf)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter(&pixmap).fillRect(leftHalf ? QRect(0, 0, 8, 16) : QRect(8, 0, 8, 16), Qt::black);
    return QIcon(pixmap);
}

QColor pixel(const QIcon &icon, int x)
{
    return icon.pixmap(16, 16).toImage().pixelColor(x, 8);
}

} // namespace

class ViewsTest : public QObject {
    Q_OBJECT

private slots:
    void highlightingRecoloursTheIcon()
    {
        const QPalette palette = QGuiApplication::palette();
        const QColor orange = NSColor::systemOrange(palette);
        const QColor plain = palette.color(QPalette::Active, QPalette::ButtonText);
        QAction action;
        NSToolbarItem::setHighlighted(action, true);
        QVERIFY(action.icon().isNull()); // nothing to colour

        action.setIcon(halfSquare(true));
        NSToolbarItem::setHighlighted(action, true);
        QCOMPARE(pixel(action.icon(), 4), orange);
        QCOMPARE(pixel(action.icon(), 12).alpha(), 0);
        NSToolbarItem::setHighlighted(action, false);
        QCOMPARE(pixel(action.icon(), 4), plain);
        NSToolbarItem::setHighlighted(action, true);
        QCOMPARE(pixel(action.icon(), 4), orange);
        QCOMPARE(action.icon().pixmap(16, 16, QIcon::Disabled).toImage().pixelColor(4, 8),
                 palette.color(QPalette::Disabled, QPalette::ButtonText));

        // A new icon given to the item since is the shape from then on.
        action.setIcon(halfSquare(false));
        NSToolbarItem::setHighlighted(action, false);
        QCOMPARE(pixel(action.icon(), 4).alpha(), 0);
        QCOMPARE(pixel(action.icon(), 12), plain);

        QToolButton button;
        button.setIcon(halfSquare(true));
        NSToolbarItem::setHighlighted(button, true);
        QCOMPARE(pixel(button.icon(), 4), orange);
    }

    void viewControllerIsTheNearestAround()
    {
        ControllerWidget outer;
        auto *inner = new ControllerWidget(&outer);
        auto *leaf = new QWidget(inner);
        auto *beside = new QWidget(&outer);
        QCOMPARE(NSView::viewController(*leaf), static_cast<NSViewController *>(inner));
        QCOMPARE(NSView::viewController(*inner), static_cast<NSViewController *>(inner));
        QCOMPARE(NSView::viewController(*beside), static_cast<NSViewController *>(&outer));
        QWidget plain;
        QVERIFY(!NSView::viewController(plain));
        // A dialog's parent window holds none of the dialog's views.
        QDialog dialog(&outer);
        QVERIFY(!NSView::viewController(*new QWidget(&dialog)));
    }

    void trackingAreaReportsEnterAndExitInTheActiveWindow_data()
    {
        QTest::addColumn<bool>("active");
        QTest::newRow("active window") << true;
        QTest::newRow("inactive window") << false;
    }

    void trackingAreaReportsEnterAndExitInTheActiveWindow()
    {
        QFETCH(bool, active);
        QWidget other;
        QWidget window;
        window.resize(200, 100);
        auto *target = new QWidget(&window);
        target->setGeometry(20, 20, 60, 40);
        NSTrackingArea *area = NSView::createMouseEnterAndExitTrackingArea(*target);
        QCOMPARE(area->parent(), target);
        QSignalSpy entered(area, &NSTrackingArea::mouseEntered);
        QSignalSpy exited(area, &NSTrackingArea::mouseExited);
        window.show();
        other.show();
        QWidget &activeWindow = active ? window : other;
        activeWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&activeWindow));

        QTest::mouseMove(&window, QPoint(5, 5));
        QTest::mouseMove(&window, QPoint(40, 40));
        QCOMPARE(entered.size(), active ? 1 : 0);
        QCOMPARE(area->isPointerInside(), active);
        QTest::mouseMove(&window, QPoint(150, 80));
        QCOMPARE(exited.size(), active ? 1 : 0);
        QCOMPARE(entered.size(), active ? 1 : 0);
    }

    void dragStacksTheFirstColumnCells()
    {
        const QColor colours[] = {Qt::red, Qt::green, Qt::blue, Qt::yellow};
        QStandardItemModel model(40, 2);
        for (int row = 0; row < 40; ++row) {
            model.setItem(row, 0, new QStandardItem(QStringLiteral("Row %1").arg(row)));
            model.item(row, 0)->setBackground(colours[row % 4]);
        }
        QTableView table;
        table.setModel(&model);
        table.verticalHeader()->setDefaultSectionSize(20);
        table.setColumnWidth(0, 80);
        table.resize(300, 300);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));

        QVERIFY(!NSTableView::firstColumnDrag(table, {}));
        std::unique_ptr<QDrag> drag(NSTableView::firstColumnDrag(table, {3, 1}));
        QVERIFY(drag);
        const QSize cell = table.visualRect(model.index(0, 0)).size();
        const QPixmap image = drag->pixmap();
        QCOMPARE(image.deviceIndependentSize(), QSizeF(cell.width(), cell.height() * 2));
        QCOMPARE(drag->hotSpot(), QPoint(0, 0));
        const QImage pixels = image.toImage();
        const qreal scale = image.devicePixelRatio();
        QCOMPARE(pixels.pixelColor(QPoint(2, cell.height() / 2) * scale), QColor(Qt::green)); // row 1 first
        QCOMPARE(pixels.pixelColor(QPoint(2, cell.height() * 3 / 2) * scale), QColor(Qt::yellow));

        // The drag carries the rows, one cell each, in ascending order.
        QStandardItemModel dropped;
        QVERIFY(dropped.dropMimeData(drag->mimeData(), Qt::CopyAction, 0, 0, QModelIndex()));
        QCOMPARE(dropped.rowCount(), 2);
        QCOMPARE(dropped.columnCount(), 1);
        QCOMPARE(dropped.item(0, 0)->text(), QStringLiteral("Row 1"));
        QCOMPARE(dropped.item(1, 0)->text(), QStringLiteral("Row 3"));

        // A row scrolled out of sight leaves its place in the stack empty.
        table.scrollToBottom();
        std::unique_ptr<QDrag> partly(NSTableView::firstColumnDrag(table, {39, 0}));
        const QImage stacked = partly->pixmap().toImage();
        QCOMPARE(partly->pixmap().deviceIndependentSize(), QSizeF(cell.width(), cell.height() * 2));
        QCOMPARE(stacked.pixelColor(QPoint(2, cell.height() / 2) * scale).alpha(), 0);
        QCOMPARE(stacked.pixelColor(QPoint(2, cell.height() * 3 / 2) * scale), QColor(Qt::yellow));
    }
};

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"
