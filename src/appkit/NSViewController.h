#pragma once

// Marks a widget that manages a view of its own, as the controller of a
// window's content does: a widget class derives from both QWidget and this.
// NSView::viewController() finds the nearest one around any widget.
class NSViewController {
public:
    virtual ~NSViewController() = default;
};
