#pragma once

// The event-loop stall meter that the benchmarks share.

#include <QElapsedTimer>
#include <QList>
#include <QTimer>

#include <algorithm>
#include <functional>

// A 1 ms timer: the longest gap between its ticks is the longest time the
// event loop could not run. `onTick` runs on every tick.
class StallMeter {
public:
    explicit StallMeter(std::function<void()> onTick = {})
        : m_onTick(std::move(onTick))
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(1);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_gaps.append(now - m_last);
            m_gapEnds.append(now);
            m_last = now;
            if (m_onTick)
                m_onTick();
        });
    }

    void start()
    {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_ticker.start();
    }
    // The time since the last tick counts as a gap too: work that ends the
    // run without a turn of the loop stalled it all the same.
    void stop()
    {
        if (!m_ticker.isActive())
            return;
        m_ticker.stop();
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_gaps.append(now - m_last);
        m_gapEnds.append(now);
        m_last = now;
    }

    double longestMs() const { return m_longest / 1e6; }
    // Since start().
    qint64 elapsedNs() const { return m_clock.nsecsElapsed(); }
    // The gap that 99% of the gaps do not exceed.
    double percentile99Ms() const
    {
        QList<qint64> gaps = m_gaps;
        std::sort(gaps.begin(), gaps.end());
        return gaps.isEmpty() ? 0 : gaps.at(qsizetype(gaps.size() * 0.99)) / 1e6;
    }

    // The longest gap that ended before `ns` (since start()).
    double longestMsBefore(qint64 ns) const
    {
        qint64 longest = 0;
        for (qsizetype i = 0; i < m_gaps.size() && m_gapEnds.at(i) < ns; ++i)
            longest = std::max(longest, m_gaps.at(i));
        return longest / 1e6;
    }
    // The gap that `ns` (since start()) fell in.
    double gapMsAt(qint64 ns) const
    {
        for (qsizetype i = 0; i < m_gaps.size(); ++i) {
            if (m_gapEnds.at(i) >= ns)
                return m_gaps.at(i) / 1e6;
        }
        return 0;
    }

private:
    std::function<void()> m_onTick;
    QTimer m_ticker;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    QList<qint64> m_gaps;
    QList<qint64> m_gapEnds;
};
