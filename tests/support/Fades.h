#pragma once

#include "ui/CrossFadeStack.h"

#include <QAbstractAnimation>
#include <QAnimationDriver>
#include <QAnimationDriver>
#include <QApplication>
#include <QString>
#include <QImage>
#include <QWidget>

#include <algorithm>
#include <climits>
#include <cmath>
#include <functional>

// Whether the keyboard focus is on the face or inside it.
inline bool holdsFocus(const QWidget *face)
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == face || face->isAncestorOf(focus));
}

// Moves the cross-fades under way in `pane` (its own and those of the
// widgets in it) to `milliseconds` into them, where they wait, off the
// clock, until stepped again.
inline void stepFades(const QWidget *pane, int milliseconds)
{
    for (CrossFadeStack *stack : pane->findChildren<CrossFadeStack *>()) {
        if (QAbstractAnimation *fade = stack->runningFade()) {
            fade->pause();
            fade->setCurrentTime(milliseconds);
        }
    }
}

// The cross-fade under way in `pane`, none when none.
inline QAbstractAnimation *runningFade(const QWidget *pane)
{
    for (const CrossFadeStack *stack : pane->findChildren<CrossFadeStack *>()) {
        if (QAbstractAnimation *fade = stack->runningFade())
            return fade;
    }
    return nullptr;
}

// What the widget's window draws where the widget lies.
inline QImage inWindow(const QWidget *widget)
{
    QWidget *window = widget->window();
    return window->grab(QRect(widget->mapTo(window, QPoint()), widget->size()))
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

// The largest difference, in a channel of a pixel, between `seen` and the
// mix of `from` and `to` in which `to` makes up `share`.
inline int mixDistance(const QImage &seen, const QImage &from, const QImage &to, double share)
{
    if (seen.size() != from.size() || seen.size() != to.size())
        return INT_MAX;
    const QImage a = from.convertToFormat(QImage::Format_RGB32);
    const QImage b = to.convertToFormat(QImage::Format_RGB32);
    const QImage s = seen.convertToFormat(QImage::Format_RGB32);
    const auto mixed = [share](int x, int y) { return int(std::lround(x * (1 - share) + y * share)); };
    int largest = 0;
    for (int y = 0; y < s.height(); ++y) {
        const auto *pa = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *pb = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        const auto *ps = reinterpret_cast<const QRgb *>(s.constScanLine(y));
        for (int x = 0; x < s.width(); ++x) {
            largest = std::max({largest, std::abs(qRed(ps[x]) - mixed(qRed(pa[x]), qRed(pb[x]))),
                                std::abs(qGreen(ps[x]) - mixed(qGreen(pa[x]), qGreen(pb[x]))),
                                std::abs(qBlue(ps[x]) - mixed(qBlue(pa[x]), qBlue(pb[x])))});
        }
    }
    return largest;
}

// The largest difference, in a channel of a pixel, between two pictures.
inline int pictureDistance(const QImage &one, const QImage &other)
{
    return mixDistance(one, other, other, 1);
}

// Watches `area` through the switch that `switchFaces` makes, stepping the
// fades in `pane`, which last `milliseconds`; answers what is wrong with
// what is painted, nothing when all is well: as the switch starts, the
// picture in view before it stays; halfway, that picture and the face
// coming, as it is at rest once the fade has ended, are mixed evenly; and
// the two are unlike.
inline QString crossFadeFault(const QWidget *pane, const QWidget *area, int milliseconds,
                              const std::function<void()> &switchFaces)
{
    const QImage before = inWindow(area);
    switchFaces();
    if (pictureDistance(inWindow(area), before) > 2)
        return QStringLiteral("the switch jumps");
    stepFades(pane, milliseconds / 2);
    const QImage halfway = inWindow(area);
    stepFades(pane, milliseconds);
    const QImage after = inWindow(area);
    if (pictureDistance(before, after) <= 40)
        return QStringLiteral("the faces look alike");
    if (const int off = mixDistance(halfway, before, after, 0.5); off > 2)
        return QStringLiteral("halfway, a pixel is %1 off the even mix").arg(off);
    return {};
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
