#pragma once

#include "viewer/CanvasGeometry.h"
#include "ui/Spring.h"

// The zoom shown by a canvas on its way to the zoom in effect: scale and
// offset each follow their target on a spring (response 0.18 s, damping
// fraction 0.85), so button steps, wheel steps and the steps of a pinch or
// drag glide instead of jumping. A new viewport is followed at once. Plain
// value, advanced by its owner's frame clock.
class ZoomAnimation {
public:
    static constexpr double response = 0.18;
    static constexpr double dampingFraction = 0.85;

    ZoomPanTransform shown() const;
    ZoomPanTransform target() const { return m_target; }
    bool isSettled() const;

    // Glides from what is shown now towards `target`.
    void animateTo(const ZoomPanTransform &target);
    // Shows `target` at once, stopping any glide.
    void jumpTo(const ZoomPanTransform &target);
    // Moves the springs `seconds` forward; they come to rest on the target
    // once closer than a hundredth of a view point.
    void advance(double seconds);

private:
    ZoomPanTransform m_target;
    Spring m_scale{response, dampingFraction, 1};
    Spring m_x{response, dampingFraction};
    Spring m_y{response, dampingFraction};
};
