#pragma once

#include "shell/MainWindowState.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

class QGuiApplication;
class UserDefaults;

// Keeps the main windows across launches. Every main window registers here
// with its tabbing identifier, its state and a way to open further main
// windows. The states of the open main windows, in the order of the
// application's window list, are written to the user default
// "mainWindowStates" when the application terminates and after any main
// window closes. The first registration of a run loads the saved list: the
// registering window takes over its first state, and the rest open one after
// another, each on the next turn of the event loop after the previous new
// window has registered.
//
// With each save the identifier of the current window (the current tab of
// the window the user works in) goes to "currentMainWindowID", so that the
// window current at quit can be made current again once it has reopened.
//
// A list that can't be decoded counts as none (it stays stored until the
// next save replaces it). Main thread only.
class WindowTabRestorationCoordinator : public QObject {
    Q_OBJECT
public:
    // A window's state as the coordinator reads and writes it.
    struct StateBinding {
        std::function<MainWindowState()> get;
        std::function<void(const MainWindowState &)> set;
    };
    // Opens a main window presenting the state.
    using OpenWindow = std::function<void(const MainWindowState &)>;
    // One window of the application's window list, with its tabbing identifier.
    struct ListedWindow {
        QObject *window = nullptr;
        QString tabbingIdentifier;
    };
    using WindowList = std::function<QList<ListedWindow>()>;
    // The window the user works in, or null.
    using CurrentWindow = std::function<QObject *()>;

    static inline const QString defaultsKey = QStringLiteral("mainWindowStates");
    static inline const QString currentWindowKey = QStringLiteral("currentMainWindowID");

    // The application's: over the standard user defaults and the tabs of
    // every window tabbing view, saving when the application quits. Made on
    // first use, after the application object.
    static WindowTabRestorationCoordinator &shared();

    // `defaults` must outlive the coordinator. Without `currentWindow` no
    // current window is saved.
    WindowTabRestorationCoordinator(UserDefaults &defaults, WindowList windowList, CurrentWindow currentWindow = {},
                                    QObject *parent = nullptr);

    // Saves when the application's last window has closed or it is about to
    // quit, whichever comes first, while its windows still exist.
    void observeApplication(QGuiApplication &application);

    // A main window joins. A window that is registered already changes
    // nothing. A later registration saves the windows open so far; the
    // first loads the saved list as described above. Either way the next
    // saved state, if one waits, is opened through `openWindow`. The
    // window is forgotten when it is destroyed.
    void registerWindow(QObject *window, const QString &tabbingIdentifier, const StateBinding &state,
                        const OpenWindow &openWindow);
    // Opens the next waiting state on the next turn of the event loop.
    void openNextPendingWindow(const OpenWindow &openWindow);
    // Writes the states of the registered windows of the main windows'
    // tabbing identifier, in window-list order (an empty list when none is
    // open), and the current one's identifier (removed when the current
    // window is none of them). Nothing before the first registration.
    void saveStates();
    // The stored list; empty when there is none or it doesn't decode.
    QList<MainWindowState> loadStates() const;

    // The application terminates: saves at once, and ignores the windows
    // that close from then on. Only the first call counts: by a later one
    // the windows may be gone.
    void applicationWillTerminate();
    // A window closed: unless terminating, saves on the next turn of the
    // event loop, when the closed window has left the window list.
    void windowWillClose();

    QList<MainWindowState> statesToRestore() const { return m_statesToRestore; }
    // The identifier of the window that was current when the list loaded by
    // the first registration was saved; none when it names none of its states.
    std::optional<QUuid> windowToSelect() const { return m_windowToSelect; }

private:
    UserDefaults &m_defaults;
    WindowList m_windowList;
    CurrentWindow m_currentWindow;
    QList<QPointer<QObject>> m_registeredWindows;
    QHash<const QObject *, StateBinding> m_windowStates;
    bool m_didScheduleRestoration = false;
    bool m_isTerminating = false;
    QList<MainWindowState> m_statesToRestore;
    std::optional<QString> m_tabbingIdentifier;
    std::optional<QUuid> m_windowToSelect;
};
