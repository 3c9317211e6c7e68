#pragma once

#include <QList>
#include <QString>

class QMenu;
class QMenuBar;
class QPalette;
class QWidget;

struct NSAppearance {
    // Whether a palette draws light text on a dark window.
    static bool isDarkMode(const QPalette &palette);
};

struct NSApplication {
    // The application's palette is dark.
    static bool isDarkMode();
    // This machine's host name, or "?" when it has none.
    static QString machineName();
    // The application's top-level windows that are visible.
    static QList<QWidget *> visibleWindows();
    // The main window the user works in: the active window when it is a
    // main window (QMainWindow), otherwise the first visible one; null when
    // none is shown.
    static QWidget *mainWindow();
    // The menu named after the application in a window's menu bar, which
    // holds the commands about the application itself; made as the bar's
    // last menu when it is missing.
    static QMenu *applicationMenu(QMenuBar &menuBar);
};
