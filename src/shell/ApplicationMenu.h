#pragma once

class QAction;
class QMenu;
class QMenuBar;

// The application's menu, "Veloran", of one main window, in this order:
// "About Veloran", "Check for Updates…", a separator, "Settings…"
// (Ctrl+,), a separator, "Quit Veloran" (Ctrl+Q). Quit closes every window
// the way closing each of them does; the application ends with its last
// window.
//
// The two commands with keys are the application's, not a window's: one
// action each, shared by the menus of all main windows, whose keys answer
// from every window of the application (Settings and About included).
// One action per key, so that two main windows never make a key ambiguous.
struct ApplicationMenu {
    // Builds the menu into the window's menu bar.
    static QMenu *install(QMenuBar *menuBar);

    // "Settings…" (Ctrl+,): each main window shows the Settings window when
    // it is triggered while that window is the one the user works in
    // (NSApplication::mainWindow()).
    static QAction *settingsCommand();
    // "Quit Veloran" (Ctrl+Q).
    static QAction *quitCommand();
};
