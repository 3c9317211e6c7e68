#include "MainWindowTestSupport.h"

#include "about/AboutWindowController.h"
#include "appkit/NSWindowController.h"
#include "model/JsonCoding.h"
#include "shell/SettingsView.h"
#include "shell/MainWindowTab.h"
#include "shell/WindowTabRestorationCoordinator.h"
#include "shell/WindowTabbingView.h"

#include <QDialog>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace {

// The items of the bar's menu with the title.
QStringList menuTitles(const QMenuBar *bar, const QString &menuTitle)
{
    QStringList titles;
    for (const QAction *menu : bar->actions()) {
        if (menu->menu() && menu->text() == menuTitle) {
            for (const QAction *item : menu->menu()->actions())
                titles << item->text();
        }
    }
    return titles;
}

const QString mainIdentifier = WindowTabbingConfigurator::mainTabbingIdentifier;
const QString key = QStringLiteral("mainWindowStates");
// Where an earlier version kept the current window; never written now.
const QString oldCurrentWindowKey = QStringLiteral("currentMainWindowID");

QList<MainWindowState> windowsStored(const UserDefaults &defaults)
{
    const auto decoded = MainWindowState::decodeList(defaults.dataForKey(key).value_or(QByteArray()));
    return decoded ? decoded.value() : QList<MainWindowState>();
}

MainWindowState state(int n, const QString &image = QString())
{
    return {QUuid(QStringLiteral("00000000-0000-4000-8000-%1").arg(n, 12, 10, QLatin1Char('0'))), image};
}

// Windows as the coordinator sees them: plain objects in a window list,
// each with its state.
struct Windows {
    UserDefaults defaults;
    QList<QObject *> list;
    QHash<QObject *, MainWindowState> states;
    std::vector<std::unique_ptr<QObject>> owned;
    WindowTabRestorationCoordinator coordinator{defaults, [this] {
        QList<WindowTabRestorationCoordinator::ListedWindow> listed;
        for (QObject *window : list)
            listed.append({window, mainIdentifier});
        return listed;
    }};

    QObject *open(const MainWindowState &initial)
    {
        owned.push_back(std::make_unique<QObject>());
        QObject *window = owned.back().get();
        list.append(window);
        states.insert(window, initial);
        coordinator.registerWindow(window, mainIdentifier,
                                   {[this, window] { return states.value(window); },
                                    [this, window](const MainWindowState &saved) { states.insert(window, saved); }},
                                   [this](const MainWindowState &opened) { open(opened); });
        return window;
    }
    void close(QObject *window)
    {
        list.removeOne(window);
        coordinator.windowWillClose();
    }
    QList<MainWindowState> openStates() const
    {
        QList<MainWindowState> result;
        for (QObject *window : list)
            result.append(states.value(window));
        return result;
    }
    QList<MainWindowState> stored() const { return windowsStored(defaults); }
};

} // namespace

