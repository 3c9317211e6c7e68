#include "shell/WindowTabbingConfigurator.h"

#include "shell/WindowTabbingView.h"

WindowTabbingConfigurator::WindowTabbingConfigurator(WindowTabbingView &view,
                                                     WindowTabRestorationCoordinator *coordinator,
                                                     WindowTabRestorationCoordinator::OpenWindow openWindow)
    : m_view(view)
    , m_coordinator(coordinator)
    , m_openWindow(std::move(openWindow))
{
}

void WindowTabbingConfigurator::join(QWidget *window, const WindowTabRestorationCoordinator::StateBinding &state) const
{
    m_view.addTab(window);
    if (m_coordinator)
        m_coordinator->registerWindow(window, m_view.tabbingIdentifier(), state, m_openWindow);
}
