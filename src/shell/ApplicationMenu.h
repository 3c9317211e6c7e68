#pragma once

class QMenuBar;

// The application's menu "Veloran" in a main window's menu bar, in this
// order: "About Veloran", "Check for Updates…", a separator, "Settings…"
// (Ctrl+,), a separator, "Quit Veloran" (Ctrl+Q). Commands that the
// application does not have yet are left out, with their separators.
//
// "Quit Veloran" closes every window the way closing each of them does;
// the application ends with its last window.
void installApplicationMenu(QMenuBar *menuBar);
