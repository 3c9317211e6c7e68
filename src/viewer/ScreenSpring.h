#pragma once

// The spring of the image screen's own motions: the links panel coming and
// going, the drawer turning its pages and scrolling its list to a row.
namespace ScreenSpring {
constexpr double response = 0.2; // seconds
constexpr double dampingFraction = 0.85;
} // namespace ScreenSpring
