#include "BrowserTestSupport.h"

#include "browser/LibraryGrid.h"
#include "browser/LibraryGridView.h"
#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "support/SpringFrames.h"
#include "ui/Spring.h"
#include "ui/SpringAnimation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

namespace {

// The parts of a widget drawn while it is watched.
class PaintedRegion : public QObject {
public:
    explicit PaintedRegion(QWidget *widget) { widget->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent *>(event)->region();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

class LibraryGridTest : public QObject {
    Q_OBJECT
private:
    TestLibrary m_library;
    QList<AtlasImage *> m_images;
    std::unique_ptr<LibraryGrid> m_grid;

    // The grid shown with ten images, four columns wide.
    void showGrid(int count = 10, int width = 4 * 156 + 16)
    {
        m_images.clear();
        for (int i = 0; i < count; ++i)
            m_images.append(m_library.image(QStringLiteral("Image %1").arg(i)));
        m_grid = std::make_unique<LibraryGrid>();
        m_grid->setHasImages(true);
        m_grid->setHasSelection(true);
        m_grid->setImages(m_images);
        m_grid->resize(width + m_grid->view()->verticalScrollBar()->sizeHint().width(), 500);
        m_grid->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_grid.get()));
    }
    QPoint tileCentre(int row) const
    {
        return m_grid->view()->visualRect(m_grid->view()->model()->index(row, 0)).center();
    }
    bool pressKey(Qt::Key key)
    {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(m_grid->view(), &event);
        return event.isAccepted();
    }

