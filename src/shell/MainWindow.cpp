#include "shell/MainWindow.h"

#include "browser/ThumbnailCache.h"
#include "platform/UserDefaults.h"
#include "shell/AppState.h"
#include "shell/ApplicationMenu.h"
#include "shell/ContentView.h"
#include "shell/ContentViewModel.h"
#include "shell/SettingsView.h"

#include <QAction>
#include <QMenuBar>

MainWindow::MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state, QWidget *parent)
    : MainWindow(context, appState, state, UserDefaults::standard(), ThumbnailCache::shared(), parent)
{
}

MainWindow::MainWindow(ModelContext &context, AppState &appState, const MainWindowState &state,
                       UserDefaults &defaults, ThumbnailCache &cache, QWidget *parent)
    : QMainWindow(parent)
    , m_state(state)
    , m_model(std::make_unique<ContentViewModel>(context, appState))
{
    setWindowTitle(QStringLiteral("Veloran"));
    m_model->setSelectedImageID(state.selectedImageID);
    connect(m_model.get(), &ContentViewModel::selectedImageIDChanged, this,
            [this](const QString &text) { m_state.selectedImageID = text; });

    m_content = new ContentView(*m_model, defaults, cache, this);
    setCentralWidget(m_content);
    m_settingsCommand = new QAction(QStringLiteral("Settings…"), this);
    m_settingsCommand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settingsCommand->setMenuRole(QAction::PreferencesRole);
    connect(m_settingsCommand, &QAction::triggered, this, [&context, &defaults, &appState] {
        SettingsView::present(context, defaults, appState.accountService());
    });
    ApplicationMenu::install(menuBar(), {m_settingsCommand});
    setMinimumSize(minimumSizeHint().expandedTo(ContentView::minimumContentSize()));
    resize(1200, 760);
}

MainWindow::~MainWindow()
{
    // The view and its presentations call into the model: they go first.
    delete m_content;
}