// Window tabs: saved, restored at launch, and held by the main window.
class WindowTabsTest : public QObject {
    Q_OBJECT
private slots:
    // The first window takes the first saved state; the others open on
    // later turns. A list that doesn't decode opens the first window only.
    void launchRestoresTheSavedWindows_data()
    {
        QTest::addColumn<QByteArray>("saved"); // empty: nothing stored
        QTest::addColumn<QList<MainWindowState>>("expected");
        const MainWindowState fresh = state(99);
        const QList<MainWindowState> three{state(1, QStringLiteral("A")), state(2), state(3, QStringLiteral("C"))};
        const QByteArray id = "{\"id\":\"00000000-0000-4000-8000-000000000001\"";
        QTest::newRow("nothing saved") << QByteArray() << QList<MainWindowState>{fresh};
        QTest::newRow("an empty list") << QByteArray("[]") << QList<MainWindowState>{fresh};
        QTest::newRow("one") << MainWindowState::encodeList({state(1)}) << QList<MainWindowState>{state(1)};
        QTest::newRow("three") << MainWindowState::encodeList(three) << three;
        QTest::newRow("second lacks selectedImageID")
            << QByteArray("[" + id + ",\"selectedImageID\":\"\"}," + id + "}]") << QList<MainWindowState>{fresh};
        QTest::newRow("selection not text") << QByteArray("[" + id + ",\"selectedImageID\":null}]")
                                            << QList<MainWindowState>{fresh};
        QTest::newRow("an object, not a list") << QByteArray(id + ",\"selectedImageID\":\"\"}")
                                               << QList<MainWindowState>{fresh};
        QTest::newRow("not JSON") << QByteArray("[" + id) << QList<MainWindowState>{fresh};
        QTest::newRow("not data") << QByteArray("text") << QList<MainWindowState>{fresh};
    }
    void launchRestoresTheSavedWindows()
    {
        QFETCH(QByteArray, saved);
        QFETCH(QList<MainWindowState>, expected);
        Windows windows;
        if (saved == "text")
            windows.defaults.setString(QStringLiteral("[]"), key);
        else if (!saved.isEmpty())
            windows.defaults.setData(saved, key);
        windows.open(state(99));
        // The others open on later turns, one after another.
        QCOMPARE(windows.list.size(), 1);
        QCOMPARE(windows.openStates().first(), expected.first());
        QTRY_COMPARE(windows.list.size(), expected.size());
        QTest::qWait(20);
        QCOMPARE(windows.openStates(), expected);
        QVERIFY(windows.coordinator.statesToRestore().isEmpty());
        // Each later window saved the windows open so far: all of them by now.
        if (expected.size() > 1)
            QCOMPARE(windows.stored(), expected);
        else
            QCOMPARE(windows.defaults.dataForKey(key).value_or(QByteArray()), saved == "text" ? QByteArray() : saved);
    }

    void savesFollowClosingAndTermination()
    {
        Windows windows;
        QSignalSpy writes(&windows.defaults, &UserDefaults::valueChanged);
        QObject *first = windows.open(state(1));
        QObject *second = windows.open(state(2));
        QCOMPARE(writes.count(), 1); // the second registration
        windows.open(state(3));
        // Registering a window again changes nothing.
        windows.coordinator.registerWindow(second, mainIdentifier, {}, {});
        QCOMPARE(writes.count(), 2);
        windows.close(second);
        QCOMPARE(windows.stored().size(), 3); // saved on the next turn
        QTRY_COMPARE(windows.stored(), (QList<MainWindowState>{state(1), state(3)}));
        // Quitting saves at once, in window order; windows that close while
        // the application ends leave that list alone, as do later calls.
        windows.states.insert(first, state(1, QStringLiteral("opened")));
        windows.coordinator.applicationWillTerminate();
        const QList<MainWindowState> atQuit{state(1, QStringLiteral("opened")), state(3)};
        QCOMPARE(windows.stored(), atQuit);
        windows.close(first);
        windows.coordinator.applicationWillTerminate();
        QTest::qWait(20);
        QCOMPARE(windows.stored(), atQuit);
    }

    // A save that a closing window queued stays out of the way of the
    // termination's own; the last window closed while running saves none.
    void aQueuedSaveAndTheLastWindow_data()
    {
        QTest::addColumn<bool>("terminates");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("terminating") << true << MainWindowState::encodeList({state(1)});
        QTest::newRow("running") << false << QByteArray("[]");
    }
    void aQueuedSaveAndTheLastWindow()
    {
        QFETCH(bool, terminates);
        Windows windows;
        QObject *first = windows.open(state(1));
        windows.close(windows.open(state(2)));
        if (terminates)
            windows.coordinator.applicationWillTerminate();
        else
            windows.close(first);
        windows.list.clear(); // the windows go
        QTest::qWait(20);
        QTEST(windows.defaults.dataForKey(key).value_or(QByteArray()), "stored");
    }

