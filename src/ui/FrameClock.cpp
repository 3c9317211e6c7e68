#include "ui/FrameClock.h"

#include <algorithm>

namespace {

constexpr int frameMilliseconds = 8;
constexpr double longestTick = 0.1;

} // namespace

FrameClock::FrameClock(QObject *parent) : QObject(parent)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(frameMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, [this] { step(m_sinceTick.restart() / 1000.0); });
}

void FrameClock::start()
{
    if (m_timer.isActive())
        return;
    m_sinceTick.start();
    m_timer.start();
}

void FrameClock::stop()
{
    m_timer.stop();
}

void FrameClock::step(double seconds)
{
    emit ticked(std::min(seconds, longestTick));
}
