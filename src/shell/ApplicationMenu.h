#pragma once

class QAction;
class QMenu;
class QMenuBar;

// The application's menu, "Veloran", of one main window, in this order:
// "About Veloran", "Check for Updates…", a separator, "Settings…"
// (Ctrl+,), a separator, "Quit Veloran" (Ctrl+Q); each item as its command
// exists. Their keys work from every window of the application. Quit
// closes every window the way closing each of them does; the application
// ends with its last window.
struct ApplicationMenu {
    // The commands that the menu holds, made by the window (null: left out).
    struct Commands {
        QAction *settings = nullptr;
    };

    // Builds the menu into the window's menu bar.
    static QMenu *install(QMenuBar *menuBar, const Commands &commands);
};
