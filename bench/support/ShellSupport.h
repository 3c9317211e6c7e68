#pragma once

// What the main-window benchmarks share: an account service that never
// answers, and the event-loop stall detector.

#include "platform/CloudAccountService.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class NoAccounts : public CloudAccountService {
public:
    void requestAccountStatus(const QString &, Completion) override {}
};

// A 1 ms timer: the longest gap between its ticks is the longest time the
// event loop could not run. `onTick` runs after each tick is counted.
class StallClock {
public:
    template<class OnTick>
    explicit StallClock(OnTick onTick)
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this, onTick] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            onTick();
        });
        m_clock.start();
    }
    StallClock() : StallClock([] {}) {}

    // Counts from now on.
    void start()
    {
        m_last = m_clock.nsecsElapsed();
        m_longest = 0;
        m_ticker.start();
    }
    void stop() { m_ticker.stop(); }
    bool isRunning() const { return m_ticker.isActive(); }
    double longestMilliseconds() const { return double(m_longest) / 1e6; }
    qint64 nanoseconds() const { return m_clock.nsecsElapsed(); }

private:
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
