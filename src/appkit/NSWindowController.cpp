#include "appkit/NSWindowController.h"

#include "platform/UserDefaults.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>

namespace {

const char *const frameAutosaveNameProperty = "veloranFrameAutosaveName";

} // namespace

QString NSWindow::frameAutosaveName(const QWidget &window)
{
    return window.property(frameAutosaveNameProperty).toString();
}

void NSWindow::setFrameAutosaveName(QWidget &window, const QString &name)
{
    window.setProperty(frameAutosaveNameProperty, name);
}

NSWindowController::NSWindowController(QWidget *window, UserDefaults &defaults, QObject *parent)
    : QObject(parent), m_window(window), m_defaults(defaults)
{
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(250);
    connect(&m_saveTimer, &QTimer::timeout, this, &NSWindowController::saveFrame);
    if (m_window)
        m_window->installEventFilter(this);
}

NSWindowController::NSWindowController(QWidget *window, QObject *parent)
    : NSWindowController(window, UserDefaults::standard(), parent)
{
}

NSWindowController::~NSWindowController()
{
    if (m_saveTimer.isActive())
        saveFrame();
    delete m_window;
}

void NSWindowController::showWindow()
{
    if (!m_window)
        return;
    if (!m_loaded) {
        m_loaded = true;
        windowDidLoad();
    }
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

void NSWindowController::setWindowFrameAutosaveName(const QString &name)
{
    m_saveTimer.stop();
    m_autosaveName = name;
    if (name.isEmpty() || !m_window)
        return;
    if (const auto frame = m_defaults.dataForKey(frameDefaultsKey(name)))
        m_window->restoreGeometry(*frame);
}

QString NSWindowController::frameDefaultsKey(const QString &name)
{
    return QStringLiteral("Window Frame ") + name;
}

bool NSWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && !m_autosaveName.isEmpty()) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            if (m_window->isVisible())
                m_saveTimer.start();
            break;
        case QEvent::Hide:
            saveFrame();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void NSWindowController::saveFrame()
{
    m_saveTimer.stop();
    if (m_window && !m_autosaveName.isEmpty())
        m_defaults.setData(m_window->saveGeometry(), frameDefaultsKey(m_autosaveName));
}

std::optional<QRect> NSWindowController::mainScreenFrame(const QList<QRect> &screens, int xInset, int yInset)
{
    if (screens.size() < 2)
        return std::nullopt;
    return screens.first().adjusted(xInset, yInset, -xInset, -yInset);
}

void NSWindowController::moveWindowToMainScreen(QWidget &window, int xInset, int yInset)
{
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens.append(screen->geometry());
    if (const auto frame = mainScreenFrame(screens, xInset, yInset))
        window.setGeometry(*frame);
}
