#pragma once

// One value following its target on a damped spring, as the platform's
// spring animations move: `response` is the period, in seconds, of the
// spring's oscillation without damping; `dampingFraction` (more than 0,
// less than 1) how much of the damping that would stop it without any
// overshoot it has, so the lower it is the more it bounces. Each step
// moves it by the exact motion of the spring over that time, so any frame
// interval is stable. A new target on the way is followed from where the
// value is and at the speed it moves, without a jolt. Once it is closer to
// its target than its rest distance and slower than ten of those a second,
// it is at rest on its target. Plain value, advanced by its owner's clock.
class Spring {
public:
    Spring(double response, double dampingFraction, double value = 0);

    double value() const { return m_value; }
    // Units per second.
    double velocity() const { return m_velocity; }
    double target() const { return m_target; }
    // At rest on the target.
    bool isSettled() const { return m_value == m_target && m_velocity == 0; }

    // Heads for `target` from where the value is now, at its present speed.
    void setTarget(double target);
    // At `value` at once, at rest, and that is its target.
    void jumpTo(double value);
    // A hundredth unless set.
    void setRestDistance(double distance) { m_restDistance = distance; }
    void advance(double seconds);

private:
    double m_response;
    double m_dampingFraction;
    double m_value;
    double m_velocity = 0;
    double m_target;
    double m_restDistance = 0.01;
};
