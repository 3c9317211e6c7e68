#pragma once

#include "appkit/NSWindowController.h"

// A window controller that keeps its window's frame under the window's own
// frame name followed by " fix"; windows without a frame name all keep
// theirs under " fix".
class AutoFrameSavingWindowController : public NSWindowController {
    Q_OBJECT
public:
    using NSWindowController::NSWindowController;

    static QString derivedAutosaveName(const QString &windowName);

protected:
    void windowDidLoad() override;
};
