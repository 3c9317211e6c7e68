#include "MainWindowTestSupport.h"

#include "shell/MainWindowTab.h"
#include "shell/StandardMenus.h"
#include "shell/WindowTabbingView.h"

#include <QClipboard>
#include <QMenuBar>
#include <QTabBar>

namespace {

// The titles of the Edit commands that are enabled, in menu order.
QStringList enabledEditCommands(const EditCommands &edit)
{
    QStringList titles;
    for (const QAction *action : {edit.undo(), edit.redo(), edit.cut(), edit.copy(), edit.paste(),
                                  edit.deleteSelection(), edit.selectAll()}) {
        if (action->isEnabled())
            titles << action->text();
    }
    return titles;
}

QMenu *barMenu(const QMenuBar *bar, const QString &title)
{
    for (QAction *menu : bar->actions()) {
        if (menu->menu() && menu->text() == title)
            return menu->menu();
    }
    return nullptr;
}

QStringList texts(const QList<QAction *> &actions)
{
    QStringList list;
    for (const QAction *action : actions)
        list << action->text();
    return list;
}

} // namespace

// The Edit, View and Window menus of the main window, driven as a user would.
class StandardMenusTest : public QObject {
    Q_OBJECT
private slots:
    void editCommandsFollowTheFocusedField_data()
    {
        QTest::addColumn<QString>("field"); // how the search field is left
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QStringList>("enabled");
        const QString paste = QStringLiteral("Paste");
        QTest::newRow("focus on the grid") << "unfocused" << "x" << QStringList();
        QTest::newRow("an empty field") << "" << "x" << QStringList{paste};
        QTest::newRow("an empty clipboard") << "knee" << "" << QStringList{"Select All"};
        QTest::newRow("text, no selection") << "knee" << "x" << QStringList{paste, "Select All"};
        QTest::newRow("a selection") << "knee|" << "x" << QStringList{"Cut", "Copy", paste, "Delete", "Select All"};
        QTest::newRow("typed") << "typed" << "x" << QStringList{"Undo", paste, "Select All"};
        QTest::newRow("typed, undone") << "undone" << "x" << QStringList{"Redo", paste};
        QTest::newRow("read-only, a selection") << "read-only" << "x" << QStringList{"Copy", "Select All"};
        QTest::newRow("password, a selection") << "password" << "x" << QStringList{paste, "Delete", "Select All"};
    }
    void editCommandsFollowTheFocusedField()
    {
        QFETCH(QString, field);
        QFETCH(QString, clipboard);
        TestLibrary library;
        WindowHarness harness(library);
        QGuiApplication::clipboard()->setText(clipboard);
        QLineEdit *search = harness.sidebar().searchField();
        EditCommands *edit = harness.window.editCommands();
        search->setFocus();
        QVERIFY(search->hasFocus());
        if (field == QLatin1String("unfocused")) {
            harness.grid().setFocus();
        } else if (field == QLatin1String("typed") || field == QLatin1String("undone")) {
            QTest::keyClicks(search, QStringLiteral("kn"));
            if (field == QLatin1String("undone"))
                QTest::keyClick(search, Qt::Key_Z, Qt::ControlModifier);
        } else if (!field.isEmpty()) {
            search->setText(QStringLiteral("knee"));
            search->setReadOnly(field == QLatin1String("read-only"));
            search->setEchoMode(field == QLatin1String("password") ? QLineEdit::Password : QLineEdit::Normal);
            if (field != QLatin1String("knee"))
                search->selectAll();
        }
        QCOMPARE(edit->target(), field == QLatin1String("unfocused") ? nullptr : search);
        QTEST(enabledEditCommands(*edit), "enabled");
    }

