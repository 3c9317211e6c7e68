#include "BrowserTestSupport.h"

#include "browser/LibraryFilterControls.h"
#include "browser/LibrarySidebar.h"
#include "support/RowSwipes.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/CloudSyncPause.h"
#include "support/SpringFrames.h"
#include "ui/AppStyle.h"
#include "ui/ContentUnavailableView.h"
#include "ui/Spring.h"
#include "ui/SpringAnimation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <cmath>

class LibrarySidebarTest : public QObject {
    Q_OBJECT
private:
    TestLibrary m_library;
    SilentAccountService m_accounts;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<AppState> m_appState;
    std::unique_ptr<CloudSyncPause> m_syncPause;
    std::unique_ptr<LibrarySidebar> m_sidebar;
    QList<LibraryEntry> m_entries; // two images, then two series

    QPoint rowCentre(int row) const
    {
        QListView *list = m_sidebar->listView();
        return list->visualRect(list->model()->index(row, 0)).center();
    }
    void click(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(m_sidebar->listView()->viewport(), Qt::LeftButton, modifiers, rowCentre(row));
    }
    QMenu *rightClick(int row)
    {
        QWidget *viewport = m_sidebar->listView()->viewport();
        QTest::mousePress(viewport, Qt::RightButton, Qt::NoModifier, rowCentre(row));
        QTest::mouseRelease(viewport, Qt::RightButton, Qt::NoModifier, rowCentre(row));
        QContextMenuEvent event(QContextMenuEvent::Mouse, rowCentre(row), viewport->mapToGlobal(rowCentre(row)));
        QApplication::sendEvent(viewport, &event);
        return openMenu();
    }
    static QMenu *openMenu()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *menu = qobject_cast<QMenu *>(widget); menu && menu->isVisible())
                return menu;
        }
        return nullptr;
    }
    QSet<LibraryEntryID> ids(std::initializer_list<int> rows) const
    {
        QSet<LibraryEntryID> result;
        for (int row : rows)
            result.insert(m_entries.at(row).entryID());
        return result;
    }
    QSet<LibraryEntryID> viewSelection() const { return viewSelectionOf(m_sidebar->entries()); }
    QSet<LibraryEntryID> viewSelectionOf(const QList<LibraryEntry> &entries) const
    {
        QSet<LibraryEntryID> result;
        for (const QModelIndex &index : m_sidebar->listView()->selectionModel()->selectedIndexes())
            result.insert(entries.at(index.row()).entryID());
        return result;
    }

    bool wheel(int row, QPoint pixels, Qt::ScrollPhase phase = Qt::NoScrollPhase, QPoint angle = {})
    {
        return wheelOverRow(m_sidebar->listView(), row, pixels, phase, angle);
    }
    void swipe(int row, double fraction, bool ofFullSwipe = false, bool phases = true)
    {
        swipeRow(m_sidebar->listView(), m_sidebar->rowSwipe(), row, fraction, ofFullSwipe, phases);
    }

