#include "appkit/AutoFrameSavingWindowController.h"

QString AutoFrameSavingWindowController::derivedAutosaveName(const QString &windowName)
{
    return windowName + QStringLiteral(" fix");
}

void AutoFrameSavingWindowController::windowDidLoad()
{
    NSWindowController::windowDidLoad();
    if (window())
        setWindowFrameAutosaveName(derivedAutosaveName(NSWindow::frameAutosaveName(*window())));
}
