#pragma once

#include "shell/WindowTabRestorationCoordinator.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidget>

class QStackedWidget;
class QTabBar;

// The tabs of one desktop window, in place of the desktop's window tabbing:
// a tab bar, shown while there are two tabs or more (or, when asked, with
// one), over the current tab. Each tab is one of the application's windows, titled with its window
// title; the user moves tabs by dragging them and closes them with their
// close buttons. The tabs of every tabbing view, view after view in the
// order the views were made, make up the application's window list.
class WindowTabbingView : public QWidget {
    Q_OBJECT
public:
    // Windows whose tabbing identifier is `tabbingIdentifier` join this view.
    explicit WindowTabbingView(const QString &tabbingIdentifier, QWidget *parent = nullptr);
    ~WindowTabbingView() override;

    QString tabbingIdentifier() const { return m_tabbingIdentifier; }

    // The tabs, in order.
    QList<QWidget *> tabs() const { return m_tabs; }
    qsizetype count() const { return m_tabs.size(); }
    QWidget *currentTab() const;
    void setCurrentTab(QWidget *tab);
    // Adds `window` as the last tab and makes it the current one.
    void addTab(QWidget *window);
    // Takes the tab out (the caller deletes it); the next tab, else the
    // previous one, becomes current.
    void removeTab(QWidget *window);

    QTabBar *tabBar() const { return m_tabBar; }
    // Whether the tab bar shows: from two tabs on always, with one tab as
    // set; it starts hidden.
    bool showsTabBar() const;
    void setShowsTabBar(bool shows);

    // The application's window list.
    static QList<WindowTabRestorationCoordinator::ListedWindow> listedWindows();

signals:
    void currentTabChanged(QWidget *tab);
    // A tab came, went, moved or changed its title.
    void tabsChanged();
    // A tab's close button.
    void tabCloseRequested(QWidget *tab);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showCurrentTab(int index);
    void tabsDidChange();

    QString m_tabbingIdentifier;
    QTabBar *m_tabBar = nullptr;
    QStackedWidget *m_pages = nullptr;
    QList<QWidget *> m_tabs; // in the tab bar's order
    QPointer<QWidget> m_shownTab;
    bool m_showsTabBarAlone = false;
};
