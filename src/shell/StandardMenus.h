#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

class QAction;
class QActionGroup;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QWidget;
class WindowTabbingView;

// The "Edit" menu that the desktop gives every window: "Undo", "Redo",
// "Cut", "Copy", "Paste", "Delete" and "Select All", acting on the text
// field that has the window's keyboard focus (also while the menu is open)
// and disabled when none can take them
// (no field focused, nothing to undo or redo, no selection to cut, copy or
// delete, a read-only field, nothing on the clipboard to paste). The keys
// shown beside them are the field's own: the commands claim no key, so
// that the other views keep theirs.
class EditCommands : public QObject {
    Q_OBJECT
public:
    // Over the focus of `window`, which owns the commands.
    explicit EditCommands(QWidget &window);

    QMenu *install(QMenuBar *menuBar);

    QAction *undo() const { return m_undo; }
    QAction *redo() const { return m_redo; }
    QAction *cut() const { return m_cut; }
    QAction *copy() const { return m_copy; }
    QAction *paste() const { return m_paste; }
    QAction *deleteSelection() const { return m_delete; }
    QAction *selectAll() const { return m_selectAll; }

    // The focused text field, or null.
    QLineEdit *target() const;
    // Enables the commands after the field and the clipboard as they are now.
    void update();

private:
    void follow(QLineEdit *field);
    void followWindow();

    QWidget &m_window;
    QAction *m_undo = nullptr;
    QAction *m_redo = nullptr;
    QAction *m_cut = nullptr;
    QAction *m_copy = nullptr;
    QAction *m_paste = nullptr;
    QAction *m_delete = nullptr;
    QAction *m_selectAll = nullptr;
    // Held as a widget: a field on its way out is no longer a QLineEdit
    // when its focus moves on, so it is only ever cast with qobject_cast.
    QPointer<QWidget> m_target;
};

// The "View" and "Window" menus that the desktop gives a tabbed window.
// View: "Show Tab Bar" / "Hide Tab Bar" (the bar always shows from two tabs
// on, so the command is then disabled), and "Enter Full Screen" / "Exit
// Full Screen" (F11). Window: "Minimize" (Ctrl+M) and "Zoom" (maximized
// and back), neither in full screen; "Show Previous Tab" (Ctrl+Page Up) and
// "Show Next Tab" (Ctrl+Page Down), round the ends, from two tabs on; then
// one item per tab, titled like it and checked for the current one, which
// makes it current.
class WindowCommands : public QObject {
    Q_OBJECT
public:
    // The window and the view must outlive the commands.
    WindowCommands(QMainWindow &window, WindowTabbingView &tabbing);

    void install(QMenuBar *menuBar);

    QAction *toggleTabBar() const { return m_toggleTabBar; }
    QAction *toggleFullScreen() const { return m_toggleFullScreen; }
    QAction *minimize() const { return m_minimize; }
    QAction *zoom() const { return m_zoom; }
    QAction *previousTab() const { return m_previousTab; }
    QAction *nextTab() const { return m_nextTab; }
    // The items of the tabs, in tab order, as the Window menu lists them now.
    QList<QAction *> tabItems() const;
    QMenu *windowMenu() const { return m_windowMenu; }

    // Texts and enabled states after the window and its tabs as they are now.
    void update();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showTab(int offset);
    void listTabs();

    QMainWindow &m_window;
    WindowTabbingView &m_tabbing;
    QAction *m_toggleTabBar = nullptr;
    QAction *m_toggleFullScreen = nullptr;
    QAction *m_minimize = nullptr;
    QAction *m_zoom = nullptr;
    QAction *m_previousTab = nullptr;
    QAction *m_nextTab = nullptr;
    QMenu *m_windowMenu = nullptr;
    QActionGroup *m_tabGroup = nullptr;
};
