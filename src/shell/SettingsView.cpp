#include "shell/SettingsView.h"

#include "shell/LibrarySettingsView.h"
#include "shell/SyncSettingsModel.h"
#include "shell/SyncSettingsView.h"
#include "ui/SystemSymbol.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QPointer<SettingsView> &openWindow()
{
    static QPointer<SettingsView> window;
    return window;
}

} // namespace

SettingsView::SettingsView(ModelContext &context, UserDefaults &defaults, CloudAccountService &accounts,
                           QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Settings"));
    setMinimumSize(minimumWindowSize());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    m_tabs->setStyleSheet(QStringLiteral("QTabWidget::tab-bar { alignment: center; }"));
    m_library = new LibrarySettingsView(context, m_tabs);
    m_sync = new SyncSettingsView(defaults, accounts, m_tabs);
    m_tabs->addTab(m_library, SystemSymbol::icon(QStringLiteral("photo.stack")), QStringLiteral("Library"));
    m_tabs->addTab(m_sync, SystemSymbol::icon(QStringLiteral("icloud")), QStringLiteral("iCloud"));
    layout->addWidget(m_tabs);
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
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

SettingsView *SettingsView::current()
{
    return openWindow();
}
