#pragma once

#include "ui/FadeIn.h"

#include <QAbstractAnimation>
#include <QAnimationDriver>
#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QList>
#include <QWidget>

// How opaque a face is drawn: 0 while hidden.
inline double opacity(const QWidget *face)
{
    if (!face->isVisible())
        return 0;
    const auto *effect = qobject_cast<QGraphicsOpacityEffect *>(face->graphicsEffect());
    return effect ? effect->opacity() : 1;
}

// Whether the keyboard focus is on the face or inside it.
inline bool holdsFocus(const QWidget *face)
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == face || face->isAncestorOf(focus));
}

// Moves the fades under way on the faces to `milliseconds` into them.
inline void stepFades(const QList<QWidget *> &faces, int milliseconds)
{
    for (QWidget *face : faces) {
        if (QAbstractAnimation *fade = runningFade(face))
            fade->setCurrentTime(milliseconds);
    }
}

// While it lives the animations' clock stands still: a fade moves only as
// far as stepFades() takes it. A fade that must still be under way at some
// point of a test can't end first because the GUI thread was held up (a
// paint waiting for its workers on a loaded machine).
class HeldAnimationClock : public QAnimationDriver {
public:
    HeldAnimationClock() { install(); }
    ~HeldAnimationClock() override { uninstall(); }
    HeldAnimationClock(const HeldAnimationClock &) = delete;
    HeldAnimationClock &operator=(const HeldAnimationClock &) = delete;

    qint64 elapsed() const override { return 0; }
};