    // Only the list is saved, whichever window is current: a value an
    // earlier version kept under "currentMainWindowID" stays as it was, and
    // no other key is written.
    void onlyTheListIsSaved_data()
    {
        QTest::addColumn<int>("current"); // the current tab; -1: the Settings window is active
        QTest::newRow("the first") << 0;
        QTest::newRow("the second") << 1;
        QTest::newRow("the Settings window") << -1;
    }
    void onlyTheListIsSaved()
    {
        QFETCH(int, current);
        TestLibrary library;
        UserDefaults defaults;
        defaults.setString(QStringLiteral("stale"), oldCurrentWindowKey);
        WindowTabRestorationCoordinator coordinator(defaults, &WindowTabbingView::listedWindows);
        WindowHarness harness(library, &coordinator);
        harness.window.openTab(MainWindowState::makeDefault());
        std::unique_ptr<SettingsView> settings;
        if (current >= 0) {
            harness.window.tabbingView()->setCurrentTab(harness.window.tabs().at(current));
        } else {
            settings = std::make_unique<SettingsView>(library.context(), harness.defaults, harness.accounts);
            settings->show();
            settings->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(settings.get()));
        }
        QSignalSpy writes(&defaults, &UserDefaults::valueChanged);
        coordinator.applicationWillTerminate();
        QCOMPARE(writes.count(), 1);
        QCOMPARE(writes.first().first().toString(), key);
        QCOMPARE(windowsStored(defaults), (QList<MainWindowState>{harness.window.tabs().at(0)->state(),
                                                                   harness.window.tabs().at(1)->state()}));
        QCOMPARE(defaults.stringForKey(oldCurrentWindowKey), QStringLiteral("stale"));
    }

    // Every window that closes, main or not, registered or not, saves the
    // main windows once the event loop turns: an image opened since the
    // last save is kept should the process then be ended. A window that is
    // only hidden saves nothing.
    void everyWindowThatClosesSaves_data()
    {
        QTest::addColumn<QString>("closing");
        QTest::addColumn<bool>("saves");
        QTest::newRow("a tab") << "tab" << true;
        QTest::newRow("the Settings window") << "settings" << true;
        QTest::newRow("the About window") << "about" << true;
        QTest::newRow("a window never registered") << "plain" << true;
        QTest::newRow("a dialog") << "dialog" << true;
        QTest::newRow("two windows in one turn") << "two" << true;
        QTest::newRow("a tool tip") << "tooltip" << false;
        QTest::newRow("a window hidden, not closed") << "hidden" << false;
    }
    void everyWindowThatClosesSaves()
    {
        QFETCH(QString, closing);
        QFETCH(bool, saves);
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("knee"));
        library.save();
        UserDefaults defaults;
        WindowTabRestorationCoordinator coordinator(defaults, &WindowTabbingView::listedWindows);
        coordinator.observeApplication(*qApp);
        WindowHarness harness(library, &coordinator);
        MainWindowTab *first = harness.window.currentTab();
        MainWindowTab *second = harness.window.openTab(MainWindowState::makeDefault());
        const QList<MainWindowState> before{first->state(), second->state()};
        QCOMPARE(windowsStored(defaults), before);
        first->model().openImage(knee);
        QCOMPARE(first->state().selectedImageID, uuidText(knee->id()));

        QSignalSpy writes(&defaults, &UserDefaults::valueChanged);
        std::vector<std::unique_ptr<QWidget>> others;
        const auto shown = [&](QWidget *window) {
            others.emplace_back(window);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
        };
        QList<MainWindowState> expected{first->state(), second->state()};
        if (closing == QLatin1String("tab")) {
            harness.window.closeTab(second);
            expected.removeLast();
        } else if (closing == QLatin1String("settings")) {
            SettingsView *settings = SettingsView::present(library.context(), harness.defaults, harness.accounts);
            QVERIFY(QTest::qWaitForWindowExposed(settings));
            settings->close();
        } else if (closing == QLatin1String("about")) {
            AboutWindowController::shared().showAboutWindow();
            QWidget *about = AboutWindowController::shared().windowController().window();
            QVERIFY(QTest::qWaitForWindowExposed(about));
            about->close();
        } else if (closing == QLatin1String("plain") || closing == QLatin1String("two")) {
            shown(new QWidget);
            if (closing == QLatin1String("two"))
                shown(new QWidget);
            for (const auto &window : others)
                window->close();
        } else if (closing == QLatin1String("dialog")) {
            shown(new QDialog(&harness.window));
            others.back()->close();
        } else if (closing == QLatin1String("hidden")) {
            shown(new QWidget);
            others.back()->hide();
        } else {
            auto *tip = new QWidget(nullptr, Qt::ToolTip);
            shown(tip);
            tip->close();
        }
        // Not at once: the closed window has left the window list first.
        QCOMPARE(writes.count(), 0);
        QCOMPARE(windowsStored(defaults), before);
        if (saves) {
            QTRY_COMPARE(windowsStored(defaults), expected);
            QTest::qWait(20);
            QCOMPARE(writes.count(), 1);
        } else {
            QTest::qWait(20);
            QCOMPARE(writes.count(), 0);
        }
        QVERIFY(!defaults.object(oldCurrentWindowKey).isValid());
        // The next window that closes saves again.
        first->model().returnToGrid();
        shown(new QWidget);
        others.back()->close();
        QTRY_COMPARE(windowsStored(defaults).first().selectedImageID, QString());
        // Once the application terminates, closing windows saves nothing more.
        coordinator.applicationWillTerminate();
        const QByteArray atQuit = defaults.dataForKey(key).value_or(QByteArray());
        auto *late = new QWidget;
        shown(late);
        first->model().openImage(knee);
        late->close();
        QTest::qWait(20);
        QCOMPARE(defaults.dataForKey(key).value_or(QByteArray()), atQuit);
    }

    // Each tab and the window are titled like the tab's detail pane.
    void titlesFollowTheDetailPane()
    {
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("knee"));
        AtlasImage *untitled = library.image(QString());
        WindowHarness harness(library);
        MainWindow &window = harness.window;
        QTabBar *bar = window.tabbingView()->tabBar();
        window.openTab(MainWindowState::makeDefault())->model().openImage(knee);
        window.openTab(MainWindowState::makeDefault())->model().openImage(untitled);
        const auto tabTexts = [bar] {
            QStringList list;
            for (int i = 0; i < bar->count(); ++i)
                list << bar->tabText(i);
            return list;
        };
        QCOMPARE(tabTexts(), (QStringList{"Library", "knee", "Untitled"}));
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled"));
        window.tabbingView()->setCurrentTab(window.tabs().at(1));
        QCOMPARE(window.windowTitle(), QStringLiteral("knee"));
        // A renamed image renames its tab, and the window while it is current.
        knee->setTitle(QStringLiteral("Left knee"));
        QCOMPARE(tabTexts(), (QStringList{"Library", "Left knee", "Untitled"}));
        QCOMPARE(window.windowTitle(), QStringLiteral("Left knee"));
        untitled->setTitle(QStringLiteral("Hand"));
        QCOMPARE(tabTexts().at(2), QStringLiteral("Hand"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Left knee"));
        // Back to the grid.
        window.tabs().at(1)->model().returnToGrid();
        QCOMPARE(tabTexts(), (QStringList{"Library", "Library", "Hand"}));
        QCOMPARE(window.windowTitle(), QStringLiteral("Library"));
        // Closing the current tab titles the window like the next one.
        window.closeTab(window.currentTab());
        QCOMPARE(window.windowTitle(), QStringLiteral("Hand"));
    }

    // After a restart the saved tabs reopen in order, each the new current
    // tab in its turn: the last one is current, whichever was at quit, and
    // whatever an earlier version kept under "currentMainWindowID".
    void theLastRestoredTabIsCurrent_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("stale"); // the tab an earlier version's value names; -1: none, -2: no identifier
        QTest::newRow("the first") << 0 << -1;
        QTest::newRow("the second") << 1 << -1;
        QTest::newRow("the last") << 2 << -1;
        QTest::newRow("an old value names the first") << 2 << 0;
        QTest::newRow("an old value names the second") << 0 << 1;
        QTest::newRow("an old value is no identifier") << 1 << -2;
    }
    void theLastRestoredTabIsCurrent()
    {
        QFETCH(int, current);
        QFETCH(int, stale);
        TestLibrary library;
        const QList<AtlasImage *> images{library.image(QStringLiteral("knee")), library.image(QStringLiteral("hand")),
                                         library.image(QStringLiteral("foot"))};
        library.save();
        UserDefaults defaults;
        const auto launch = [&] {
            return std::make_unique<WindowTabRestorationCoordinator>(defaults, &WindowTabbingView::listedWindows);
        };
        {
            const auto coordinator = launch();
            WindowHarness harness(library, coordinator.get());
            harness.model().openImage(images.at(0));
            harness.window.openTab(MainWindowState::makeDefault())->model().openImage(images.at(1));
            harness.window.openTab(MainWindowState::makeDefault())->model().openImage(images.at(2));
            harness.window.tabbingView()->setCurrentTab(harness.window.tabs().at(current));
            QSignalSpy writes(&defaults, &UserDefaults::valueChanged);
            coordinator->applicationWillTerminate();
            QCOMPARE(writes.count(), 1);
            QVERIFY(!defaults.object(oldCurrentWindowKey).isValid());
            if (stale >= 0)
                defaults.setString(uuidText(harness.window.tabs().at(stale)->state().id), oldCurrentWindowKey);
            else if (stale == -2)
                defaults.setString(QStringLiteral("knee"), oldCurrentWindowKey);
        }
        const auto coordinator = launch();
        WindowHarness harness(library, coordinator.get());
        QTRY_COMPARE(harness.window.tabs().size(), 3);
        QTest::qWait(20);
        QCOMPARE(harness.window.tabs().size(), 3);
        QCOMPARE(harness.window.currentTab(), harness.window.tabs().at(2));
        QTRY_COMPARE(harness.window.windowTitle(), images.at(2)->title());
    }

    // A tab's pick, read while another tab came to the front, shows its
    // sheet over its own tab, and its pictures go there.
    void aTabComesToTheFrontForItsSheet()
    {
        QTemporaryDir folder;
        const QUrl scan = writeTestFile(folder, QStringLiteral("scan.png"), pngBytes(Qt::red));
        TestLibrary library;
        WindowHarness harness(library);
        MainWindowTab *first = harness.window.currentTab();
        MainWindowTab *second = harness.window.openTab(MainWindowState::makeDefault());
        QCOMPARE(harness.window.currentTab(), second);
        first->model().handleImportResult({scan});
        QTRY_VERIFY(first->contentView()->importSheet());
        QCOMPARE(harness.window.currentTab(), first);
        QVERIFY(!second->contentView()->importSheet());
        QTest::keyClick(first->contentView()->importSheet(), Qt::Key_Return);
        QTRY_COMPARE(library.context().fetch<AtlasImage>().size(), 1);
        QTRY_VERIFY(first->model().openedImage());
        QVERIFY(!second->model().openedImage());
    }

    void tabsOpenAndCloseThroughTheirCommands()
    {
        TestLibrary library;
        library.image(QStringLiteral("knee"));
        library.save();
        Windows saved; // only for its defaults
        WindowTabRestorationCoordinator coordinator(saved.defaults, &WindowTabbingView::listedWindows);
        WindowHarness harness(library, &coordinator);
        MainWindow &window = harness.window;
        QTabBar *bar = window.tabbingView()->tabBar();
        QVERIFY(!bar->isVisible());
        QCOMPARE(menuTitles(window.menuBar(), QStringLiteral("File")), QStringList({"New Tab", "Close Tab"}));
        QTRY_VERIFY(harness.model().library().isSearchIndexReady());
        QTest::keyClick(&window, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(window.tabs().size(), 2);
        QVERIFY(bar->isVisible());
        QCOMPARE(window.currentTab(), window.tabs().at(1));
        // Each tab is a library view of its own.
        MainWindowTab *first = window.tabs().at(0);
        MainWindowTab *second = window.tabs().at(1);
        QVERIFY(&first->model() != &second->model());
        QVERIFY(first->state().id != second->state().id);
        // They search the library through one index, which the new tab
        // finds read; so does another window on the same library.
        QCOMPARE(&second->model().library().searchIndex(), &first->model().library().searchIndex());
        QVERIFY(second->model().library().isSearchIndexReady());
        {
            WindowHarness other(library);
            QCOMPARE(&other.model().library().searchIndex(), &first->model().library().searchIndex());
            QVERIFY(other.model().library().isSearchIndexReady());
        }
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTRY_COMPARE(second->contentView()->contentSidebar()->sidebar()->entries().size(), 1);
        QCOMPARE(saved.stored(), (QList<MainWindowState>{first->state(), second->state()}));
        // Close Tab closes the current one, and the list is saved without it.
        QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);
        QCOMPARE(window.tabs(), QList<MainWindowTab *>{first});
        QVERIFY(!bar->isVisible());
        QTRY_COMPARE(saved.stored(), QList<MainWindowState>{first->state()});
        // The last tab closes the window.
        window.closeTabCommand()->trigger();
        QVERIFY(!window.isVisible());
        QCOMPARE(saved.stored(), QList<MainWindowState>{first->state()});
    }

    void tabsWithTheirImagesComeBackInOrder()
    {
        TestLibrary library;
        Series *series = library.series(QStringLiteral("Spine"));
        const QList<AtlasImage *> images{library.image(QStringLiteral("knee")), library.image(QStringLiteral("c1"), series),
                                         library.image(QStringLiteral("hand"))};
        library.save();
        UserDefaults defaults;
        QList<MainWindowState> atQuit;
        {
            WindowTabRestorationCoordinator coordinator(defaults, &WindowTabbingView::listedWindows);
            WindowHarness harness(library, &coordinator);
            harness.window.openTab(MainWindowState::makeDefault());
            harness.window.openTab(MainWindowState::makeDefault());
            for (int i = 0; i < 3; ++i) {
                harness.window.tabbingView()->setCurrentTab(harness.window.tabs().at(i));
                harness.window.tabs().at(i)->model().openImage(images.at(i));
            }
            // Dragging the first tab to the end reorders the windows.
            harness.window.tabbingView()->tabBar()->moveTab(0, 2);
            coordinator.applicationWillTerminate();
            const QByteArray stored = defaults.dataForKey(key).value();
            const QList<MainWindowTab *> tabs = harness.window.tabs();
            for (int i = 0; i < 3; ++i)
                atQuit.append({tabs.at(i)->state().id, uuidText(images.at((i + 1) % 3)->id())});
            QCOMPARE(MainWindowState::decodeList(stored).value(), atQuit);
            QVERIFY(stored.contains(uuidText(images.at(0)->id()).toUtf8()));
            QVERIFY(!stored.contains(images.at(0)->id().toString(QUuid::WithoutBraces).toUtf8()));
        }
        // The next launch.
        WindowTabRestorationCoordinator coordinator(defaults, &WindowTabbingView::listedWindows);
        WindowHarness harness(library, &coordinator);
        QTRY_COMPARE(harness.window.tabs().size(), 3);
        for (int i = 0; i < 3; ++i) {
            MainWindowTab *tab = harness.window.tabs().at(i);
            harness.window.tabbingView()->setCurrentTab(tab);
            QCOMPARE(tab->state().id, atQuit.at(i).id);
            QTRY_COMPARE(tab->model().openedImage(), images.at((i + 1) % 3));
        }
        // The image in a series selects its series' row.
        QCOMPARE(harness.window.tabs().at(0)->model().sidebarSelection(),
                 QSet<LibraryEntryID>{LibraryEntryID::series(series->id())});
    }
};

QTEST_MAIN(WindowTabsTest)
#include "tst_windowtabs.moc"
