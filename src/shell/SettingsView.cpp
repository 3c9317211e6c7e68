#include "shell/SettingsView.h"

#include "appkit/NSApplication.h"
#include "appkit/NSWindowController.h"
#include "platform/UserDefaults.h"
#include "shell/LibrarySettingsView.h"
#include "shell/SyncSettingsModel.h"
#include "shell/SyncSettingsView.h"
#include "ui/SystemSymbol.h"

#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QPointer>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

QPointer<SettingsView> &openWindow()
{
    static QPointer<SettingsView> window;
    return window;
}

// The user-defaults key of the frame where the user left the window.
QString frameKey()
{
    return NSWindowController::frameDefaultsKey(QStringLiteral("Settings"));
}

} // namespace

SettingsView::SettingsView(ModelContext &context, UserDefaults &defaults, CloudAccountService &accounts,
                           QWidget *parent)
    : QWidget(parent, Qt::Window), m_defaults(defaults)
{
    setWindowTitle(QStringLiteral("Settings"));
    setMinimumSize(minimumWindowSize());
    NSWindow::addCloseKeys(*this);
    // The tabs centred above the pages, as settings windows show them.
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(0);
    auto *tabRow = new QHBoxLayout;
    m_tabs = new QTabBar(this);
    m_tabs->setDrawBase(false);
    m_tabs->setExpanding(false);
    tabRow->addStretch(1);
    tabRow->addWidget(m_tabs);
    tabRow->addStretch(1);
    layout->addLayout(tabRow);
    auto *divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    layout->addWidget(divider);
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_pages, 1);

    m_library = new LibrarySettingsView(context, m_pages);
    m_sync = new SyncSettingsView(defaults, accounts, m_pages);
    m_tabs->addTab(SystemSymbol::icon(QStringLiteral("photo.stack")), QStringLiteral("Library"));
    m_pages->addWidget(m_library);
    m_tabs->addTab(SystemSymbol::icon(QStringLiteral("icloud")), QStringLiteral("iCloud"));
    m_pages->addWidget(m_sync);
    connect(m_tabs, &QTabBar::currentChanged, m_pages, &QStackedWidget::setCurrentIndex);
    connect(&m_sync->model(), &SyncSettingsModel::quitRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);
    resize(minimumWindowSize().expandedTo(sizeHint()));
}

SettingsView::~SettingsView() = default;

SettingsView *SettingsView::present(ModelContext &context, UserDefaults &defaults, CloudAccountService &accounts)
{
    QPointer<SettingsView> &window = openWindow();
    if (!window) {
        window = new SettingsView(context, defaults, accounts);
        window->setAttribute(Qt::WA_DeleteOnClose);
        // Not left behind after the library it shows.
        connect(qApp, &QCoreApplication::aboutToQuit, window, [view = window.data()] { delete view; });
        // The first one opens over the window the user works in; later ones
        // where the user left the last.
        const std::optional<QByteArray> frame = defaults.dataForKey(frameKey());
        if (!frame || !window->restoreGeometry(*frame))
            NSWindow::centre(*window, NSApplication::mainWindow(), NSWindow::Placement::overWindow);
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void SettingsView::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_defaults.setData(saveGeometry(), frameKey());
}

SettingsView *SettingsView::current()
{
    return openWindow();
}
