#pragma once

#include "support/TestPictures.h"
#include "ui/AppStyle.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QWidget>

#include <cstdlib>

// How a widget shows the keyboard focus, told from what it draws (or
// `drawn`, one of its ancestors, draws) with the focus and without it.
struct FocusLook {
    QImage focused;
    QImage unfocused;

    explicit FocusLook(QWidget *widget, QWidget *drawn = nullptr)
    {
        if (!drawn)
            drawn = widget;
        // As after a Tab press: the window shows where the keys go.
        widget->window()->setAttribute(Qt::WA_KeyboardFocusChange);
        widget->setFocus(Qt::TabFocusReason);
        focused = drawn->grab().toImage();
        widget->clearFocus();
        unfocused = drawn->grab().toImage();
        widget->setFocus(Qt::TabFocusReason);
    }

    static bool isAccent(QRgb pixel, const QColor &accent)
    {
        return std::abs(qRed(pixel) - accent.red()) <= 6 && std::abs(qGreen(pixel) - accent.green()) <= 6
            && std::abs(qBlue(pixel) - accent.blue()) <= 6 && qAlpha(pixel) >= 250;
    }

    // Whether the accent colour appears with the focus, and not without it,
    // on each of the four sides of `outline`: at the middle of each side,
    // no further in than `depth`.
    bool ringed(const QRect &outline, const QColor &accent, int depth) const
    {
        const QPoint middle = outline.center();
        const QPoint sides[4][2] = {{{middle.x(), outline.top()}, {0, 1}},
                                    {{middle.x(), outline.bottom()}, {0, -1}},
                                    {{outline.left(), middle.y()}, {1, 0}},
                                    {{outline.right(), middle.y()}, {-1, 0}}};
        for (const auto &[edge, inward] : sides) {
            bool found = false;
            for (int step = 0; step < depth && !found; ++step) {
                const QPoint at = edge + inward * step;
                found = focused.rect().contains(at) && isAccent(focused.pixel(at), accent)
                     && !isAccent(unfocused.pixel(at), accent);
            }
            if (!found)
                return false;
        }
        return true;
    }

    // The bounds of all that the focus changes.
    QRect changedArea() const { return ::changedArea(unfocused, focused); }

    // Whether all that the focus changes lies in the band of the ring just
    // inside `outline`.
    bool changesOnlyTheRing(const QRect &outline) const
    {
        const int band = int(AppStyle::focusRingWidth) + 1;
        const QRect inside = outline.adjusted(band, band, -band, -band);
        for (int y = 0; y < focused.height(); ++y) {
            for (int x = 0; x < focused.width(); ++x) {
                if (focused.pixel(x, y) != unfocused.pixel(x, y) && (inside.contains(x, y) || !outline.contains(x, y)))
                    return false;
            }
        }
        return true;
    }
};

// The window's Tab stops from `start` on, once round.
inline QList<QWidget *> tabStops(QWidget *start)
{
    start->setFocus(Qt::TabFocusReason);
    QList<QWidget *> stops;
    while (QWidget *focus = QApplication::focusWidget()) {
        if (stops.contains(focus) || stops.size() > 40)
            break;
        stops << focus;
        QTest::keyClick(start->window()->windowHandle(), Qt::Key_Tab);
    }
    return stops;
}