    // A window holding a text field above a grid.
    static LibraryGrid *gridUnderAField(QWidget &window, QLineEdit *&field)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field = new QLineEdit(&window));
        auto *grid = new LibraryGrid(&window);
        layout->addWidget(grid);
        return grid;
    }
    // The pixels of the focus ring's colour outside the tiles (their own
    // borders turn that colour when selected) and outside `spared`.
    static int ringPixels(const QImage &image, const QList<QRect> &tiles, const QRect &spared = {})
    {
        const QRgb accent = AppStyle::accent(QApplication::palette()).rgb();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QPoint at(x, y);
                if (spared.contains(at)
                    || std::any_of(tiles.begin(), tiles.end(), [at](const QRect &tile) { return tile.contains(at); }))
                    continue;
                count += (image.pixel(at) & RGB_MASK) == (accent & RGB_MASK) && qAlpha(image.pixel(at)) == 255 ? 1 : 0;
            }
        }
        return count;
    }
    static void showActive(QWidget &window)
    {
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

private slots:
    void cleanup() { m_grid.reset(); }

    void whatIsShown_data()
    {
        QTest::addColumn<bool>("empty");
        QTest::addColumn<bool>("canAddImages");
        QTest::addColumn<bool>("hasImages");
        QTest::addColumn<bool>("hasSelection");
        QTest::addColumn<int>("content");
        QTest::addColumn<bool>("searching"); // a search runs in the background
        const int grid = int(LibraryGrid::Content::grid);
        QTest::newRow("add tile only, empty library") << true << true << false << false << grid << false;
        QTest::newRow("no images") << true << false << false << true << int(LibraryGrid::Content::noImages) << false;
        QTest::newRow("no images wins over shown ones") << false << false << false << true << int(LibraryGrid::Content::noImages) << false;
        QTest::newRow("grid") << false << false << true << true << grid << false;
        QTest::newRow("all filtered out") << true << false << true << true << int(LibraryGrid::Content::noMatches) << false;
        QTest::newRow("filtered out but addable") << true << true << true << true << grid << false;
        QTest::newRow("no selection") << false << false << true << false << int(LibraryGrid::Content::noSelection) << false;
        QTest::newRow("searching") << true << false << true << true << int(LibraryGrid::Content::searching) << true;
        QTest::newRow("searching, no selection") << true << false << true << false
                                                 << int(LibraryGrid::Content::noSelection) << true;
        QTest::newRow("searching an empty library") << true << false << false << true
                                                    << int(LibraryGrid::Content::noImages) << true;
    }
    void whatIsShown()
    {
        QFETCH(bool, empty);
        QFETCH(bool, canAddImages);
        QFETCH(bool, hasImages);
        QFETCH(bool, hasSelection);
        QFETCH(int, content);
        QFETCH(bool, searching);
        LibraryGrid grid;
        grid.setImages(empty ? QList<AtlasImage *>() : QList<AtlasImage *>{m_library.image(QStringLiteral("x"))});
        grid.setCanAddImages(canAddImages);
        grid.setHasImages(hasImages);
        grid.setHasSelection(hasSelection);
        grid.setSearching(searching);
        QCOMPARE(int(grid.content()), content);
        // Its empty state says so, and offers nothing.
        if (grid.content() == LibraryGrid::Content::searching) {
            const auto *state = grid.findChild<ContentUnavailableView *>();
            QVERIFY(state && state->isVisibleTo(&grid));
            QCOMPARE(state->title(), QStringLiteral("Searching\u2026"));
            QVERIFY(!state->actionButton());
            grid.setSearching(false);
            QCOMPARE(grid.content(), LibraryGrid::Content::noMatches);
        }
    }

    // The library's empty states (shared with the sidebar) and the grid's own.
    void emptyStatesAndTheirActions()
    {
        LibraryGrid grid;
        QSignalSpy imports(&grid, &LibraryGrid::importRequested);
        QSignalSpy clears(&grid, &LibraryGrid::clearFiltersRequested);
        grid.emptyStateView()->actionButton()->click(); // "Import Images"
        QCOMPARE(imports.count(), 1);
        grid.setHasImages(true);
        grid.setHasSelection(true);
        grid.setHasActiveFilters(true);
        grid.emptyStateView()->actionButton()->click(); // "Clear Filters"
        QCOMPARE(clears.count(), 1);
        QCOMPARE(imports.count(), 1);
        grid.setHasActiveFilters(false);
        QVERIFY(!grid.emptyStateView()->actionButton());
        grid.setHasSelection(false);
        QCOMPARE(grid.emptyStateView()->title(), QStringLiteral("No Selection"));
        QCOMPARE(grid.emptyStateView()->description(),
                 QStringLiteral("Select a series or image from the sidebar to view it here."));
        QVERIFY(!grid.emptyStateView()->actionButton());
    }

    void columnCountFollowsTheWidth()
    {
        QCOMPARE(LibraryGrid::columnCount(327), 1);
        QCOMPARE(LibraryGrid::columnCount(328), 2);
        QCOMPARE(LibraryGrid::columnCount(484), 3);
        QCOMPARE(LibraryGrid::columnCount(32), 1);
        QCOMPARE(LibraryGrid::columnCount(0), 1);
        showGrid();
        QCOMPARE(m_grid->columnCount(), 4);
        QCOMPARE(m_grid->view()->columnCount(), 4);
        // Tiles never grow beyond 220 points.
        QCOMPARE(LibraryGridView::tileWidthForWidth(300), 220);
    }

    void arrowKeysMoveTheSelectionWithinTheImages()
    {
        showGrid();
        QSignalSpy selected(m_grid.get(), &LibraryGrid::selectedImageChanged);
        QSignalSpy opened(m_grid.get(), &LibraryGrid::openRequested);
        QVERIFY(!pressKey(Qt::Key_Return)); // nothing selected: ignored
        QVERIFY(!pressKey(Qt::Key_Space));
        QVERIFY(pressKey(Qt::Key_Down));     // nothing selected: the first
        QCOMPARE(m_grid->selectedImage(), m_images.at(0));
        QVERIFY(pressKey(Qt::Key_Return));
        QCOMPARE(opened.last().first().value<AtlasImage *>(), m_images.at(0));
        QVERIFY(pressKey(Qt::Key_Left));     // stays at the start
        QCOMPARE(m_grid->selectedImage(), m_images.at(0));
        pressKey(Qt::Key_Right);
        pressKey(Qt::Key_Right);
        QCOMPARE(m_grid->selectedImage(), m_images.at(2));
        pressKey(Qt::Key_Up);                // third, four columns: clamped to the first
        QCOMPARE(m_grid->selectedImage(), m_images.at(0));
        m_grid->setSelectedImage(m_images.at(8));
        pressKey(Qt::Key_Down);              // ninth of ten: the tenth
        QCOMPARE(m_grid->selectedImage(), m_images.at(9));
        QVERIFY(pressKey(Qt::Key_Right));    // the last stays put, still handled
        QCOMPARE(m_grid->selectedImage(), m_images.at(9));
        QVERIFY(pressKey(Qt::Key_Space));
        QCOMPARE(opened.last().first().value<AtlasImage *>(), m_images.at(9));
        QCOMPARE(selected.last().first().value<AtlasImage *>(), m_images.at(9));
        // A selection that is not shown: the first image.
        m_grid->setSelectedImage(m_library.image(QStringLiteral("elsewhere")));
        pressKey(Qt::Key_Left);
        QCOMPARE(m_grid->selectedImage(), m_images.at(0));
        // Other keys travel on.
        QVERIFY(!pressKey(Qt::Key_A));
    }

    void beforeTheFirstWidthUpAndDownMoveByOne()
    {
        LibraryGrid grid;
        m_images = {m_library.image(QStringLiteral("1")), m_library.image(QStringLiteral("2"))};
        grid.setImages(m_images);
        grid.setSelectedImage(m_images.at(0));
        QCOMPARE(grid.columnCount(), 1);
        QVERIFY(grid.moveSelection(grid.columnCount()));
        QCOMPARE(grid.selectedImage(), m_images.at(1));
        grid.setImages({});
        QVERIFY(!grid.moveSelection(1)); // nothing to move in
    }

    void aFirstClickSelectsAndASecondOpens()
    {
        showGrid();
        QSignalSpy opened(m_grid.get(), &LibraryGrid::openRequested);
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QTest::mouseClick(m_grid->view()->viewport(), Qt::LeftButton, {}, tileCentre(3));
        QCOMPARE(m_grid->selectedImage(), m_images.at(3));
        QCOMPARE(opened.count(), 0);
        // Every frame of the selection's animation, drawn without a warning.
        for (int frame = 0; frame < 20; ++frame) {
            m_grid->view()->viewport()->repaint();
            m_grid->view()->selectionClock()->step(0.015);
        }
        QTest::mouseClick(m_grid->view()->viewport(), Qt::LeftButton, {}, tileCentre(3));
        QCOMPARE(opened.last().first().value<AtlasImage *>(), m_images.at(3));
        QTest::mouseClick(m_grid->view()->viewport(), Qt::LeftButton, {}, tileCentre(5));
        QCOMPARE(m_grid->selectedImage(), m_images.at(5));
        QCOMPARE(opened.count(), 1);
        // The gap between tiles is nothing.
        const QPoint gap = tileCentre(0) + QPoint(m_grid->view()->tileWidth() / 2 + 8, 0);
        QTest::mouseClick(m_grid->view()->viewport(), Qt::LeftButton, {}, gap);
        QCOMPARE(m_grid->selectedImage(), m_images.at(5));
    }

    // A tile's selection and the Add Images tile's drop highlight move on a
    // spring of response 0.2 s and damping fraction 0.85: on their way from
    // the first frame, past the target by as much as such a spring
    // overshoots, then at rest on it; every frame is drawn without a warning.
    // A tile selected in place of another grows as the other shrinks.
    void tilesMoveOnTheirSpring_data()
    {
        QTest::addColumn<QString>("what"); // "selection", "another selection", "drop highlight"
        QTest::addColumn<double>("from");
        QTest::newRow("a tile selected") << "selection" << 0.0;
        QTest::newRow("the selected tile deselected") << "selection" << 1.0;
        QTest::newRow("another tile selected") << "another selection" << 0.0;
        QTest::newRow("the drop highlight lit") << "drop highlight" << 0.0;
        QTest::newRow("the drop highlight put out") << "drop highlight" << 1.0;
    }
    void tilesMoveOnTheirSpring()
    {
        QFETCH(QString, what);
        QFETCH(double, from);
        const double to = 1 - from;
        showGrid(3);
        LibraryGridView *view = m_grid->view();
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/scans/knee.png"))});
        const auto drag = [&](bool over) {
            if (over) {
                QDragEnterEvent enter(tileCentre(0), Qt::CopyAction, &mime, Qt::LeftButton, {});
                QApplication::sendEvent(view->viewport(), &enter);
            } else {
                QDragLeaveEvent leave;
                QApplication::sendEvent(view->viewport(), &leave);
            }
        };
        std::function<void(bool)> change; // to the target, or to the start
        std::function<double()> value;
        FrameClock *clock = nullptr;
        QList<int> moving; // the rows of the tiles that move
        if (what == QLatin1String("drop highlight")) {
            m_grid->setCanAddImages(true);
            change = [&](bool toTarget) { drag(toTarget ? to > 0 : from > 0); };
            value = [view] { return view->dropHighlight()->value(); };
            clock = view->dropHighlight()->frameClock();
            moving = {3};
        } else {
            moving = what == QLatin1String("another selection") ? QList<int>{1, 2} : QList<int>{1};
            AtlasImage *tile = m_images.at(1);
            AtlasImage *other = what == QLatin1String("another selection") ? m_images.at(2) : nullptr;
            change = [=, this](bool toTarget) {
                m_grid->setSelectedImage((toTarget ? to : from) > 0 ? tile : other);
            };
            value = [view, tile] { return view->selectionProgress(tile); };
            clock = view->selectionClock();
        }
        change(false);
        stepToRest(*clock, value, to, from);
        QCOMPARE(value(), from);

        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        change(true);
        Spring reference(0.2, 0.85, from);
        reference.setTarget(to);
        // Each frame draws the moving tiles again. (Only the paints are
        // let through: the clock's own timer must not tick.)
        const auto paintNow = [] { QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest); };
        paintNow();
        PaintedRegion drawn(view->viewport());
        clock->step(1.0 / 60);
        reference.advance(1.0 / 60);
        QVERIFY(std::min(from, to) < value() && value() < std::max(from, to));
        QCOMPARE(value(), reference.value());
        paintNow();
        for (const int row : moving)
            QVERIFY2(drawn.region.contains(tileCentre(row)), qPrintable(QString::number(row)));
        double unmirrored = 0; // how far the tile left is from shrinking as the other grows
        const double overshoot = stepToRest(*clock, value, from, to, [&] {
            view->viewport()->repaint();
            if (what == QLatin1String("another selection"))
                unmirrored = std::max(unmirrored, std::abs(view->selectionProgress(m_images.at(2)) - (1 - value())));
        });
        QVERIFY(!clock->isRunning());
        QCOMPARE(value(), to);
        QVERIFY(unmirrored < 1e-12);
        // The frames catch the spring near its peak.
        const double peak = springOvershoot(0.85);
        QVERIFY2(overshoot > 0.8 * peak && overshoot <= peak * (1 + 1e-9), qPrintable(QString::number(overshoot)));
        view->viewport()->repaint();
    }

    void theAddImagesTileComesLast()
    {
        showGrid(3);
        QSignalSpy adds(m_grid.get(), &LibraryGrid::addImagesRequested);
        QCOMPARE(m_grid->view()->model()->rowCount(), 3);
        m_grid->setCanAddImages(true);
        QCOMPARE(m_grid->view()->model()->rowCount(), 4);
        QTest::mouseClick(m_grid->view()->viewport(), Qt::LeftButton, {}, tileCentre(3));
        QCOMPARE(adds.count(), 1);
        QCOMPARE(m_grid->selectedImage(), nullptr);
        // Arrow keys never land on it.
        m_grid->setSelectedImage(m_images.at(2));
        pressKey(Qt::Key_Right);
        QCOMPARE(m_grid->selectedImage(), m_images.at(2));
    }

    void droppedImageFilesGoToTheOwner()
    {
        showGrid(2);
        QTemporaryDir folder;
        const QList<QUrl> urls{QUrl::fromLocalFile(folder.filePath(QStringLiteral("scan.png"))),
                               QUrl::fromLocalFile(folder.filePath(QStringLiteral("notes.txt"))),
                               QUrl::fromLocalFile(folder.filePath(QStringLiteral("ct.JPG")))};
        QList<QList<QUrl>> received;
        m_grid->onDropImages = [&](const QList<QUrl> &dropped) {
            received << dropped;
            return true;
        };
        QMimeData mime;
        mime.setUrls(urls);
        QWidget *viewport = m_grid->view()->viewport();
        const QPoint at = tileCentre(0);
        const auto enter = [&](const QMimeData &data) {
            QDragEnterEvent event(at, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &event);
            return event.isAccepted();
        };
        // Nothing can be added: no highlight, the drop is refused.
        QVERIFY(!enter(mime));
        QVERIFY(!m_grid->isDropTargeted());
        QVERIFY(!m_grid->handleDrop(urls));
        m_grid->setCanAddImages(true);
        QVERIFY(enter(mime));
        QVERIFY(m_grid->isDropTargeted());
        QDragLeaveEvent leave;
        QApplication::sendEvent(viewport, &leave);
        QVERIFY(!m_grid->isDropTargeted());
        enter(mime);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &drop);
        QVERIFY(drop.isAccepted());
        QVERIFY(!m_grid->isDropTargeted());
        // The owner picks the image files among them.
        QCOMPARE(received, QList<QList<QUrl>>{urls});
        // Files that are no images are not taken at all (the tile lights
        // up all the same: see theDropHighlight).
        QMimeData text;
        text.setUrls({urls.at(1)});
        enter(text);
        QDragMoveEvent move(at, Qt::CopyAction, &text, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QVERIFY(!move.isAccepted());
    }

    // The Add Images tile lights up while an outside drag, of whatever it
    // carries, is over the grid and images can be added; leaving, dropping
    // and a grid that takes no images put it out.
    void theDropHighlight_data()
    {
        QTest::addColumn<QString>("carried"); // "images", "text file", "text"
        QTest::addColumn<bool>("canAddImages");
        QTest::addColumn<QString>("then"); // "", "move", "leave", "drop", "no destination"
        QTest::addColumn<bool>("highlighted");
        QTest::newRow("images moving") << "images" << true << "move" << true;
        QTest::newRow("a text file") << "text file" << true << "move" << true;
        QTest::newRow("text without files") << "text" << true << "move" << true;
        QTest::newRow("images, no destination") << "images" << false << "" << false;
        QTest::newRow("images left") << "images" << true << "leave" << false;
        QTest::newRow("text file left") << "text file" << true << "leave" << false;
        QTest::newRow("images dropped") << "images" << true << "drop" << false;
        QTest::newRow("text dropped") << "text" << true << "drop" << false;
        QTest::newRow("destination gone") << "text file" << true << "no destination" << false;
    }
    void theDropHighlight()
    {
        QFETCH(QString, carried);
        QFETCH(bool, canAddImages);
        QFETCH(QString, then);
        QFETCH(bool, highlighted);
        showGrid(2);
        m_grid->setCanAddImages(canAddImages);
        const bool images = carried == QLatin1String("images");
        int received = 0;
        m_grid->onDropImages = [&](const QList<QUrl> &) {
            ++received;
            return images;
        };
        QMimeData mime;
        if (images)
            mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/scans/knee.png"))});
        else if (carried == QLatin1String("text file"))
            mime.setUrls({QUrl::fromLocalFile(QStringLiteral("/scans/notes.txt"))});
        else
            mime.setText(QStringLiteral("knee"));
        QWidget *viewport = m_grid->view()->viewport();
        const QPoint at = tileCentre(0);
        // The grid follows every drag while images can be added (or it would
        // not hear it leave), but takes only image files.
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QCOMPARE(enter.isAccepted(), canAddImages);
        if (then == QLatin1String("move")) {
            QDragMoveEvent move(at + QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &move);
            QCOMPARE(move.isAccepted(), images);
        } else if (then == QLatin1String("leave")) {
            QDragLeaveEvent leave;
            QApplication::sendEvent(viewport, &leave);
        } else if (then == QLatin1String("drop")) {
            QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
            QApplication::sendEvent(viewport, &drop);
            QCOMPARE(drop.isAccepted(), images);
        } else if (then == QLatin1String("no destination")) {
            m_grid->setCanAddImages(false);
        }
        QCOMPARE(m_grid->isDropTargeted(), highlighted);
        QCOMPARE(received, then == QLatin1String("drop") && canAddImages ? 1 : 0);
    }

    // A drop is accepted only when the owner takes it: the drag source sees
    // a refusal (its files snap back) otherwise.
    void theOwnerAnswersTheDrop_data()
    {
        QTest::addColumn<bool>("canAddImages");
        QTest::addColumn<QString>("owner"); // "takes", "refuses", "none"
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the owner takes it") << true << "takes" << true << true;
        QTest::newRow("the owner refuses it") << true << "refuses" << true << false;
        QTest::newRow("no owner") << true << "none" << false << false;
        QTest::newRow("nowhere to add") << false << "takes" << false << false;
    }
    void theOwnerAnswersTheDrop()
    {
        QFETCH(bool, canAddImages);
        QFETCH(QString, owner);
        QFETCH(bool, asked);
        QFETCH(bool, accepted);
        showGrid(2);
        m_grid->setCanAddImages(canAddImages);
        const QList<QUrl> urls{QUrl::fromLocalFile(QStringLiteral("/scans/knee.png"))};
        QList<QList<QUrl>> received;
        if (owner != QLatin1String("none")) {
            m_grid->onDropImages = [&, takes = owner == QLatin1String("takes")](const QList<QUrl> &dropped) {
                received << dropped;
                return takes;
            };
        }
        QCOMPARE(m_grid->handleDrop(urls), accepted);
        QMimeData mime;
        mime.setUrls(urls);
        QWidget *viewport = m_grid->view()->viewport();
        const QPoint at = tileCentre(0);
        QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &mime, Qt::LeftButton, {});
        QApplication::sendEvent(viewport, &move);
        QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, {});
        drop.setAccepted(false);
        QApplication::sendEvent(viewport, &drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QCOMPARE(received, asked ? QList<QList<QUrl>>({urls, urls}) : QList<QList<QUrl>>());
    }

    void tileMenus()
    {
        showGrid(3);
        AtlasImage *target = m_images.at(1);
        std::unique_ptr<QMenu> menu(m_grid->contextMenu(target));
        QCOMPARE(menuTitles(menu.get()), QStringList({"Open", "-", "Edit", "Duplicate", "-", "Delete"}));
        m_grid->setCanReorder(true);
        m_grid->canMoveImage = [&](AtlasImage *image, int offset) { return !(image == target && offset < 0); };
        QSignalSpy moves(m_grid.get(), &LibraryGrid::moveRequested);
        QSignalSpy deleted(m_grid.get(), &LibraryGrid::deleteRequested);
        QSignalSpy edited(m_grid.get(), &LibraryGrid::editRequested);
        QSignalSpy duplicated(m_grid.get(), &LibraryGrid::duplicateRequested);
        QSignalSpy opened(m_grid.get(), &LibraryGrid::openRequested);
        menu.reset(m_grid->contextMenu(target));
        QCOMPARE(menuTitles(menu.get()),
                 QStringList({"Open", "-", "Edit", "Duplicate", "-", "Move Earlier", "Move Later", "-", "Delete"}));
        QVERIFY(!menuItem(menu.get(), QStringLiteral("Move Earlier"))->isEnabled());
        QVERIFY(menuItem(menu.get(), QStringLiteral("Move Later"))->isEnabled());
        for (const char *title : {"Open", "Edit", "Duplicate", "Move Later", "Delete"})
            menuItem(menu.get(), QString::fromLatin1(title))->trigger();
        for (const QSignalSpy *request : {&opened, &edited, &duplicated, &deleted, &moves}) {
            QCOMPARE(request->count(), 1);
            QCOMPARE(request->first().first().value<AtlasImage *>(), target);
        }
        QCOMPARE(moves.first().at(1).toInt(), 1);
        // The menu leaves the selection alone; a right-click too.
        QCOMPARE(m_grid->selectedImage(), nullptr);
        QTest::mouseClick(m_grid->view()->viewport(), Qt::RightButton, {}, tileCentre(2));
        QCOMPARE(m_grid->selectedImage(), nullptr);
    }

    // The menu key opens the selected tile's menu; the arrows go through
    // its items in order (the picture above them is none), and Return runs
    // the one highlighted.
    void theTileMenuFromTheKeyboard_data()
    {
        QTest::addColumn<bool>("canReorder");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QStringList>("highlighted"); // after each key
        const int down = Qt::Key_Down, up = Qt::Key_Up;
        QTest::newRow("down, down") << false << QList<int>{down, down} << QStringList{"Open", "Edit"};
        QTest::newRow("down to the end and round")
            << false << QList<int>{down, down, down, down, down}
            << QStringList{"Open", "Edit", "Duplicate", "Delete", "Open"};
        QTest::newRow("up from the top") << false << QList<int>{up, up} << QStringList{"Delete", "Duplicate"};
        QTest::newRow("up past the first") << false << QList<int>{down, up} << QStringList{"Open", "Delete"};
        QTest::newRow("with the moves")
            << true << QList<int>{down, down, down, down, down, down}
            << QStringList{"Open", "Edit", "Duplicate", "Move Earlier", "Move Later", "Delete"};
    }
    void theTileMenuFromTheKeyboard()
    {
        QFETCH(bool, canReorder);
        QFETCH(QList<int>, keys);
        QFETCH(QStringList, highlighted);
        showGrid(3);
        QApplication::setActiveWindow(m_grid.get());
        QVERIFY(QTest::qWaitForWindowActive(m_grid.get()));
        m_grid->setCanReorder(canReorder);
        m_grid->canMoveImage = [](AtlasImage *, int) { return true; };
        m_grid->setSelectedImage(m_images.at(1));
        m_grid->view()->setFocus();
        QString ran;
        const auto record = [&](const char *title) {
            return [&ran, title](AtlasImage *image) {
                ran = QString::fromLatin1(title) + QLatin1Char(' ') + image->title();
            };
        };
        connect(m_grid.get(), &LibraryGrid::openRequested, this, record("Open"));
        connect(m_grid.get(), &LibraryGrid::editRequested, this, record("Edit"));
        connect(m_grid.get(), &LibraryGrid::duplicateRequested, this, record("Duplicate"));
        connect(m_grid.get(), &LibraryGrid::deleteRequested, this, record("Delete"));
        connect(m_grid.get(), &LibraryGrid::moveRequested, this, [&ran](AtlasImage *image, int offset) {
            ran = QStringLiteral("Move %1 %2").arg(offset < 0 ? "Earlier" : "Later", image->title());
        });

        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
        QApplication::sendEvent(m_grid->windowHandle(), &menuKey);
        QTRY_VERIFY(qobject_cast<QMenu *>(QApplication::activePopupWidget()));
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        QStringList seen;
        for (int key : keys) {
            QTest::keyClick(menu->windowHandle(), Qt::Key(key));
            seen << (menu->activeAction() ? menu->activeAction()->text() : QStringLiteral("(none)"));
        }
        QCOMPARE(seen, highlighted);
        QTest::keyClick(menu->windowHandle(), Qt::Key_Return);
        QTRY_VERIFY(!QApplication::activePopupWidget());
        QCOMPARE(ran, highlighted.constLast() + QLatin1Char(' ') + m_images.at(1)->title());
    }

    // Tab stops at the grid, then at the Add Images tile, which Space and
    // Return press; each shows the focus ring while it has the focus:
    // around the selected tile (or inside the grid's edges), around the
    // Add Images tile.
    // Tab reaches the Add Images tile of a long grid: it scrolls into view.
    void theAddImagesTileComesIntoViewForTheFocus()
    {
        QWidget window;
        QLineEdit *field = nullptr;
        LibraryGrid *grid = gridUnderAField(window, field);
        m_images.clear();
        for (int i = 0; i < 60; ++i)
            m_images.append(m_library.image(QStringLiteral("Image %1").arg(i)));
        grid->setHasImages(true);
        grid->setHasSelection(true);
        grid->setImages(m_images);
        grid->setCanAddImages(true);
        window.resize(700, 400);
        showActive(window);
        LibraryGridView *view = grid->view();
        const QModelIndex addTile = view->model()->index(view->model()->rowCount() - 1, 0);
        QVERIFY(!view->viewport()->rect().contains(view->visualRect(addTile)));

        field->setFocus();
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QVERIFY(view->addImagesButton()->hasFocus());
        QTRY_VERIFY(view->viewport()->rect().contains(view->visualRect(addTile)));
        QTRY_VERIFY(view->addImagesButton()->geometry().contains(view->visualRect(addTile)));
    }

    void theGridAndTheAddImagesTileAreFocusStops()
    {
        QWidget window;
        QLineEdit *field = nullptr;
        LibraryGrid *grid = gridUnderAField(window, field);
        m_images.clear();
        for (int i = 0; i < 3; ++i)
            m_images.append(m_library.image(QStringLiteral("Image %1").arg(i)));
        grid->setHasImages(true);
        grid->setHasSelection(true);
        grid->setImages(m_images);
        grid->setCanAddImages(true);
        window.resize(700, 500);
        showActive(window);
        LibraryGridView *view = grid->view();
        QAbstractButton *add = view->addImagesButton();
        QVERIFY(add->isVisible());
        QCOMPARE(add->accessibleName(), QStringLiteral("Add Images"));
        const QRect addTile = view->visualRect(view->model()->index(3, 0));
        QVERIFY(add->geometry().contains(addTile));

        field->setFocus();
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QVERIFY(view->hasFocus());
        QTest::keyClick(window.windowHandle(), Qt::Key_Tab);
        QVERIFY(add->hasFocus());
        QSignalSpy adds(grid, &LibraryGrid::addImagesRequested);
        QTest::keyClick(window.windowHandle(), Qt::Key_Space);
        QTest::keyClick(window.windowHandle(), Qt::Key_Return);
        QCOMPARE(adds.count(), 2);
        QVERIFY(ringPixels(add->grab().toImage(), {}) > 0);
        // An arrow goes back among the tiles, and moves there.
        QTest::keyClick(window.windowHandle(), Qt::Key_Left);
        QVERIFY(view->hasFocus());
        QCOMPARE(grid->selectedImage(), m_images.first());
        QCOMPARE(ringPixels(add->grab().toImage(), {}), 0);

        // The grid itself shows no focus ring, with a tile selected or none:
        // nothing of the ring's colour outside the tiles (as they grow when
        // selected).
        QList<QRect> tiles;
        for (int row = 0; row < 4; ++row)
            tiles << view->visualRect(view->model()->index(row, 0)).adjusted(-4, -4, 4, 4);
        for (AtlasImage *selected : {m_images.at(1), static_cast<AtlasImage *>(nullptr)}) {
            grid->setSelectedImage(selected);
            view->setFocus();
            QTRY_VERIFY(view->hasFocus());
            QCOMPARE(ringPixels(view->viewport()->grab().toImage(), tiles), 0);
        }
    }

    void focusOnAppearance()
    {
        // In a window whose first field takes the focus when it opens.
        QWidget window;
        QLineEdit *field = nullptr;
        LibraryGrid *grid = gridUnderAField(window, field);
        grid->setCanAddImages(true);
        QSignalSpy autoFocus(grid, &LibraryGrid::autoFocusOnAppearChanged);
        grid->setAutoFocusOnAppear(false);
        showActive(window);
        QVERIFY(field->hasFocus());
        QVERIFY(!grid->isFocused());
        QVERIFY(grid->autoFocusOnAppear());
        QCOMPARE(autoFocus.count(), 1);
        // Shown again after the image screen, which had the focus: focused.
        auto *screen = new QWidget(&window);
        screen->setFocusPolicy(Qt::StrongFocus);
        window.layout()->addWidget(screen);
        grid->hide();
        screen->show();
        screen->setFocus();
        grid->show();
        QTRY_VERIFY(grid->isFocused());
        QCOMPARE(autoFocus.count(), 1);
    }

    void searchResultsComingBackLeaveTheFocusInTheField()
    {
        QWidget window;
        QLineEdit *search = nullptr;
        LibraryGrid *grid = gridUnderAField(window, search);
        const QList<AtlasImage *> images{m_library.image(QStringLiteral("knee")), m_library.image(QStringLiteral("hip"))};
        grid->setHasImages(true);
        grid->setHasSelection(true);
        grid->setImages(images);
        // The owner's search: nothing matches "zz".
        connect(search, &QLineEdit::textChanged, grid, [grid, images](const QString &text) {
            grid->setImages(text.contains(QStringLiteral("zz")) ? QList<AtlasImage *>() : images);
        });
        showActive(window);
        search->setFocus();
        // Typed where the focus is, as a user types.
        QTest::keyClicks(nullptr, QStringLiteral("zz"));
        QCOMPARE(grid->content(), LibraryGrid::Content::noMatches);
        QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_Backspace);
        QTest::keyClick(static_cast<QWidget *>(nullptr), Qt::Key_Backspace);
        QCOMPARE(grid->content(), LibraryGrid::Content::grid);
        QTest::keyClicks(nullptr, QStringLiteral("knee"));
        QCOMPARE(search->text(), QStringLiteral("knee"));
        QVERIFY(search->hasFocus());
    }

    void tilesThatScrollAwayDropTheirQueuedDecodes()
    {
        // A cache whose single decoder waits, so requests pile up.
        GatedDecoder gate;
        ThumbnailCache cache(gate.decoder(), 1, ThumbnailCache::defaultMaxBytes);
        const QByteArray bytes = encodedPicture("PNG", QSize(64, 48));
        QList<AtlasImage *> images;
        for (int i = 0; i < 400; ++i)
            images.append(m_library.image(QString::number(i), bytes));
        LibraryGrid grid(cache);
        grid.setHasImages(true);
        grid.setHasSelection(true);
        grid.setImages(images);
        grid.resize(700, 500);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QTRY_VERIFY(cache.runningCount() == 1);
        const QList<int> firstScreen = grid.view()->visibleRows();
        QVERIFY(firstScreen.size() >= 4);
        QCOMPARE(cache.queuedCount(), int(firstScreen.size()) - 1);
        grid.view()->verticalScrollBar()->setValue(grid.view()->verticalScrollBar()->maximum());
        QApplication::processEvents();
        grid.view()->viewport()->repaint();
        const QList<int> lastScreen = grid.view()->visibleRows();
        QVERIFY(lastScreen.first() > firstScreen.last());
        // Only the new screen waits now; of the first, only the running one is left.
        QCOMPARE(cache.queuedCount(), int(lastScreen.size()));
        int pendingOfFirst = 0;
        for (int row : firstScreen)
            pendingOfFirst += cache.isPending(images.at(row)) ? 1 : 0;
        QCOMPARE(pendingOfFirst, 1);
        gate.release();
        cache.waitForIdle();
        for (int row : lastScreen)
            QVERIFY(cache.cachedThumbnail(images.at(row)));
    }
};

QTEST_MAIN(LibraryGridTest)
#include "tst_librarygrid.moc"