    // Each command does its job on the focused field, also from the open
    // menu, where the field keeps its part.
    void editCommandsActOnTheField()
    {
        TestLibrary library;
        library.image(QStringLiteral("knee"));
        library.image(QStringLiteral("hand"));
        WindowHarness harness(library);
        QLineEdit *search = harness.sidebar().searchField();
        EditCommands *edit = harness.window.editCommands();
        QClipboard *clipboard = QGuiApplication::clipboard();
        clipboard->clear();
        search->setFocus();
        QTest::keyClicks(search, QStringLiteral("knee"));
        QMenuBar *bar = harness.window.menuBar();
        QMenu *menu = barMenu(bar, QStringLiteral("Edit"));
        QVERIFY(menu);
        QCOMPARE(texts(menu->actions()), (QStringList{"Undo", "Redo", "", "Cut", "Copy", "Paste", "Delete", "Select All"}));
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        QTRY_VERIFY(menu->isVisible());
        QVERIFY(edit->selectAll()->isEnabled());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(edit->selectAll()).center());
        QTRY_VERIFY(!menu->isVisible());
        QCOMPARE(search->selectedText(), QStringLiteral("knee"));
        edit->copy()->trigger();
        QCOMPARE(clipboard->text(), QStringLiteral("knee"));
        edit->deleteSelection()->trigger();
        QCOMPARE(search->text(), QString());
        // What is pasted searches like what is typed.
        edit->paste()->trigger();
        edit->paste()->trigger();
        QCOMPARE(search->text(), QStringLiteral("kneeknee"));
        edit->undo()->trigger();
        QCOMPARE(search->text(), QStringLiteral("knee"));
        edit->redo()->trigger();
        QCOMPARE(search->text(), QStringLiteral("kneeknee"));
        search->setSelection(0, 4);
        edit->cut()->trigger();
        QCOMPARE(search->text(), QStringLiteral("knee"));
        QCOMPARE(clipboard->text(), QStringLiteral("knee"));
        QTRY_COMPARE(harness.sidebar().entries().size(), 1);
        // Delete takes the selection only, never the character after the cursor.
        search->setCursorPosition(0);
        QVERIFY(!edit->deleteSelection()->isEnabled());
        edit->deleteSelection()->trigger();
        QCOMPARE(search->text(), QStringLiteral("knee"));
    }

    // The Edit commands claim no key: the views keep theirs.
    void editKeysStayWithTheViews()
    {
        TestLibrary library;
        library.image(QStringLiteral("knee"));
        library.image(QStringLiteral("hand"));
        WindowHarness harness(library);
        QTRY_COMPARE(harness.sidebar().entries().size(), 2);
        QListView *list = harness.sidebar().listView();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(harness.model().sidebarSelection().size(), 2);
    }

    void viewMenuShowsTheTabBarAndFullScreen()
    {
        TestLibrary library;
        WindowHarness harness(library);
        MainWindow &window = harness.window;
        WindowCommands *commands = window.windowCommands();
        QTabBar *bar = window.tabbingView()->tabBar();
        QCOMPARE(texts(barMenu(window.menuBar(), QStringLiteral("View"))->actions()),
                 (QStringList{"Show Tab Bar", "", "Enter Full Screen"}));
        // One tab: the bar shows only when asked.
        QVERIFY(!bar->isVisible());
        QVERIFY(commands->toggleTabBar()->isEnabled());
        commands->toggleTabBar()->trigger();
        QVERIFY(bar->isVisible());
        QCOMPARE(commands->toggleTabBar()->text(), QStringLiteral("Hide Tab Bar"));
        commands->toggleTabBar()->trigger();
        QVERIFY(!bar->isVisible());
        QCOMPARE(commands->toggleTabBar()->text(), QStringLiteral("Show Tab Bar"));
        // Two tabs: always shown.
        window.newTabCommand()->trigger();
        QVERIFY(bar->isVisible());
        QCOMPARE(commands->toggleTabBar()->text(), QStringLiteral("Hide Tab Bar"));
        QVERIFY(!commands->toggleTabBar()->isEnabled());
        window.closeTabCommand()->trigger();
        QVERIFY(!bar->isVisible());
        QVERIFY(commands->toggleTabBar()->isEnabled());

        // F11 enters and leaves full screen; Minimize and Zoom wait meanwhile.
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(window.isFullScreen());
        QCOMPARE(commands->toggleFullScreen()->text(), QStringLiteral("Exit Full Screen"));
        QVERIFY(!commands->minimize()->isEnabled() && !commands->zoom()->isEnabled());
        QTest::keyClick(&window, Qt::Key_F11);
        QTRY_VERIFY(!window.isFullScreen());
        QCOMPARE(commands->toggleFullScreen()->text(), QStringLiteral("Enter Full Screen"));
        QVERIFY(commands->minimize()->isEnabled() && commands->zoom()->isEnabled());
        commands->zoom()->trigger();
        QTRY_VERIFY(window.isMaximized());
        commands->zoom()->trigger();
        QTRY_VERIFY(!window.isMaximized());
        QTest::keyClick(&window, Qt::Key_M, Qt::ControlModifier);
        QTRY_VERIFY(window.isMinimized());
    }

    // Ctrl+Page Up and Ctrl+Page Down go round the tabs.
    void windowMenuSwitchesTabs_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("to");
        QTest::newRow("next") << 0 << int(Qt::Key_PageDown) << 1;
        QTest::newRow("next after the last") << 2 << int(Qt::Key_PageDown) << 0;
        QTest::newRow("previous") << 2 << int(Qt::Key_PageUp) << 1;
        QTest::newRow("previous before the first") << 0 << int(Qt::Key_PageUp) << 2;
    }
    void windowMenuSwitchesTabs()
    {
        QFETCH(int, from);
        QFETCH(int, key);
        TestLibrary library;
        AtlasImage *knee = library.image(QStringLiteral("knee"));
        WindowHarness harness(library);
        MainWindow &window = harness.window;
        WindowCommands *commands = window.windowCommands();
        QVERIFY(!commands->nextTab()->isEnabled() && !commands->previousTab()->isEnabled());
        window.openTab(MainWindowState::makeDefault())->model().openImage(knee);
        window.openTab(MainWindowState::makeDefault());
        QVERIFY(commands->nextTab()->isEnabled() && commands->previousTab()->isEnabled());
        window.tabbingView()->setCurrentTab(window.tabs().at(from));
        // The keys answer wherever the focus is in the window.
        harness.grid().setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), Qt::ControlModifier);
        QFETCH(int, to);
        QCOMPARE(window.currentTab(), window.tabs().at(to));
        // The menu lists the tabs by title, the current one checked.
        QCOMPARE(texts(commands->windowMenu()->actions()),
                 (QStringList{"Minimize", "Zoom", "", "Show Previous Tab", "Show Next Tab", "", "Library", "knee",
                              "Library"}));
        QCOMPARE(texts(commands->tabItems()), (QStringList{"Library", "knee", "Library"}));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(commands->tabItems().at(i)->isChecked(), i == to);
        // Choosing one makes it current.
        commands->tabItems().at((to + 1) % 3)->trigger();
        QCOMPARE(window.currentTab(), window.tabs().at((to + 1) % 3));
        QVERIFY(commands->tabItems().at((to + 1) % 3)->isChecked());
    }
};

QTEST_MAIN(StandardMenusTest)
#include "tst_standardmenus.moc"
