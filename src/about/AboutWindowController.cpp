#include "about/AboutWindowController.h"

#include "about/AboutController.h"
#include "about/AboutDelegate.h"
#include "appkit/NSApplication.h"
#include "appkit/NSWindowController.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

AboutWindowController &AboutWindowController::shared()
{
    // Deliberately never destroyed: the window lives as long as the process.
    static AboutWindowController *instance = new AboutWindowController;
    return *instance;
}

AboutWindowController::AboutWindowController() = default;

AboutWindowController::~AboutWindowController()
{
    // The window reads the delegate: it goes first.
    m_windowController.reset();
}

NSWindowController &AboutWindowController::windowController()
{
    if (!m_windowController) {
        m_delegate = std::make_unique<AboutDelegate>();
        m_windowController = std::make_unique<NSWindowController>(new AboutController(m_delegate.get()));
        NSWindow::addCloseKeys(*m_windowController->window());
    }
    return *m_windowController;
}

void AboutWindowController::showAboutWindow()
{
    windowController().showWindow();
}

QAction *installAboutCommand(QMenuBar *menuBar)
{
    QMenu *menu = NSApplication::applicationMenu(*menuBar);
    QAction *first = menu->actions().value(0);
    auto *about = new QAction(QStringLiteral("About Veloran"), menu);
    about->setMenuRole(QAction::AboutRole);
    menu->insertAction(first, about);
    QObject::connect(about, &QAction::triggered, about, [] { AboutWindowController::shared().showAboutWindow(); });
    return about;
}
