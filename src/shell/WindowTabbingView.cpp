#include "shell/WindowTabbingView.h"

#include <QEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Every tabbing view, in the order they were made.
QList<WindowTabbingView *> &allViews()
{
    static QList<WindowTabbingView *> views;
    return views;
}

} // namespace

WindowTabbingView::WindowTabbingView(const QString &tabbingIdentifier, QWidget *parent)
    : QWidget(parent)
    , m_tabbingIdentifier(tabbingIdentifier)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabBar = new QTabBar(this);
    m_tabBar->setVisible(false);
    m_tabBar->setDocumentMode(true);
    m_tabBar->setExpanding(true);
    m_tabBar->setTabsClosable(true);
    m_tabBar->setMovable(true);
    m_tabBar->setElideMode(Qt::ElideRight);
    m_tabBar->setFocusPolicy(Qt::NoFocus);
    m_pages = new QStackedWidget(this);
    layout->addWidget(m_tabBar);
    layout->addWidget(m_pages, 1);

    connect(m_tabBar, &QTabBar::currentChanged, this, &WindowTabbingView::showCurrentTab);
    connect(m_tabBar, &QTabBar::tabMoved, this, [this](int from, int to) {
        m_tabs.move(from, to);
        tabsDidChange();
    });
    connect(m_tabBar, &QTabBar::tabCloseRequested, this, [this](int index) {
        if (QWidget *tab = m_tabs.value(index))
            emit tabCloseRequested(tab);
    });
    allViews().append(this);
}

WindowTabbingView::~WindowTabbingView()
{
    allViews().removeOne(this);
    // The tabs go with the view's children, after its members.
    for (QWidget *tab : std::as_const(m_tabs))
        disconnect(tab, nullptr, this, nullptr);
}

QWidget *WindowTabbingView::currentTab() const
{
    return m_tabs.value(m_tabBar->currentIndex());
}

void WindowTabbingView::setCurrentTab(QWidget *tab)
{
    const qsizetype index = m_tabs.indexOf(tab);
    if (index >= 0)
        m_tabBar->setCurrentIndex(int(index));
}

void WindowTabbingView::addTab(QWidget *window)
{
    if (!window || m_tabs.contains(window))
        return;
    m_pages->addWidget(window);
    m_tabs.append(window);
    window->installEventFilter(this);
    // A tab deleted while it is in the view leaves it.
    connect(window, &QObject::destroyed, this, [this](QObject *gone) {
        const auto found = std::find_if(m_tabs.cbegin(), m_tabs.cend(),
                                        [gone](const QWidget *tab) { return static_cast<const QObject *>(tab) == gone; });
        if (found == m_tabs.cend())
            return;
        const qsizetype index = found - m_tabs.cbegin();
        m_tabs.removeAt(index);
        m_tabBar->removeTab(int(index));
        tabsDidChange();
    });
    const int index = m_tabBar->addTab(window->windowTitle());
    m_tabBar->setCurrentIndex(index);
    // The first tab is current as soon as it is added.
    showCurrentTab(index);
    tabsDidChange();
}

void WindowTabbingView::removeTab(QWidget *window)
{
    const qsizetype index = m_tabs.indexOf(window);
    if (index < 0)
        return;
    window->removeEventFilter(this);
    disconnect(window, nullptr, this, nullptr);
    m_tabs.removeAt(index);
    m_pages->removeWidget(window); // hides it
    // QTabBar makes the next tab current (else the previous one).
    m_tabBar->removeTab(int(index));
    tabsDidChange();
}

bool WindowTabbingView::showsTabBar() const
{
    return m_tabs.size() > 1 || m_showsTabBarAlone;
}

void WindowTabbingView::setShowsTabBar(bool shows)
{
    m_showsTabBarAlone = shows;
    tabsDidChange();
}

void WindowTabbingView::tabsDidChange()
{
    m_tabBar->setVisible(showsTabBar());
    emit tabsChanged();
}

void WindowTabbingView::showCurrentTab(int index)
{
    QWidget *tab = m_tabs.value(index);
    // The pages may have moved on by themselves when a tab was taken out.
    if (!tab || m_shownTab == tab)
        return;
    m_shownTab = tab;
    m_pages->setCurrentWidget(tab);
    emit currentTabChanged(tab);
}

bool WindowTabbingView::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::WindowTitleChange) {
        const qsizetype index = m_tabs.indexOf(static_cast<QWidget *>(watched));
        if (index >= 0) {
            m_tabBar->setTabText(int(index), m_tabs.at(index)->windowTitle());
            emit tabsChanged();
        }
    }
    return QWidget::eventFilter(watched, event);
}

QList<WindowTabRestorationCoordinator::ListedWindow> WindowTabbingView::listedWindows()
{
    QList<WindowTabRestorationCoordinator::ListedWindow> windows;
    for (const WindowTabbingView *view : std::as_const(allViews())) {
        for (QWidget *tab : view->m_tabs)
            windows.append({tab, view->m_tabbingIdentifier});
    }
    return windows;
}
