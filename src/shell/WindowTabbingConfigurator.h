#pragma once

#include "shell/WindowTabRestorationCoordinator.h"

#include <QString>

class QWidget;
class WindowTabbingView;

// Joins main windows to the window tabbing: each becomes a tab of the
// desktop window's tabbing view and registers with the restoration
// coordinator, when there is one, with its state and with `openWindow`,
// through which the coordinator opens the other saved windows.
class WindowTabbingConfigurator {
public:
    // The tabbing identifier of the main windows.
    static inline const QString mainTabbingIdentifier = QStringLiteral("app.veloran.Veloran.main");

    // The view and the coordinator must outlive the configurator.
    WindowTabbingConfigurator(WindowTabbingView &view, WindowTabRestorationCoordinator *coordinator,
                              WindowTabRestorationCoordinator::OpenWindow openWindow);

    void join(QWidget *window, const WindowTabRestorationCoordinator::StateBinding &state) const;

    WindowTabRestorationCoordinator *coordinator() const { return m_coordinator; }

private:
    WindowTabbingView &m_view;
    WindowTabRestorationCoordinator *m_coordinator;
    WindowTabRestorationCoordinator::OpenWindow m_openWindow;
};
