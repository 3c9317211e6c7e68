#pragma once

#include "ui/FrameClock.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

// How far past its target a spring of the damping fraction swings at its
// peak, as a part of its way: e^(-πζ/√(1-ζ²)).
inline double springOvershoot(double dampingFraction)
{
    return std::exp(-std::numbers::pi * dampingFraction / std::sqrt(1 - dampingFraction * dampingFraction));
}

// Steps `clock` a frame of 1/60 s at a time, at most ten seconds' worth,
// until it stops, calling `frame` (when given) before each step; answers
// the most `value` went past `target`, on the side away from `from`.
inline double stepToRest(FrameClock &clock, const std::function<double()> &value, double from, double target,
                         const std::function<void()> &frame = {})
{
    double past = 0;
    for (int step = 0; step < 600 && clock.isRunning(); ++step) {
        if (frame)
            frame();
        clock.step(1.0 / 60);
        past = std::max(past, (value() - target) * (target > from ? 1 : -1));
    }
    return past;
}
