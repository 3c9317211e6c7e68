#pragma once

class QAbstractAnimation;
class QWidget;

// Fades `widget` in from transparent over `milliseconds`, easing in and out:
// how a pane shows a new face. A widget on its way out (fadeOut) comes back
// from where its fade has got to, and stays shown. Does nothing for a
// widget not on screen.
void fadeIn(QWidget *widget, int milliseconds);

// Fades `widget` out to transparent over `milliseconds`, easing in and out,
// and then hides it: how a panel leaves. A widget on its way in goes back
// from where its fade has got to; a fadeIn() meanwhile takes over, and the
// widget stays shown. A widget not on screen is hidden at once.
void fadeOut(QWidget *widget, int milliseconds);

// The fade under way on `widget` (fadeIn or fadeOut), none when none: tests
// step it by setting its current time, in milliseconds.
QAbstractAnimation *runningFade(const QWidget *widget);
