#include "viewer/ZoomAnimation.h"

#include <algorithm>

ZoomPanTransform ZoomAnimation::shown() const
{
    return {m_scale.value(), {m_x.value(), m_y.value()}, m_target.viewportSize};
}

bool ZoomAnimation::isSettled() const
{
    return m_scale.isSettled() && m_x.isSettled() && m_y.isSettled();
}

void ZoomAnimation::animateTo(const ZoomPanTransform &target)
{
    if (target.viewportSize.width() != m_target.viewportSize.width()
        || target.viewportSize.height() != m_target.viewportSize.height()) {
        jumpTo(target);
        return;
    }
    m_target = target;
    m_scale.setTarget(target.scale);
    m_x.setTarget(target.offset.width());
    m_y.setTarget(target.offset.height());
}

void ZoomAnimation::jumpTo(const ZoomPanTransform &target)
{
    m_target = target;
    m_scale.jumpTo(target.scale);
    m_x.jumpTo(target.offset.width());
    m_y.jumpTo(target.offset.height());
    // The factor is at rest when it moves the viewport's edge by less than
    // a hundredth of a view point.
    const double extent = std::max({target.viewportSize.width(), target.viewportSize.height(), 1.0});
    m_scale.setRestDistance(0.01 / extent);
}

void ZoomAnimation::advance(double seconds)
{
    m_scale.advance(seconds);
    m_x.advance(seconds);
    m_y.advance(seconds);
}