private slots:
    void initTestCase() { qRegisterMetaType<Series *>(); } // for the rename spy

    void init()
    {
        m_defaults = std::make_unique<UserDefaults>();
        m_appState = std::make_unique<AppState>(*m_defaults, m_accounts);
        m_syncPause = std::make_unique<CloudSyncPause>(*m_appState, *m_defaults);
        m_sidebar = std::make_unique<LibrarySidebar>(*m_syncPause);
        Series *brain = m_library.makeSeries(QStringLiteral("Brain"));
        m_library.image(QStringLiteral("b1"), std::nullopt, brain);
        Series *chest = m_library.makeSeries(QStringLiteral("Chest"));
        m_entries = {TestLibrary::entry(m_library.image(QStringLiteral("Knee"))),
                     TestLibrary::entry(m_library.image(QStringLiteral("Hand"))), TestLibrary::entry(brain),
                     TestLibrary::entry(chest)};
        m_sidebar->setHasContent(true);
        m_sidebar->setEntries(m_entries);
        m_sidebar->resize(300, 500);
        m_sidebar->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_sidebar.get()));
    }
    void cleanup()
    {
        if (QMenu *menu = openMenu())
            menu->close();
        m_sidebar.reset();
        m_syncPause.reset();
    }

    void clicksReportTheSelectionAndTheOwnerSetsItSilently()
    {
        QSignalSpy changed(m_sidebar.get(), &LibrarySidebar::selectionChanged);
        click(1);
        QCOMPARE(m_sidebar->selection(), ids({1}));
        click(3, Qt::ControlModifier);
        QCOMPARE(m_sidebar->selection(), ids({1, 3}));
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().first().value<QSet<LibraryEntryID>>(), ids({1, 3}));
        m_sidebar->setSelection(ids({0, 2}));
        QCOMPARE(viewSelection(), ids({0, 2}));
        QCOMPARE(changed.count(), 2);
    }

    void rowMenusActOnTheRowOrTheWholeSelection()
    {
        // An unselected row: its own menu, and the selection stays.
        m_sidebar->setSelection(ids({0, 1}));
        QSignalSpy changed(m_sidebar.get(), &LibrarySidebar::selectionChanged);
        QSignalSpy deleteRequests(m_sidebar.get(), &LibrarySidebar::deleteRequested);
        QMenu *menu = rightClick(3);
        QVERIFY(menu);
        QCOMPARE(menuTitles(menu),
                 QStringList({"Rename", "Duplicate Series", "-", "Export Series…", "Share", "-", "Delete Series"}));
        menuItem(menu, QStringLiteral("Delete Series"))->trigger();
        const QList<LibraryEntry> targets = deleteRequests.takeFirst().value(0).value<QList<LibraryEntry>>();
        QCOMPARE(targets.size(), 1);
        QCOMPARE(targets.first().entryID(), m_entries.at(3).entryID());
        QCOMPARE(m_sidebar->selection(), ids({0, 1}));
        QCOMPARE(viewSelection(), ids({0, 1}));
        QCOMPARE(changed.count(), 0);
        menu->close();
        // A selected row: the whole selection.
        m_sidebar->setSelection(ids({3, 0, 2}));
        menu = rightClick(2);
        QVERIFY(menu);
        QCOMPARE(menuTitles(menu), QStringList({"Rename", "Duplicate Series", "-", "Export 3 Items…", "Share", "-",
                                                "Delete 3 Items"}));
        // The share items: what is shared, then what this desktop offers.
        const QMenu *share = menuItem(menu, QStringLiteral("Share"))->menu();
        QStringList shareTitles{QStringLiteral("Veloran Selection"), QStringLiteral("-")};
        for (const SharingService::Target target : SharingService::availableTargets())
            shareTitles << LibrarySidebar::shareTargetTitle(target);
        QCOMPARE(menuTitles(share), shareTitles);
        QVERIFY(!share->actions().first()->isEnabled());
        QSignalSpy exportRequests(m_sidebar.get(), &LibrarySidebar::exportRequested);
        QSignalSpy shareRequests(m_sidebar.get(), &LibrarySidebar::shareRequested);
        QSignalSpy renamed(m_sidebar.get(), &LibrarySidebar::renameRequested);
        menuItem(menu, QStringLiteral("Delete 3 Items"))->trigger();
        menuItem(menu, QStringLiteral("Export 3 Items…"))->trigger();
        menuItem(share, QStringLiteral("Copy"))->trigger();
        QCOMPARE(shareRequests.value(0).value(1).value<SharingService::Target>(), SharingService::Target::copy);
        for (const QSignalSpy *spy : {&deleteRequests, &exportRequests, &shareRequests}) {
            const QList<LibraryEntry> targets = spy->value(0).value(0).value<QList<LibraryEntry>>();
            QCOMPARE(targets.size(), 3); // in list order
            QCOMPARE(targets.at(0).entryID(), m_entries.at(0).entryID());
            QCOMPARE(targets.at(1).entryID(), m_entries.at(2).entryID());
            QCOMPARE(targets.at(2).entryID(), m_entries.at(3).entryID());
        }
        menuItem(menu, QStringLiteral("Rename"))->trigger();
        QCOMPARE(renamed.value(0).value(0).value<Series *>(), m_entries.at(2).seriesGroup()->series);
        menu->close();
        // An image row of the selection: Edit and Duplicate act on the row.
        QSignalSpy edited(m_sidebar.get(), &LibrarySidebar::editRequested);
        QSignalSpy duplicated(m_sidebar.get(), &LibrarySidebar::duplicateImageRequested);
        menu = rightClick(0);
        QCOMPARE(menuTitles(menu),
                 QStringList({"Edit", "Duplicate", "-", "Export 3 Items…", "Share", "-", "Delete 3 Items"}));
        menuItem(menu, QStringLiteral("Edit"))->trigger();
        menuItem(menu, QStringLiteral("Duplicate"))->trigger();
        QCOMPARE(edited.value(0).value(0).value<AtlasImage *>(), m_entries.at(0).imageValue());
        QCOMPARE(duplicated.value(0).value(0).value<AtlasImage *>(), m_entries.at(0).imageValue());
    }

    // Each row's swipe uncovers "Delete" first, then "Edit" (an image) or
    // "Rename" (a series); each acts on its row alone, selected or not.
    void swipeActionsOfEveryRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QStringList>("titles");
        QTest::addColumn<QStringList>("symbols");
        QTest::newRow("image") << 1 << QStringList{"Delete", "Edit"} << QStringList{"trash", "info.circle"};
        QTest::newRow("series") << 3 << QStringList{"Delete", "Rename"} << QStringList{"trash", "pencil"};
    }
    void swipeActionsOfEveryRow()
    {
        QFETCH(int, row);
        QFETCH(QStringList, titles);
        QFETCH(QStringList, symbols);
        m_sidebar->setSelection(ids({0, 1, 2, 3}));
        QSignalSpy deleted(m_sidebar.get(), &LibrarySidebar::deleteRequested);
        QSignalSpy edited(m_sidebar.get(), &LibrarySidebar::editRequested);
        QSignalSpy renamed(m_sidebar.get(), &LibrarySidebar::renameRequested);
        const QList<SwipeAction> actions = m_sidebar->swipeActions(m_entries.at(row));
        QStringList shownTitles, shownSymbols;
        for (const SwipeAction &action : actions) {
            shownTitles << action.title;
            shownSymbols << action.symbol;
        }
        QCOMPARE(shownTitles, titles);
        QCOMPARE(shownSymbols, symbols);
        QVERIFY(actions.at(0).destructive && !actions.at(1).destructive);
        QCOMPARE(actions.at(0).tint, SwipeAction::destructiveTint());
        QCOMPARE(actions.at(1).tint, SwipeAction::blue());
        for (const SwipeAction &action : actions)
            action.run();
        QCOMPARE(deleted.count(), 1);
        const QList<LibraryEntry> targets = deleted.first().first().value<QList<LibraryEntry>>();
        QCOMPARE(targets.size(), 1);
        QCOMPARE(targets.first().entryID(), m_entries.at(row).entryID());
        if (m_entries.at(row).isImage())
            QCOMPARE(edited.value(0).value(0).value<AtlasImage *>(), m_entries.at(row).imageValue());
        else
            QCOMPARE(renamed.value(0).value(0).value<Series *>(), m_entries.at(row).seriesGroup()->series);
        QCOMPARE(edited.count() + renamed.count(), 1);
    }

    // A touchpad's sideways swipe slides the row and uncovers its actions:
    // a short one covers them again, half-way they stay open (and the
    // second runs on a click), past the full-swipe distance the first, the
    // delete, runs on the row alone.
    void swipingARowWithTheTouchpad_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<bool>("phases");
        QTest::addColumn<bool>("rightToLeft");
        QTest::addColumn<double>("fraction"); // of the actions
        QTest::addColumn<bool>("ofFullSwipe"); // or of the full-swipe distance
        QTest::addColumn<QString>("outcome"); // "closed", "open", "deleted"
        QTest::newRow("short") << 0 << true << false << 0.3 << false << "closed";
        QTest::newRow("half-way") << 0 << true << false << 0.6 << false << "open";
        QTest::newRow("all the actions") << 2 << true << false << 1.0 << false << "open";
        QTest::newRow("full swipe") << 1 << true << false << 1.1 << true << "deleted";
        QTest::newRow("full swipe of a series") << 3 << true << false << 1.1 << true << "deleted";
        QTest::newRow("just short of the full swipe") << 1 << true << false << 0.95 << true << "open";
        QTest::newRow("no phases, half-way") << 0 << false << false << 0.6 << false << "open";
        QTest::newRow("no phases, full swipe") << 3 << false << false << 1.2 << true << "deleted";
        QTest::newRow("right to left") << 0 << true << true << 0.6 << false << "open";
        QTest::newRow("right to left, full swipe") << 2 << true << true << 1.1 << true << "deleted";
        QTest::newRow("the other way") << 0 << true << false << -1.0 << false << "closed";
    }
    void swipingARowWithTheTouchpad()
    {
        QFETCH(int, row);
        QFETCH(bool, phases);
        QFETCH(bool, rightToLeft);
        QFETCH(double, fraction);
        QFETCH(bool, ofFullSwipe);
        QFETCH(QString, outcome);
        m_sidebar->setLayoutDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
        m_sidebar->setSelection(ids({0, 1, 2, 3}));
        RowSwipeActions *swipes = m_sidebar->rowSwipe();
        QSignalSpy deleted(m_sidebar.get(), &LibrarySidebar::deleteRequested);
        QSignalSpy edited(m_sidebar.get(), &LibrarySidebar::editRequested);
        QSignalSpy renamed(m_sidebar.get(), &LibrarySidebar::renameRequested);
        QSignalSpy changed(m_sidebar.get(), &LibrarySidebar::selectionChanged);
        swipe(row, fraction, ofFullSwipe, phases);
        QVERIFY(!QTest::currentTestFailed());
        const double actionsWidth = swipes->actionsWidth();

        QCOMPARE(changed.count(), 0); // a swipe selects nothing
        if (outcome == QLatin1String("deleted")) {
            QCOMPARE(deleted.count(), 1);
            const QList<LibraryEntry> targets = deleted.first().first().value<QList<LibraryEntry>>();
            QCOMPARE(targets.size(), 1);
            QCOMPARE(targets.first().entryID(), m_entries.at(row).entryID());
            QVERIFY(!swipes->row().isValid());
            QCOMPARE(swipes->reveal(), 0.0);
            return;
        }
        QCOMPARE(deleted.count(), 0);
        if (outcome == QLatin1String("closed")) {
            QTRY_COMPARE(swipes->reveal(), 0.0);
            QVERIFY(!swipes->row().isValid());
            return;
        }
        // Open: the actions at the trailing edge, the first outermost, the
        // row's content moved aside by as much.
        QVERIFY(actionsWidth >= 2 * RowSwipeActions::minimumActionWidth);
        QVERIFY(swipes->fullSwipeDistance() > actionsWidth);
        QTRY_COMPARE(swipes->reveal(), actionsWidth);
        const QList<QAbstractButton *> buttons = swipes->buttons();
        QCOMPARE(buttons.size(), 2);
        const QRect rowRect = m_sidebar->listView()->visualRect(m_sidebar->listView()->model()->index(row, 0));
        QAbstractButton *outer = buttons.at(0), *inner = buttons.at(1);
        QVERIFY(outer->isVisible() && inner->isVisible());
        const auto globalRect = [](QWidget *widget) { return QRect(widget->mapToGlobal(QPoint()), widget->size()); };
        const QRect viewportRow(m_sidebar->listView()->viewport()->mapToGlobal(rowRect.topLeft()), rowRect.size());
        QVERIFY(viewportRow.contains(globalRect(outer)) && viewportRow.contains(globalRect(inner)));
        const QRect outerRect = globalRect(outer), innerRect = globalRect(inner);
        if (rightToLeft)
            QVERIFY(outerRect.left() == viewportRow.left() && innerRect.left() > outerRect.left());
        else
            QVERIFY(outerRect.right() == viewportRow.right() && innerRect.right() < outerRect.left());
        QCOMPARE(outer->text(), QStringLiteral("Delete"));
        QCOMPARE(swipes->contentShift(swipes->row()), rightToLeft ? actionsWidth : -actionsWidth);
        QTest::mouseClick(inner, Qt::LeftButton);
        QCOMPARE(edited.count() + renamed.count(), 1);
        QVERIFY(!swipes->row().isValid());
        QCOMPARE(changed.count(), 0);
    }

    // On a wide row the full swipe lies beyond most of the row, not just
    // beyond its actions: half-way across, they stay open.
    void aWideRowsFullSwipeLiesBeyondMostOfIt_data()
    {
        QTest::addColumn<double>("ofTheRow");
        QTest::addColumn<bool>("deletes");
        QTest::newRow("half the row") << 0.5 << false;
        QTest::newRow("two thirds of the row") << 0.67 << true;
    }
    void aWideRowsFullSwipeLiesBeyondMostOfIt()
    {
        QFETCH(double, ofTheRow);
        QFETCH(bool, deletes);
        m_sidebar->resize(1000, 500);
        QListView *list = m_sidebar->listView();
        QTRY_VERIFY(list->visualRect(list->model()->index(1, 0)).width() > 900);
        const double reach = ofTheRow * list->visualRect(list->model()->index(1, 0)).width();
        QSignalSpy deleted(m_sidebar.get(), &LibrarySidebar::deleteRequested);
        wheel(1, {}, Qt::ScrollBegin);
        for (double done = 0; done < reach; done += 10)
            QVERIFY(wheel(1, QPoint(-10, 0), Qt::ScrollUpdate));
        wheel(1, {}, Qt::ScrollEnd);
        QCOMPARE(deleted.count(), deletes ? 1 : 0);
    }

    // Open actions close for a click beside them, a scroll, or another
    // row's swipe; an upright gesture and a wheel's notches only scroll.
    void uncoveredActionsCloseAgain()
    {
        RowSwipeActions *swipes = m_sidebar->rowSwipe();
        QSignalSpy changed(m_sidebar.get(), &LibrarySidebar::selectionChanged);
        const auto open = [&](int row) {
            swipe(row, 1.0);
            QTRY_VERIFY(swipes->row().isValid() && swipes->row().row() == row && !swipes->isSwiping());
            QTRY_COMPARE(swipes->reveal(), swipes->actionsWidth());
        };
        // A click beside them covers them, and only that.
        open(0);
        click(2);
        QTRY_VERIFY(!swipes->row().isValid());
        QCOMPARE(changed.count(), 0);
        // A wheel's notches scroll the list and cover them.
        open(0);
        QVERIFY(!wheel(1, {}, Qt::NoScrollPhase, QPoint(0, -120)));
        QTRY_VERIFY(!swipes->row().isValid());
        // Another row's swipe takes them over.
        open(0);
        wheel(2, {}, Qt::ScrollBegin);
        QVERIFY(wheel(2, QPoint(-30, 0), Qt::ScrollUpdate));
        QCOMPARE(swipes->row().row(), 2);
        wheel(2, {}, Qt::ScrollEnd);
        QTRY_VERIFY(!swipes->row().isValid());
        // An upright start scrolls the list the whole gesture long.
        wheel(1, {}, Qt::ScrollBegin);
        QVERIFY(!wheel(1, QPoint(-3, -12), Qt::ScrollUpdate));
        QVERIFY(!wheel(1, QPoint(-40, 0), Qt::ScrollUpdate));
        QVERIFY(!swipes->row().isValid());
        wheel(1, {}, Qt::ScrollEnd);
        // Rows that go take their actions along.
        open(3);
        m_sidebar->setEntries(m_entries.mid(0, 3));
        QVERIFY(!swipes->row().isValid());
        QVERIFY(swipes->buttons().isEmpty());
    }

    // A finger on a touch screen swipes as the touchpad does.
    void swipingARowOnATouchScreen()
    {
        const std::unique_ptr<QPointingDevice> device(QTest::createTouchDevice());
        QPointingDevice *screen = device.get();
        RowSwipeActions *swipes = m_sidebar->rowSwipe();
        QSignalSpy deleted(m_sidebar.get(), &LibrarySidebar::deleteRequested);
        QWidget *viewport = m_sidebar->listView()->viewport();
        const QPoint from = rowCentre(1) + QPoint(100, 0);
        QTest::touchEvent(viewport, screen).press(0, from);
        for (int step = 1; step <= 5; ++step)
            QTest::touchEvent(viewport, screen).move(0, from - QPoint(step * 20, 0));
        QVERIFY(swipes->isSwiping());
        QCOMPARE(swipes->row().row(), 1);
        QCOMPARE(swipes->reveal(), 100.0);
        QTest::touchEvent(viewport, screen).release(0, from - QPoint(100, 0));
        QVERIFY(!swipes->isSwiping());
        QTRY_COMPARE(swipes->reveal(), swipes->actionsWidth());
        QCOMPARE(deleted.count(), 0);
    }

    // A finger that moves mostly up or down is no swipe, however far
    // sideways it also goes.
    void anUprightTouchDragUncoversNothing()
    {
        const std::unique_ptr<QPointingDevice> device(QTest::createTouchDevice());
        RowSwipeActions *swipes = m_sidebar->rowSwipe();
        QWidget *viewport = m_sidebar->listView()->viewport();
        const QPoint from = rowCentre(1) + QPoint(100, 0);
        QTest::touchEvent(viewport, device.get()).press(0, from);
        for (int step = 1; step <= 4; ++step)
            QTest::touchEvent(viewport, device.get()).move(0, from + QPoint(-step * 8, step * 16));
        QVERIFY(!swipes->isSwiping());
        QVERIFY(!swipes->row().isValid());
        QTest::touchEvent(viewport, device.get()).release(0, from + QPoint(-32, 64));
        QCOMPARE(swipes->reveal(), 0.0);
    }

    void searchKeepsHiddenEntriesSelected()
    {
        QSignalSpy changed(m_sidebar.get(), &LibrarySidebar::selectionChanged);
        m_sidebar->setSelection(ids({0, 1}));
        // The search hides the second image.
        m_sidebar->setEntries({m_entries.at(0), m_entries.at(2), m_entries.at(3)});
        QCOMPARE(m_sidebar->selection(), ids({0, 1}));
        QCOMPARE(viewSelection(), ids({0}));
        // Only listed entries count as targets.
        QCOMPARE(LibrarySidebar::deleteMenuTitle(m_sidebar->actionTargets(m_entries.at(0))), QStringLiteral("Delete"));
        QCOMPARE(LibrarySidebar::exportMenuTitle(m_sidebar->actionTargets(m_entries.at(0))), QStringLiteral("Export…"));
        // Back again: selected again.
        m_sidebar->setEntries(m_entries);
        QCOMPARE(viewSelection(), ids({0, 1}));
        QCOMPARE(changed.count(), 0);
        // Extending the selection while hidden keeps the hidden entry...
        m_sidebar->setEntries({m_entries.at(0), m_entries.at(2), m_entries.at(3)});
        click(1, Qt::ControlModifier); // the brain series
        QCOMPARE(m_sidebar->selection(), ids({0, 1, 2}));
        // ...a plain click replaces the selection with what is listed.
        click(2);
        QCOMPARE(m_sidebar->selection(), ids({3}));
        m_sidebar->setEntries(m_entries);
        QCOMPARE(viewSelection(), ids({3}));
    }

    void newEntriesKeepTheListWhereItWas()
    {
        QList<LibraryEntry> many;
        for (int i = 0; i < 200; ++i)
            many.append(TestLibrary::entry(m_library.image(QStringLiteral("Image %1").arg(i))));
        m_sidebar->setEntries(many);
        m_sidebar->setSelection({many.at(150).entryID()});
        QScrollBar *bar = m_sidebar->listView()->verticalScrollBar();
        QVERIFY(bar->maximum() > 1000);
        bar->setValue(1000);
        // The same rows (a title changed): nothing moves.
        many.at(3).imageValue()->setTitle(QStringLiteral("Renamed"));
        m_sidebar->setEntries(many);
        QApplication::processEvents();
        QCOMPARE(bar->value(), 1000);
        QCOMPARE(viewSelectionOf(many), QSet<LibraryEntryID>({many.at(150).entryID()}));
        // Other rows (one gone): the position stays as well.
        many.removeAt(0);
        m_sidebar->setEntries(many);
        QApplication::processEvents();
        QCOMPARE(bar->value(), 1000);
        QCOMPARE(viewSelectionOf(many), QSet<LibraryEntryID>({many.at(149).entryID()}));
    }

    void emptyStates()
    {
        QSignalSpy imports(m_sidebar.get(), &LibrarySidebar::importRequested);
        QSignalSpy clears(m_sidebar.get(), &LibrarySidebar::clearFiltersRequested);
        QCOMPARE(m_sidebar->emptyStateTitle(), QString());
        m_sidebar->setHasContent(false);
        m_sidebar->setEntries({});
        QCOMPARE(m_sidebar->emptyStateTitle(), QStringLiteral("No Images"));
        QCOMPARE(m_sidebar->emptyStateView()->description(), QStringLiteral("Import images to start building the atlas."));
        QPushButton *button = m_sidebar->emptyStateView()->actionButton();
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("Import Images"));
        button->click();
        QCOMPARE(imports.count(), 1);
        // Hidden by the search alone: no button.
        m_sidebar->setHasContent(true);
        QCOMPARE(m_sidebar->emptyStateTitle(), QStringLiteral("No Matches"));
        QVERIFY(!m_sidebar->emptyStateView()->actionButton());
        m_sidebar->setFiltersExpanded(true);
        QVERIFY(!m_sidebar->clearFiltersButton()->isVisible());
        // Hidden by a filter: "Clear Filters" here and in the panel.
        m_sidebar->setHasActiveFilters(true);
        button = m_sidebar->emptyStateView()->actionButton();
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("Clear Filters"));
        button->click();
        QVERIFY(m_sidebar->clearFiltersButton()->isVisible());
        m_sidebar->clearFiltersButton()->click();
        QCOMPARE(clears.count(), 2);
        // While a search runs in the background its empty list is no match
        // yet, and offers nothing.
        m_sidebar->setSearching(true);
        QCOMPARE(m_sidebar->emptyStateTitle(), QStringLiteral("Searching\u2026"));
        QVERIFY(!m_sidebar->emptyStateView()->actionButton());
        m_sidebar->setSearching(false);
        QCOMPARE(m_sidebar->emptyStateTitle(), QStringLiteral("No Matches"));
        m_sidebar->setSearching(true);
        m_sidebar->setHasContent(false);
        QCOMPARE(m_sidebar->emptyStateTitle(), QStringLiteral("No Images"));
        m_sidebar->setSearching(false);
    }

    // The banner shows while "cloudSyncEnabled" is on and the account
    // status has been read and is not available, following at once
    // whichever of the two changes last (the switch as the Settings window
    // writes it). Each row: the switch, the status (-1 none yet), which of
    // them changes last, and whether the banner shows.
    void syncPausedBanner_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("last");
        QTest::addColumn<bool>("shown");
        const int none = -1;
        const int available = int(CloudAccountStatus::available);
        const int noAccount = int(CloudAccountStatus::noAccount);
        QTest::newRow("sync off, no account") << false << noAccount << "status" << false;
        QTest::newRow("no status yet") << true << none << "status" << false;
        QTest::newRow("available") << true << available << "status" << false;
        QTest::newRow("could not determine") << true << int(CloudAccountStatus::couldNotDetermine) << "status" << true;
        QTest::newRow("restricted") << true << int(CloudAccountStatus::restricted) << "status" << true;
        QTest::newRow("no account") << true << noAccount << "status" << true;
        QTest::newRow("temporarily unavailable")
            << true << int(CloudAccountStatus::temporarilyUnavailable) << "status" << true;
        QTest::newRow("switched off, no account") << false << noAccount << "setting" << false;
        QTest::newRow("switched on, no account") << true << noAccount << "setting" << true;
        QTest::newRow("switched on, available") << true << available << "setting" << false;
        QTest::newRow("switched on, no status yet") << true << none << "setting" << false;
    }
    void syncPausedBanner()
    {
        QFETCH(bool, enabled);
        QFETCH(int, status);
        QFETCH(QString, last);
        QFETCH(bool, shown);
        // The banner and its text shown or hidden together, and drawn
        // across the sidebar's foot.
        const auto bannerIs = [this](bool shown) {
            const auto labels = m_sidebar->findChildren<QLabel *>();
            const bool labelShown = std::any_of(labels.cbegin(), labels.cend(), [](QLabel *label) {
                return label->text() == QStringLiteral("iCloud sync paused") && label->isVisible();
            });
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QImage drawn = m_sidebar->grab().toImage();
            const bool drawnBanner = drawn.pixel(1, drawn.height() - 2)
                                     == AppStyle::barBackground(m_sidebar->palette()).rgb();
            return m_sidebar->isSyncPausedBannerShown() == shown && labelShown == shown && drawnBanner == shown;
        };
        const std::optional<CloudAccountStatus> read =
            status < 0 ? std::nullopt : std::optional(CloudAccountStatus(status));
        const auto setEnabled = [this](bool on) { m_defaults->setBool(on, QStringLiteral("cloudSyncEnabled")); };
        QVERIFY(bannerIs(false));
        if (last == "status") {
            setEnabled(enabled);
            m_appState->setCloudAccountStatus(read);
        } else {
            m_appState->setCloudAccountStatus(read);
            setEnabled(!enabled);
            QVERIFY(bannerIs(!enabled && read && read != CloudAccountStatus::available));
            setEnabled(enabled);
        }
        QVERIFY(bannerIs(shown));
    }

    void shortcutsFocusTheSearchAndToggleTheFilters()
    {
        QApplication::setActiveWindow(m_sidebar.get());
        QVERIFY(QTest::qWaitForWindowActive(m_sidebar.get()));
        QSignalSpy expanded(m_sidebar.get(), &LibrarySidebar::filtersExpandedChanged);
        m_sidebar->setHasContent(false);
        QTest::keyClick(m_sidebar->listView(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(expanded.count(), 1);
        QVERIFY(m_sidebar->isFiltersExpanded());
        QVERIFY(!m_sidebar->isFilterPanelShown());
        m_sidebar->setHasContent(true);
        QVERIFY(m_sidebar->isFilterPanelShown());
        QTRY_VERIFY(m_sidebar->filterControls()->isVisible());
        QTRY_VERIFY(m_sidebar->filterControls()->height() > 50);
        QTest::keyClick(m_sidebar->listView(), Qt::Key_F, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!m_sidebar->isFiltersExpanded());
        QTRY_VERIFY(!m_sidebar->filterControls()->isVisible());
        m_sidebar->toggleFilters();
        QTRY_VERIFY(m_sidebar->filterControls()->isVisible());
        QCOMPARE(expanded.count(), 3);
        m_sidebar->listView()->setFocus();
        QVERIFY(!m_sidebar->searchField()->hasFocus());
        QTest::keyClick(m_sidebar->listView(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(m_sidebar->searchField()->hasFocus());
        QSignalSpy searched(m_sidebar.get(), &LibrarySidebar::searchTextChanged);
        QTest::keyClicks(m_sidebar->searchField(), QStringLiteral("ct"));
        QCOMPARE(searched.count(), 2);
        QCOMPARE(searched.last().first().toString(), QStringLiteral("ct"));
        m_sidebar->setSearchText(QStringLiteral("brain")); // the owner's: not reported back
        QCOMPARE(searched.count(), 2);
        QCOMPARE(m_sidebar->searchField()->text(), QStringLiteral("brain"));
    }

    // The filter panel slides open and closed on a spring of response 0.25 s
    // and damping fraction 0.85: its height is on the way from the first
    // frame, the spring passes its end by as much as such a spring
    // overshoots, and comes to rest there with the panel shown or hidden.
    // At every frame the divider after it is drawn exactly while some of
    // the panel shows.
    void theFilterPanelSlidesOnItsSpring_data()
    {
        QTest::addColumn<bool>("opening");
        QTest::newRow("opening") << true;
        QTest::newRow("closing") << false;
    }
    void theFilterPanelSlidesOnItsSpring()
    {
        QFETCH(bool, opening);
        SpringAnimation *spring = m_sidebar->filterPanelOpening();
        FrameClock *clock = spring->frameClock();
        QWidget *panel = m_sidebar->filterControls()->parentWidget();
        const double from = opening ? 0 : 1;
        const double to = 1 - from;
        const auto value = [spring] { return spring->value(); };
        m_sidebar->setFiltersExpanded(!opening);
        stepToRest(*clock, value, to, from);
        QCOMPARE(panel->isVisible(), !opening);

        // Whether the divider is drawn (a line across the whole sidebar,
        // which the panel's controls are not, between the search field and
        // the list) exactly when the panel shows; counts the frames where
        // it is not.
        int frames = 0;
        int wrong = 0;
        const auto dividerFollowsThePanel = [&] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
            const QImage drawn = m_sidebar->grab().toImage();
            const QRgb background = drawn.pixel(2, 2);
            bool line = false;
            const int listTop = m_sidebar->listView()->mapTo(m_sidebar.get(), QPoint()).y();
            for (int y = m_sidebar->searchField()->geometry().bottom(); y < listTop && !line; ++y)
                line = drawn.pixel(2, y) != background && drawn.pixel(drawn.width() - 3, y) == drawn.pixel(2, y);
            wrong += line != (panel->isVisible() && panel->height() > 0) ? 1 : 0;
            ++frames;
        };
        dividerFollowsThePanel();
        m_sidebar->toggleFilters();
        dividerFollowsThePanel();
        Spring reference(0.25, 0.85, from);
        reference.setTarget(to);
        clock->step(1.0 / 60);
        reference.advance(1.0 / 60);
        QCOMPARE(spring->value(), reference.value());
        const int full = panel->sizeHint().height();
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->maximumHeight(), int(std::lround(reference.value() * full)));
        QVERIFY(panel->maximumHeight() > 0 && panel->maximumHeight() < full);
        const double overshoot = stepToRest(*clock, value, from, to, dividerFollowsThePanel);
        dividerFollowsThePanel();
        QVERIFY2(wrong == 0, qPrintable(QStringLiteral("%1 of %2 frames").arg(wrong).arg(frames)));
        QVERIFY(!clock->isRunning());
        QCOMPARE(spring->value(), to);
        const double peak = springOvershoot(0.85);
        QVERIFY2(overshoot > 0.8 * peak && overshoot <= peak * (1 + 1e-9), qPrintable(QString::number(overshoot)));
        QCOMPARE(panel->isVisible(), opening);
        QCOMPARE(panel->maximumHeight(), QWIDGETSIZE_MAX);
    }

    void filterPickersOfferAnyAndTheSelectableCases()
    {
        LibraryFilterControls controls;
        QComboBox *modality = controls.picker(0);
        QCOMPARE(pickerItems(modality), QStringList({"Any", "DX", "CT", "MR", "NM", "PT", "US", "XA"}));
        QCOMPARE(controls.picker(2)->itemText(4), QStringLiteral("Unspecified"));
        QCOMPARE(controls.picker(3)->count(), 6);
        QSignalSpy changed(&controls, &LibraryFilterControls::modalityFilterChanged);
        modality->setCurrentIndex(2);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(controls.modalityFilter(), std::optional<Modality>(Modality::ct));
        modality->setCurrentIndex(0);
        QCOMPARE(controls.modalityFilter(), std::nullopt);
        QCOMPARE(changed.count(), 2);
        // Set by the owner: shown, and not reported back.
        controls.setSexFilter(Sex::female);
        QCOMPARE(controls.picker(4)->currentText(), QStringLiteral("Female"));
        controls.setAgeKindFilter(AgeSpec::Kind::years);
        QCOMPARE(controls.picker(3)->currentText(), QStringLiteral("Years"));
        QCOMPARE(changed.count(), 2);
    }
};

QTEST_MAIN(LibrarySidebarTest)
#include "tst_librarysidebar.moc"
