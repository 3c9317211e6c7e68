#include "viewer/ZoomAnimation.h"

#include <cmath>
#include <numbers>

namespace {

// Below this distance (view points, or scale × viewport for the factor) and
// speed a spring is at rest.
constexpr double restDistance = 0.01;

} // namespace

ZoomPanTransform ZoomAnimation::shown() const
{
    return {m_scale.value, {m_x.value, m_y.value}, m_target.viewportSize};
}

bool ZoomAnimation::isSettled() const
{
    return m_scale.value == m_target.scale && m_x.value == m_target.offset.width()
        && m_y.value == m_target.offset.height();
}

void ZoomAnimation::animateTo(const ZoomPanTransform &target)
{
    if (target.viewportSize.width() != m_target.viewportSize.width()
        || target.viewportSize.height() != m_target.viewportSize.height()) {
        jumpTo(target);
        return;
    }
    m_target = target;
}

void ZoomAnimation::jumpTo(const ZoomPanTransform &target)
{
    m_target = target;
    m_scale = {target.scale, 0};
    m_x = {target.offset.width(), 0};
    m_y = {target.offset.height(), 0};
}

void ZoomAnimation::advance(double seconds)
{
    m_scale.advance(m_target.scale, seconds);
    m_x.advance(m_target.offset.width(), seconds);
    m_y.advance(m_target.offset.height(), seconds);

    // The factor is at rest when it moves the viewport's edge by less than
    // the rest distance.
    const double extent = std::max({m_target.viewportSize.width(), m_target.viewportSize.height(), 1.0});
    const auto settle = [](Spring &spring, double target, double tolerance) {
        if (std::abs(spring.value - target) < tolerance && std::abs(spring.velocity) < tolerance * 10)
            spring = {target, 0};
    };
    settle(m_scale, m_target.scale, restDistance / extent);
    settle(m_x, m_target.offset.width(), restDistance);
    settle(m_y, m_target.offset.height(), restDistance);
}

// The exact motion of an underdamped spring over the interval, so any frame
// interval is stable.
void ZoomAnimation::Spring::advance(double target, double seconds)
{
    if (seconds <= 0)
        return;
    const double omega = 2 * std::numbers::pi / response;
    const double decay = dampingFraction * omega;
    const double damped = omega * std::sqrt(1 - dampingFraction * dampingFraction);
    const double a = value - target;
    const double b = (velocity + decay * a) / damped;
    const double envelope = std::exp(-decay * seconds);
    const double c = std::cos(damped * seconds);
    const double s = std::sin(damped * seconds);
    value = target + envelope * (a * c + b * s);
    velocity = envelope * (-decay * (a * c + b * s) + damped * (b * c - a * s));
}
