#pragma once

#include <QSemaphore>
#include <QThreadPool>

#include <memory>

// Keeps threads of a pool busy, so that work queued behind them waits, and
// lets them go again. Each holding task shares the semaphores it waits on
// with the hold, so a task woken late (on a loaded machine a woken thread
// may run only much later) never reads memory that has gone. Whatever way
// the test leaves (a failed QVERIFY returns at once), the hold's
// destruction lets the tasks go and waits until every one has ended: none
// is left behind, blocked, to hang the program's exit.
//
//     PoolHold busy(WorkerPools::files());   // every thread of the pool
//     QVERIFY(busy.holding());               // each one has started
//     ...                                    // work queued now waits
//     busy.release();                        // ... and runs from here on
class PoolHold {
public:
    // Holds `threads` threads of `pool`, every one when `threads` is
    // negative, and waits (up to `wait` ms) until each task has started.
    explicit PoolHold(QThreadPool &pool, int threads = -1, int wait = 30000)
        : m_state(std::make_shared<State>())
        , m_threads(threads < 0 ? pool.maxThreadCount() : threads)
    {
        for (int i = 0; i < m_threads; ++i) {
            pool.start([state = m_state] {
                state->started.release();
                state->gate.acquire();
                state->ended.release();
            });
        }
        m_holding = m_state->started.tryAcquire(m_threads, wait);
    }

    ~PoolHold()
    {
        release();
        // A task that never started (the pool was busy with other work)
        // still runs once that ends, and is waited for too.
        m_state->ended.acquire(m_threads);
    }

    PoolHold(const PoolHold &) = delete;
    PoolHold &operator=(const PoolHold &) = delete;

    // Whether every holding task started: the threads are all taken.
    bool holding() const { return m_holding; }
    int threads() const { return m_threads; }

    // Lets the holding tasks end; queued work then runs. Once only.
    void release()
    {
        if (!m_released)
            m_state->gate.release(m_threads);
        m_released = true;
    }

private:
    struct State {
        QSemaphore started;
        QSemaphore gate;
        QSemaphore ended;
    };

    std::shared_ptr<State> m_state;
    const int m_threads;
    bool m_holding = false;
    bool m_released = false;
};
