#include "ui/Spring.h"

#include <algorithm>
#include <cmath>
#include <numbers>

Spring::Spring(double response, double dampingFraction, double value)
    : m_response(std::max(response, 1e-6))
    , m_dampingFraction(std::clamp(dampingFraction, 1e-6, 1 - 1e-6))
    , m_value(value)
    , m_target(value)
{
}

void Spring::setTarget(double target)
{
    m_target = target;
}

void Spring::jumpTo(double value)
{
    m_value = value;
    m_target = value;
    m_velocity = 0;
}

// The motion of an underdamped spring: the distance from the target decays
// as e^(-ζωt) while it turns at the damped frequency ω√(1 − ζ²).
void Spring::advance(double seconds)
{
    if (seconds <= 0 || isSettled())
        return;
    const double omega = 2 * std::numbers::pi / m_response;
    const double decay = m_dampingFraction * omega;
    const double damped = omega * std::sqrt(1 - m_dampingFraction * m_dampingFraction);
    const double a = m_value - m_target;
    const double b = (m_velocity + decay * a) / damped;
    const double envelope = std::exp(-decay * seconds);
    const double c = std::cos(damped * seconds);
    const double s = std::sin(damped * seconds);
    m_value = m_target + envelope * (a * c + b * s);
    m_velocity = envelope * (-decay * (a * c + b * s) + damped * (b * c - a * s));
    if (std::abs(m_value - m_target) < m_restDistance && std::abs(m_velocity) < m_restDistance * 10)
        jumpTo(m_target);
}
