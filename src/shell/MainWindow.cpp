#include "shell/MainWindow.h"

#include "appkit/NSApplication.h"
#include "browser/ThumbnailCache.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ApplicationMenu.h"
#include "shell/ContentView.h"
#include "shell/ContentViewModel.h"
#include "shell/MainWindowTab.h"
#include "shell/SettingsView.h"
#include "shell/StandardMenus.h"
#include "shell/WindowTabbingView.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QMenuBar>

MainWindow::MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state, QWidget *parent)
    : MainWindow(context, appState, state, UserDefaults::standard(), ThumbnailCache::shared(),
                 &WindowTabRestorationCoordinator::shared(), parent)
{
}

MainWindow::MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state,
                       UserDefaults &defaults, ThumbnailCache &cache, WindowTabRestorationCoordinator *coordinator,
                       QWidget *parent)
    : QMainWindow(parent)
    , m_context(context)
    , m_appState(appState)
    , m_defaults(defaults)
    , m_cache(cache)
{
    m_tabbing = new WindowTabbingView(WindowTabbingConfigurator::mainTabbingIdentifier, this);
    setCentralWidget(m_tabbing);
    m_configurator.emplace(*m_tabbing, coordinator, [this](const MainWindowState &opened) { openTab(opened); });
    connect(m_tabbing, &WindowTabbingView::currentTabChanged, this, &MainWindow::followCurrentTab);
    connect(m_tabbing, &WindowTabbingView::tabCloseRequested, this,
            [this](QWidget *tab) { closeTab(static_cast<MainWindowTab *>(tab)); });

    m_settingsCommand = ApplicationMenu::settingsCommand();
    connect(m_settingsCommand, &QAction::triggered, this, [this, &context, &defaults, &appState] {
        if (NSApplication::mainWindow() == this)
            SettingsView::present(context, defaults, appState.accountService());
    });
    ApplicationMenu::install(menuBar());

    m_newTabCommand = new QAction(QStringLiteral("New Tab"), this);
    m_newTabCommand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_T));
    connect(m_newTabCommand, &QAction::triggered, this, [this] { openTab(MainWindowState::makeDefault()); });
    m_closeTabCommand = new QAction(QStringLiteral("Close Tab"), this);
    m_closeTabCommand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    connect(m_closeTabCommand, &QAction::triggered, this, [this] { closeTab(currentTab()); });
    QMenu *file = menuBar()->addMenu(QStringLiteral("File"));
    file->addAction(m_newTabCommand);
    file->addAction(m_closeTabCommand);
    m_editCommands = new EditCommands(*this);
    m_editCommands->install(menuBar());
    m_windowCommands = new WindowCommands(*this, *m_tabbing);
    m_windowCommands->install(menuBar());

    openTab(state);
    setMinimumSize(minimumSizeHint().expandedTo(ContentView::minimumContentSize()));
    resize(1200, 760);
}

MainWindow::~MainWindow()
{
    // Each tab's view calls into its model while it goes: the tabs go
    // before the rest of the window.
    qDeleteAll(tabs());
}

QList<MainWindowTab *> MainWindow::tabs() const
{
    QList<MainWindowTab *> list;
    for (QWidget *tab : m_tabbing->tabs())
        list.append(static_cast<MainWindowTab *>(tab));
    return list;
}

MainWindowTab *MainWindow::currentTab() const
{
    return static_cast<MainWindowTab *>(m_tabbing->currentTab());
}

const MainWindowState &MainWindow::state() const
{
    return currentTab()->state();
}

ContentViewModel &MainWindow::model() const
{
    return currentTab()->model();
}

ContentView *MainWindow::contentView() const
{
    return currentTab()->contentView();
}

MainWindowTab *MainWindow::openTab(const MainWindowState &state)
{
    auto *tab = new MainWindowTab(m_context, m_appState, state, m_defaults, m_cache, m_tabbing);
    connect(tab, &QWidget::windowTitleChanged, this, &MainWindow::followCurrentTab);
    // A tab's sheets and dialogs show over the tab itself.
    connect(tab->contentView(), &ContentView::aboutToPresent, this, [this, tab] { m_tabbing->setCurrentTab(tab); });
    m_configurator->join(tab, {[tab] { return tab->state(); },
                               [tab](const MainWindowState &saved) { tab->setState(saved); }});
    return tab;
}

void MainWindow::followCurrentTab()
{
    if (MainWindowTab *tab = currentTab())
        setWindowTitle(tab->windowTitle());
}

void MainWindow::closeTab(MainWindowTab *tab)
{
    if (!tab || !m_tabbing->tabs().contains(tab))
        return;
    if (m_tabbing->count() == 1) {
        close();
        return;
    }
    m_tabbing->removeTab(tab);
    if (WindowTabRestorationCoordinator *coordinator = m_configurator->coordinator())
        coordinator->windowWillClose();
    tab->deleteLater();
}

void MainWindow::bringForward()
{
    if (isMinimized())
        showNormal();
    else
        show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // The Settings and About windows don't keep the application running
    // once its library window has closed.
    QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}
