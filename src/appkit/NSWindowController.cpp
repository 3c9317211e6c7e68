#include "appkit/NSWindowController.h"

#include "platform/UserDefaults.h"

#include <QAction>
#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>

#include <algorithm>

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

QRect NSWindow::centredFrame(const QSize &size, const QRect &target, const QRect &available)
{
    QRect frame(QPoint(), size.boundedTo(available.size()));
    frame.moveCenter(target.center());
    frame.moveLeft(std::clamp(frame.left(), available.left(), available.right() + 1 - frame.width()));
    frame.moveTop(std::clamp(frame.top(), available.top(), available.bottom() + 1 - frame.height()));
    return frame;
}

void NSWindow::addCloseKeys(QWidget &window)
{
    auto *close = new QAction(QObject::tr("Close Window"), &window);
    close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::CTRL | Qt::Key_W)});
    close->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(close, &QAction::triggered, &window, &QWidget::close);
    window.addAction(close);
}

void NSWindow::centre(QWidget &window, const QWidget *reference, Placement placement)
{
    const QScreen *screen = nullptr;
    if (reference) {
        screen = QGuiApplication::screenAt(reference->frameGeometry().center());
        if (!screen)
            screen = reference->screen();
    }
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The window system's frame around the window; before the window is
    // first shown, the reference window's frame is the best guess of it.
    const QWidget *framed = window.isVisible() || !reference ? &window : reference;
    const QRect outer = framed->frameGeometry();
    const QRect inner = framed->geometry();
    const QMargins margins(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                           outer.bottom() - inner.bottom());

    const QRect available = screen->availableGeometry();
    const QRect target = reference && placement == Placement::overWindow ? reference->frameGeometry() : available;
    const QRect frame = centredFrame(window.size().grownBy(margins), target, available);
    const QSize size = frame.size().shrunkBy(margins);
    if (size != window.size())
        window.resize(size.expandedTo(window.minimumSize()));
    window.move(frame.topLeft());
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
