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
// "mainWindowStates" when the application terminates and after any window
// closes, main or not (a tab, the Settings or About window, a window never
// registered): what the main windows show is then kept should the process
// end without terminating. The first registration of a run loads the saved
// list: the registering window takes over its first state, and the rest
// open one after another, each on the next turn of the event loop after the
// previous new window has registered.
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

    static inline const QString defaultsKey = QStringLiteral("mainWindowStates");

    // The application's: over the standard user defaults and the tabs of
    // every window tabbing view, saving when the application quits. Made on
    // first use, after the application object.
    static WindowTabRestorationCoordinator &shared();

    // `defaults` must outlive the coordinator.
    WindowTabRestorationCoordinator(UserDefaults &defaults, WindowList windowList, QObject *parent = nullptr);

    // Saves when the application's last window has closed or it is about to
    // quit, whichever comes first, while its windows still exist; and, as
    // windowWillClose() says, after any of its windows closes.
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
    // open). Nothing before the first registration.
    void saveStates();
    // The stored list; empty when there is none or it doesn't decode.
    QList<MainWindowState> loadStates() const;

    // The application terminates: saves at once, and ignores the windows
    // that close from then on. Only the first call counts: by a later one
    // the windows may be gone.
    void applicationWillTerminate();
    // A window closes: unless terminating, saves on the next turn of the
    // event loop, when the closed window has left the window list (windows
    // that close in the same turn share that save).
    void windowWillClose();

    QList<MainWindowState> statesToRestore() const { return m_statesToRestore; }

protected:
    // The observed application's windows closing (popups and tool tips
    // aside).
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    UserDefaults &m_defaults;
    WindowList m_windowList;
    QList<QPointer<QObject>> m_registeredWindows;
    QHash<const QObject *, StateBinding> m_windowStates;
    bool m_didScheduleRestoration = false;
    bool m_isTerminating = false;
    QList<MainWindowState> m_statesToRestore;
    std::optional<QString> m_tabbingIdentifier;
    bool m_saveQueued = false;
};
