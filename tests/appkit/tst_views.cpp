#include "appkit/AppearanceChangeFixTableView.h"
#include "appkit/AutoFrameSavingWindowController.h"
#include "appkit/LoopingMoviePlayer.h"
#include "appkit/NSColor.h"
#include "appkit/NSImage.h"
#include "appkit/NSTableView.h"
#include "appkit/NSToolbarItem.h"
#include "appkit/NSTrackingArea.h"
#include "appkit/NSView.h"
#include "appkit/NSViewController.h"
#include "appkit/TokenAutoSelectStatus.h"
#include "platform/UserDefaults.h"
#include "support/TestPictures.h"

#include <QAction>
#include <QDialog>
#include <QDrag>
#include <QHeaderView>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

Q_DECLARE_METATYPE(TokenAutoSelectStatus::Case)

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

using Status = TokenAutoSelectStatus;

// Makes a silent Ogg Theora movie of `frames` frames at 10 per second.
QString makeMovie(const QTemporaryDir &dir, const QString &name, int frames)
{
    const QString path = dir.filePath(name);
    const QString pipeline = QStringLiteral("-q videotestsrc num-buffers=%1 ! video/x-raw,width=32,height=24,framerate=10/1"
                                            " ! theoraenc ! oggmux ! filesink").arg(frames);
    const int status = QProcess::execute(QStringLiteral("gst-launch-1.0"),
                                         pipeline.split(QLatin1Char(' ')) << QStringLiteral("location=") + path);
    return status == 0 ? path : QString();
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
        QCOMPARE(action.icon().pixmap(16, 16, QIcon::Disabled).toImage().pixelColor(4, 8),
                 palette.color(QPalette::Disabled, QPalette::ButtonText));
        NSToolbarItem::setHighlighted(action, false);
        QCOMPARE(pixel(action.icon(), 4), plain);

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

    // Both ways the item's symbol is drawn at the large scale, larger than
    // the icon the item was given, as the tool button paints it.
    void highlightingDrawsTheLargeSymbolScaleBothWays()
    {
        QPixmap square(16, 16); // 8 by 8 in the middle
        square.fill(Qt::transparent);
        QPainter(&square).fillRect(4, 4, 8, 8, Qt::black);
        QPixmap nothing(16, 16);
        nothing.fill(Qt::transparent);
        QToolButton button;
        button.setIconSize(QSize(16, 16));
        button.resize(32, 32);
        // The bounds of what the icon adds to the painted button.
        const auto painted = [&button, &nothing] {
            const QIcon icon = button.icon();
            button.setIcon(QIcon(nothing));
            const QImage blank = button.grab().toImage();
            button.setIcon(icon);
            return changedArea(blank, button.grab().toImage());
        };
        button.setIcon(QIcon(square));
        const QRect given = painted();
        QCOMPARE(given.size(), QSize(8, 8));
        NSToolbarItem::setHighlighted(button, true);
        const QRect large = painted();
        QCOMPARE(large.center(), given.center());
        QVERIFY2(large.width() >= 10 && large.width() <= 12, qPrintable(QString::number(large.width())));
        NSToolbarItem::setHighlighted(button, false);
        QCOMPARE(painted(), large);
    }

    void tintingOnlyChangesMaskIcons()
    {
        const QIcon plain = halfSquare(true);
        QCOMPARE(NSImage::tinted(plain, Qt::red).cacheKey(), plain.cacheKey());
        QIcon mask = halfSquare(true);
        mask.setIsMask(true);
        const QIcon tinted = NSImage::tinted(mask, QColor(255, 128, 0));
        QVERIFY(!tinted.isMask());
        QCOMPARE(pixel(tinted, 4), QColor(255, 128, 0));
        QCOMPARE(pixel(tinted, 12).alpha(), 0);
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
        // A dialog's parent window holds none of the dialog's views.
        QDialog dialog(&outer);
        QVERIFY(!NSView::viewController(*new QWidget(&dialog)));
    }

    void trackingAreaReportsEnterAndExitInTheWindowsItsOptionsName_data()
    {
        QTest::addColumn<int>("options"); // 33: as NSView makes it
        QTest::addColumn<bool>("active");
        QTest::addColumn<bool>("tracked");
        QTest::newRow("active window") << 33 << true << true;
        QTest::newRow("inactive window") << 33 << false << false;
        QTest::newRow("always, active window") << 0x81 << true << true;
        QTest::newRow("always, inactive window") << 0x81 << false << true;
        QTest::newRow("always, entering and exiting not asked") << 0x80 << true << false;
    }

    void trackingAreaReportsEnterAndExitInTheWindowsItsOptionsName()
    {
        QFETCH(int, options);
        QFETCH(bool, active);
        QFETCH(bool, tracked);
        QWidget other;
        QWidget window;
        window.resize(200, 100);
        auto *target = new QWidget(&window);
        target->setGeometry(20, 20, 60, 40);
        NSTrackingArea *area = options == 33
                                   ? NSView::createMouseEnterAndExitTrackingArea(*target)
                                   : new NSTrackingArea(*target, NSTrackingArea::Options::fromInt(options));
        QCOMPARE(int(area->options()), options);
        QSignalSpy entered(area, &NSTrackingArea::mouseEntered);
        QSignalSpy exited(area, &NSTrackingArea::mouseExited);
        window.show();
        other.show();
        QWidget &activeWindow = active ? window : other;
        activeWindow.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&activeWindow));

        QTest::mouseMove(&window, QPoint(5, 5));
        QTest::mouseMove(&window, QPoint(40, 40));
        QCOMPARE(entered.size(), tracked ? 1 : 0);
        QCOMPARE(area->isPointerInside(), tracked);
        if (active) {
            // Another window becoming the active one takes the pointer out
            // of an area of the active window alone.
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QCOMPARE(area->isPointerInside(), tracked && options != 33);
        }
        QTest::mouseMove(&window, QPoint(150, 80));
        QCOMPARE(exited.size(), tracked ? 1 : 0);
        QCOMPARE(entered.size(), tracked ? 1 : 0);
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
        QCOMPARE(dropped.rowCount() * 10 + dropped.columnCount(), 21);
        QCOMPARE(dropped.item(0, 0)->text() + u'|' + dropped.item(1, 0)->text(), QStringLiteral("Row 1|Row 3"));

        // A row scrolled out of sight leaves its place in the stack empty.
        table.scrollToBottom();
        std::unique_ptr<QDrag> partly(NSTableView::firstColumnDrag(table, {39, 0}));
        const QImage stacked = partly->pixmap().toImage();
        QCOMPARE(partly->pixmap().deviceIndependentSize(), QSizeF(cell.width(), cell.height() * 2));
        QCOMPARE(stacked.pixelColor(QPoint(2, cell.height() / 2) * scale).alpha(), 0);
        QCOMPARE(stacked.pixelColor(QPoint(2, cell.height() * 3 / 2) * scale), QColor(Qt::yellow));
    }

    void tokenStatus_data()
    {
        QTest::addColumn<Status::Case>("from");
        QTest::addColumn<QString>("description");
        QTest::addColumn<Status::Case>("advanced");
        QTest::newRow("disabled") << Status::disabled << "Disabled" << Status::disabled;
        QTest::newRow("passive") << Status::passive << "Passive" << Status::standby1;
        QTest::newRow("standby 1") << Status::standby1 << "Standby 1" << Status::standby2;
        QTest::newRow("standby 2") << Status::standby2 << "Standby 2" << Status::active;
        QTest::newRow("active") << Status::active << "Active" << Status::active;
    }

    void tokenStatus()
    {
        QFETCH(Status::Case, from);
        QFETCH(QString, description);
        QFETCH(Status::Case, advanced);
        QCOMPARE(Status{from}.description(), description);
        Status status{from};
        status.advance();
        QCOMPARE(status, Status{advanced});
        status.reset();
        QCOMPARE(status, Status{Status::passive});
        status.disable();
        QCOMPARE(status, Status{Status::disabled});
    }

    void gridLinesComeBackAfterAnAppearanceChange_data()
    {
        QTest::addColumn<bool>("set");
        QTest::addColumn<Qt::PenStyle>("style");
        QTest::addColumn<int>("event");
        QTest::newRow("dashed, palette") << true << Qt::DashLine << int(QEvent::PaletteChange);
        QTest::newRow("solid, style") << true << Qt::SolidLine << int(QEvent::StyleChange);
        QTest::newRow("none, palette") << true << Qt::NoPen << int(QEvent::PaletteChange);
        QTest::newRow("never set") << false << Qt::SolidLine << int(QEvent::PaletteChange);
    }

    void gridLinesComeBackAfterAnAppearanceChange()
    {
        QFETCH(bool, set);
        QFETCH(Qt::PenStyle, style);
        QFETCH(int, event);
        AppearanceChangeFixTableView table;
        if (set)
            table.setGridStyleMask(style);
        QCOMPARE(table.gridStyleMask(), style);
        QEvent change{QEvent::Type(event)};
        QCoreApplication::sendEvent(&table, &change);
        QCOMPARE(table.gridStyleMask(), set ? Qt::NoPen : style); // hidden until the change is handled
        QTRY_COMPARE(table.gridStyleMask(), style);
        QCOMPARE(table.showGrid(), style != Qt::NoPen);
    }

    void windowFrameIsKeptUnderTheDerivedName_data()
    {
        QTest::addColumn<QString>("windowName");
        QTest::addColumn<QString>("savedUnder");
        QTest::newRow("named window") << QStringLiteral("Inspector") << QStringLiteral("Inspector fix");
        QTest::newRow("window without a name") << QString() << QStringLiteral(" fix");
    }

    void windowFrameIsKeptUnderTheDerivedName()
    {
        QFETCH(QString, windowName);
        QFETCH(QString, savedUnder);
        UserDefaults defaults;
        const QRect frame(120, 90, 333, 222);
        const auto open = [&](const QRect &geometry) {
            auto *window = new QWidget;
            NSWindow::setFrameAutosaveName(*window, windowName);
            window->setGeometry(geometry);
            auto controller = std::make_unique<AutoFrameSavingWindowController>(window, defaults);
            controller->showWindow();
            return controller;
        };
        auto first = open(frame);
        first->window()->close();
        first.reset();
        QVERIFY(defaults.contains(NSWindowController::frameDefaultsKey(savedUnder)));

        // The next window of that name opens where the first one was left.
        const auto second = open(QRect(10, 10, 200, 150));
        QCOMPARE(second->window()->size(), frame.size());
    }

    void moviePlayerLoopsOnlyOnItsOwnEnd()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("gst-launch-1.0")).isEmpty())
            QSKIP("gst-launch-1.0 (Debian package gstreamer1.0-tools) makes the test movies; it is not installed");
        QTemporaryDir dir;
        const QString shortMovie = makeMovie(dir, QStringLiteral("short.ogv"), 3);
        const QString longMovie = makeMovie(dir, QStringLiteral("long.ogv"), 100);
        QVERIFY(!shortMovie.isEmpty() && !longMovie.isEmpty());

        LoopingMoviePlayer looping(QUrl::fromLocalFile(shortMovie));
        LoopingMoviePlayer other(QUrl::fromLocalFile(longMovie));
        QCOMPARE(looping.playbackState(), QMediaPlayer::PlayingState);
        int ends = 0;
        connect(&looping, &QMediaPlayer::mediaStatusChanged, this, [&ends](QMediaPlayer::MediaStatus status) {
            ends += status == QMediaPlayer::EndOfMedia;
        });
        qint64 furthest = 0;
        bool wentBack = false;
        connect(&other, &QMediaPlayer::positionChanged, this, [&](qint64 position) {
            wentBack = wentBack || position < furthest;
            furthest = std::max(furthest, position);
        });
        QTRY_VERIFY_WITH_TIMEOUT(ends >= 3, 20000);
        QCOMPARE(looping.playbackState(), QMediaPlayer::PlayingState);
        // Meanwhile the ten-second movie played on from where it was.
        QVERIFY(furthest > 0);
        QVERIFY(!wentBack);
    }
};

QTEST_MAIN(ViewsTest)
#include "tst_views.moc"
