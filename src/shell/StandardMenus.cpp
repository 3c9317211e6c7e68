#include "shell/StandardMenus.h"

#include "shell/WindowTabbingView.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>

namespace {

QAction *command(QObject *parent, const QString &title, const QKeySequence &keys = {})
{
    auto *action = new QAction(title, parent);
    if (!keys.isEmpty()) {
        action->setShortcut(keys);
        // Shown, not claimed: the field answers the key itself.
        action->setShortcutContext(Qt::WidgetShortcut);
    }
    return action;
}

bool clipboardHasText()
{
    const QMimeData *data = QGuiApplication::clipboard()->mimeData();
    return data && data->hasText() && !data->text().isEmpty();
}

} // namespace

EditCommands::EditCommands(QWidget &window)
    : QObject(&window)
    , m_window(window)
{
    m_undo = command(this, QStringLiteral("Undo"), QKeySequence::Undo);
    m_redo = command(this, QStringLiteral("Redo"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    m_cut = command(this, QStringLiteral("Cut"), QKeySequence::Cut);
    m_copy = command(this, QStringLiteral("Copy"), QKeySequence::Copy);
    m_paste = command(this, QStringLiteral("Paste"), QKeySequence::Paste);
    m_delete = command(this, QStringLiteral("Delete"));
    m_selectAll = command(this, QStringLiteral("Select All"), QKeySequence::SelectAll);

    const auto onTarget = [this](void (QLineEdit::*edit)()) {
        return [this, edit] {
            if (QLineEdit *field = target())
                (field->*edit)();
            update();
        };
    };
    connect(m_undo, &QAction::triggered, this, onTarget(&QLineEdit::undo));
    connect(m_redo, &QAction::triggered, this, onTarget(&QLineEdit::redo));
    connect(m_cut, &QAction::triggered, this, onTarget(&QLineEdit::cut));
    connect(m_copy, &QAction::triggered, this, [this] {
        if (QLineEdit *field = target())
            field->copy();
    });
    connect(m_paste, &QAction::triggered, this, onTarget(&QLineEdit::paste));
    connect(m_selectAll, &QAction::triggered, this, onTarget(&QLineEdit::selectAll));
    connect(m_delete, &QAction::triggered, this, [this] {
        // The selection only, not the character after the cursor.
        if (QLineEdit *field = target(); field && field->hasSelectedText())
            field->del();
        update();
    });

    connect(qApp, &QApplication::focusChanged, this, &EditCommands::followWindow);
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &EditCommands::update);
    followWindow();
}

QMenu *EditCommands::install(QMenuBar *menuBar)
{
    QMenu *menu = menuBar->addMenu(QStringLiteral("Edit"));
    menu->addActions({m_undo, m_redo});
    menu->addSeparator();
    menu->addActions({m_cut, m_copy, m_paste, m_delete, m_selectAll});
    connect(menu, &QMenu::aboutToShow, this, &EditCommands::followWindow);
    return menu;
}

QLineEdit *EditCommands::target() const
{
    return qobject_cast<QLineEdit *>(m_target.data());
}

void EditCommands::followWindow()
{
    // The window keeps its focus widget while a menu or another window has the focus.
    follow(qobject_cast<QLineEdit *>(m_window.focusWidget()));
}

void EditCommands::follow(QLineEdit *field)
{
    if (m_target.data() != static_cast<QWidget *>(field)) {
        if (m_target)
            disconnect(m_target.data(), nullptr, this, nullptr);
        m_target = field;
        if (field) {
            connect(field, &QLineEdit::textChanged, this, &EditCommands::update);
            connect(field, &QLineEdit::selectionChanged, this, &EditCommands::update);
            connect(field, &QObject::destroyed, this, [this] { follow(nullptr); });
        }
    }
    update();
}

void EditCommands::update()
{
    QLineEdit *field = target();
    const bool editable = field && !field->isReadOnly();
    const bool selection = field && field->hasSelectedText();
    // A password's characters are not to be taken out of its field.
    const bool readable = field && field->echoMode() == QLineEdit::Normal;
    m_undo->setEnabled(editable && field->isUndoAvailable());
    m_redo->setEnabled(editable && field->isRedoAvailable());
    m_cut->setEnabled(editable && selection && readable);
    m_copy->setEnabled(selection && readable);
    m_paste->setEnabled(editable && clipboardHasText());
    m_delete->setEnabled(editable && selection);
    m_selectAll->setEnabled(field && !field->text().isEmpty());
}

WindowCommands::WindowCommands(QMainWindow &window, WindowTabbingView &tabbing)
    : QObject(&window)
    , m_window(window)
    , m_tabbing(tabbing)
{
    m_toggleTabBar = new QAction(this);
    connect(m_toggleTabBar, &QAction::triggered, this, [this] {
        m_tabbing.setShowsTabBar(!m_tabbing.showsTabBar());
        update();
    });
    m_toggleFullScreen = new QAction(this);
    m_toggleFullScreen->setShortcut(QKeySequence(Qt::Key_F11));
    connect(m_toggleFullScreen, &QAction::triggered, this,
            [this] { m_window.setWindowState(m_window.windowState() ^ Qt::WindowFullScreen); });

    m_minimize = new QAction(QStringLiteral("Minimize"), this);
    m_minimize->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    connect(m_minimize, &QAction::triggered, this, [this] { m_window.showMinimized(); });
    m_zoom = new QAction(QStringLiteral("Zoom"), this);
    connect(m_zoom, &QAction::triggered, this,
            [this] { m_window.setWindowState(m_window.windowState() ^ Qt::WindowMaximized); });
    m_previousTab = new QAction(QStringLiteral("Show Previous Tab"), this);
    m_previousTab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    connect(m_previousTab, &QAction::triggered, this, [this] { showTab(-1); });
    m_nextTab = new QAction(QStringLiteral("Show Next Tab"), this);
    m_nextTab->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    connect(m_nextTab, &QAction::triggered, this, [this] { showTab(+1); });
    m_tabGroup = new QActionGroup(this);

    connect(&m_tabbing, &WindowTabbingView::tabsChanged, this, &WindowCommands::update);
    connect(&m_tabbing, &WindowTabbingView::currentTabChanged, this, &WindowCommands::update);
    m_window.installEventFilter(this);
    update();
}

void WindowCommands::install(QMenuBar *menuBar)
{
    QMenu *view = menuBar->addMenu(QStringLiteral("View"));
    view->addAction(m_toggleTabBar);
    view->addSeparator();
    view->addAction(m_toggleFullScreen);
    m_windowMenu = menuBar->addMenu(QStringLiteral("Window"));
    m_windowMenu->addActions({m_minimize, m_zoom});
    m_windowMenu->addSeparator();
    m_windowMenu->addActions({m_previousTab, m_nextTab});
    m_windowMenu->addSeparator();
    listTabs();
}

QList<QAction *> WindowCommands::tabItems() const
{
    return m_tabGroup->actions();
}

void WindowCommands::update()
{
    const bool fullScreen = m_window.windowState().testFlag(Qt::WindowFullScreen);
    m_toggleTabBar->setText(m_tabbing.showsTabBar() ? QStringLiteral("Hide Tab Bar") : QStringLiteral("Show Tab Bar"));
    m_toggleTabBar->setEnabled(m_tabbing.count() < 2);
    m_toggleFullScreen->setText(fullScreen ? QStringLiteral("Exit Full Screen") : QStringLiteral("Enter Full Screen"));
    m_minimize->setEnabled(!fullScreen);
    m_zoom->setEnabled(!fullScreen);
    m_previousTab->setEnabled(m_tabbing.count() > 1);
    m_nextTab->setEnabled(m_tabbing.count() > 1);
    listTabs();
}

void WindowCommands::listTabs()
{
    // Later: the item triggered may be the one that changed the tabs.
    for (QAction *item : m_tabGroup->actions()) {
        m_tabGroup->removeAction(item);
        if (m_windowMenu)
            m_windowMenu->removeAction(item);
        item->deleteLater();
    }
    if (!m_windowMenu)
        return;
    for (QWidget *tab : m_tabbing.tabs()) {
        auto *item = new QAction(tab->windowTitle(), m_tabGroup);
        item->setCheckable(true);
        item->setChecked(tab == m_tabbing.currentTab());
        const QPointer<QWidget> target = tab;
        connect(item, &QAction::triggered, this, [this, target] {
            if (target)
                m_tabbing.setCurrentTab(target);
        });
        m_windowMenu->addAction(item);
    }
}

void WindowCommands::showTab(int offset)
{
    const QList<QWidget *> tabs = m_tabbing.tabs();
    if (tabs.size() < 2)
        return;
    const qsizetype current = tabs.indexOf(m_tabbing.currentTab());
    const qsizetype next = (current + offset + tabs.size()) % tabs.size();
    m_tabbing.setCurrentTab(tabs.at(next));
}

bool WindowCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == &m_window && event->type() == QEvent::WindowStateChange)
        update();
    return QObject::eventFilter(watched, event);
}
