#pragma once

class QWidget;

// Fades `widget` in from transparent over `milliseconds`, easing in and out:
// how a pane shows a new face. Does nothing for a widget not on screen.
void fadeIn(QWidget *widget, int milliseconds);
