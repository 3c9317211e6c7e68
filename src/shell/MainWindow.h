#pragma once

#include "shell/MainWindowState.h"
#include "shell/WindowTabbingConfigurator.h"

#include <QList>
#include <QMainWindow>

#include <optional>

class AppState;
class EditCommands;
class QAction;
class ContentView;
class ContentViewModel;
class MainWindowTab;
class ModelContext;
class ThumbnailCache;
class UserDefaults;
class WindowCommands;
class WindowTabbingView;

// The desktop window of the library, titled like its current tab, at
// least 1,000 by 600, with the application's menu (ApplicationMenu) and a "File" menu
// with "New Tab" (Ctrl+T) and "Close Tab" (Ctrl+W). It holds the main
// windows as tabs (MainWindowTab), in a WindowTabbingView whose tab bar
// shows from two tabs on; each tab is a full library view with its own
// state. New main windows open as further tabs. Closing the last tab closes
// the window, and closing the window ends the application. A tab comes to
// the front when it presents a sheet or dialog.
//
// With a restoration coordinator, each tab registers with it: the first
// tab may take over a saved state and the other saved tabs then open here,
// each as the new current tab.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // The standard user defaults, the shared thumbnail cache and the
    // application's restoration coordinator. The context and the shared
    // state must outlive the window.
    MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state,
               QWidget *parent = nullptr);
    // Without a coordinator the tabs are neither restored nor saved.
    MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state, UserDefaults &defaults,
               ThumbnailCache &cache, WindowTabRestorationCoordinator *coordinator = nullptr,
               QWidget *parent = nullptr);
    ~MainWindow() override;

    // The current tab's state, model and view.
    const MainWindowState &state() const;
    ContentViewModel &model() const;
    ContentView *contentView() const;

    QList<MainWindowTab *> tabs() const;
    MainWindowTab *currentTab() const;
    WindowTabbingView *tabbingView() const { return m_tabbing; }

    // Opens a main window presenting `state`: a new last tab, made current.
    MainWindowTab *openTab(const MainWindowState &state);
    // Closes the tab; closing the last one closes the window.
    void closeTab(MainWindowTab *tab);
    // Shows the window in front of the others, as a new launch asks.
    void bringForward();

    // "Settings…" (Ctrl+,) of the application menu, shared by every main
    // window: shows the Settings window.
    QAction *settingsCommand() const { return m_settingsCommand; }
    QAction *newTabCommand() const { return m_newTabCommand; }
    QAction *closeTabCommand() const { return m_closeTabCommand; }
    EditCommands *editCommands() const { return m_editCommands; }
    WindowCommands *windowCommands() const { return m_windowCommands; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void followCurrentTab();

    ModelContext &m_context;
    AppState &m_appState;
    UserDefaults &m_defaults;
    ThumbnailCache &m_cache;
    WindowTabbingView *m_tabbing = nullptr;
    std::optional<WindowTabbingConfigurator> m_configurator;
    QAction *m_settingsCommand = nullptr;
    QAction *m_newTabCommand = nullptr;
    QAction *m_closeTabCommand = nullptr;
    EditCommands *m_editCommands = nullptr;
    WindowCommands *m_windowCommands = nullptr;
};
