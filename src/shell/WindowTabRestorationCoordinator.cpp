#include "shell/WindowTabRestorationCoordinator.h"

#include "platform/UserDefaults.h"
#include "shell/WindowTabbingView.h"

#include <QEvent>
#include <QGuiApplication>
#include <QWidget>

#include <utility>

WindowTabRestorationCoordinator &WindowTabRestorationCoordinator::shared()
{
    // Deliberately never destroyed: it saves while the application quits.
    static WindowTabRestorationCoordinator *const instance = [] {
        auto *coordinator =
            new WindowTabRestorationCoordinator(UserDefaults::standard(), &WindowTabbingView::listedWindows);
        if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            coordinator->observeApplication(*application);
        return coordinator;
    }();
    return *instance;
}

WindowTabRestorationCoordinator::WindowTabRestorationCoordinator(UserDefaults &defaults, WindowList windowList,
                                                                 QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_windowList(std::move(windowList))
{
}

void WindowTabRestorationCoordinator::observeApplication(QGuiApplication &application)
{
    connect(&application, &QGuiApplication::lastWindowClosed, this,
            &WindowTabRestorationCoordinator::applicationWillTerminate);
    connect(&application, &QCoreApplication::aboutToQuit, this,
            &WindowTabRestorationCoordinator::applicationWillTerminate);
    application.installEventFilter(this);
}

bool WindowTabRestorationCoordinator::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Close && watched->isWidgetType()) {
        const auto *widget = static_cast<const QWidget *>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen)
            windowWillClose();
    }
    return QObject::eventFilter(watched, event);
}

void WindowTabRestorationCoordinator::registerWindow(QObject *window, const QString &tabbingIdentifier,
                                                     const StateBinding &state, const OpenWindow &openWindow)
{
    if (!window || m_registeredWindows.contains(window))
        return;
    m_registeredWindows.removeAll(nullptr);
    m_registeredWindows.append(window);
    m_windowStates.insert(window, state);
    // Its binding reads the window: it goes with it.
    connect(window, &QObject::destroyed, this, [this](QObject *gone) { m_windowStates.remove(gone); });
    m_tabbingIdentifier = tabbingIdentifier;

    if (m_didScheduleRestoration) {
        saveStates();
    } else {
        m_didScheduleRestoration = true;
        QList<MainWindowState> saved = loadStates();
        if (!saved.isEmpty())
            state.set(saved.takeFirst());
        m_statesToRestore = saved;
    }
    openNextPendingWindow(openWindow);
}

void WindowTabRestorationCoordinator::openNextPendingWindow(const OpenWindow &openWindow)
{
    if (m_statesToRestore.isEmpty())
        return;
    const MainWindowState next = m_statesToRestore.takeFirst();
    QMetaObject::invokeMethod(this, [openWindow, next] { openWindow(next); }, Qt::QueuedConnection);
}

void WindowTabRestorationCoordinator::saveStates()
{
    if (!m_tabbingIdentifier)
        return;
    QList<MainWindowState> states;
    for (const ListedWindow &listed : m_windowList()) {
        if (listed.tabbingIdentifier != *m_tabbingIdentifier)
            continue;
        const auto binding = m_windowStates.constFind(listed.window);
        if (binding != m_windowStates.cend())
            states.append(binding->get());
    }
    m_defaults.setData(MainWindowState::encodeList(states), defaultsKey);
}

QList<MainWindowState> WindowTabRestorationCoordinator::loadStates() const
{
    const std::optional<QByteArray> data = m_defaults.dataForKey(defaultsKey);
    if (!data)
        return {};
    const auto states = MainWindowState::decodeList(*data);
    return states ? states.value() : QList<MainWindowState>();
}

void WindowTabRestorationCoordinator::applicationWillTerminate()
{
    if (m_isTerminating)
        return;
    m_isTerminating = true;
    saveStates();
}

void WindowTabRestorationCoordinator::windowWillClose()
{
    if (m_isTerminating || std::exchange(m_saveQueued, true))
        return;
    // Not once termination has begun: its save stands, and the windows may be gone.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_saveQueued = false;
            if (!m_isTerminating)
                saveStates();
        },
        Qt::QueuedConnection);
}
