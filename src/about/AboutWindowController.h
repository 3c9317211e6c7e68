#pragma once

#include <memory>

class AboutDelegate;
class NSWindowController;
class QAction;
class QMenuBar;

// The application's About window, made on first use and kept for the whole
// run: closing it (also with Escape or Ctrl+W) only hides it, and showing it again brings back the same
// window where the user left it. GUI thread only.
class AboutWindowController {
public:
    static AboutWindowController &shared();

    AboutWindowController();
    ~AboutWindowController();

    // The controller of the About window, made on first use.
    NSWindowController &windowController();
    // Shows the window, raised and active.
    void showAboutWindow();

private:
    std::unique_ptr<AboutDelegate> m_delegate;
    std::unique_ptr<NSWindowController> m_windowController;
};

// Puts "About Veloran" first in the application's menu (made when
// missing), with a separator after it, and returns the action.
QAction *installAboutCommand(QMenuBar *menuBar);
