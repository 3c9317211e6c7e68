#include "ui/SpringAnimation.h"

SpringAnimation::SpringAnimation(double response, double dampingFraction, double value, QObject *parent)
    : QObject(parent), m_spring(response, dampingFraction, value)
{
    connect(&m_frames, &FrameClock::ticked, this, &SpringAnimation::advance);
}

void SpringAnimation::setTarget(double target)
{
    if (m_spring.isSettled() && m_spring.value() == target)
        return;
    m_spring.setTarget(target);
    m_frames.start();
}

void SpringAnimation::jumpTo(double value)
{
    const bool moved = value != m_spring.value() || !m_spring.isSettled();
    m_frames.stop();
    m_spring.jumpTo(value);
    if (moved)
        emit valueChanged(value);
}

void SpringAnimation::advance(double seconds)
{
    if (m_spring.isSettled()) {
        m_frames.stop();
        return;
    }
    m_spring.advance(seconds);
    emit valueChanged(m_spring.value());
    if (m_spring.isSettled()) {
        m_frames.stop();
        emit settled();
    }
}
