#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <optional>

// A number of bytes that work shares out: each piece of work takes what it
// needs before it starts and gives it back when it ends, waiting meanwhile
// while the others hold too much. A piece that needs more than a quarter
// of the budget (isLarge) waits until it is alone, then runs alone. Any
// thread.
class MemoryBudget {
public:
    explicit MemoryBudget(qint64 bytes);

    MemoryBudget(const MemoryBudget &) = delete;
    MemoryBudget &operator=(const MemoryBudget &) = delete;

    // What has been taken; given back when it goes.
    class Grant {
    public:
        Grant() = default;
        Grant(Grant &&other) noexcept;
        Grant &operator=(Grant &&other) noexcept;
        ~Grant();

        qint64 bytes() const { return m_bytes; }
        void release();

    private:
        friend class MemoryBudget;
        Grant(MemoryBudget *budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        MemoryBudget *m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    // Takes `bytes` (at least 0), blocking until they fit.
    Grant acquire(qint64 bytes);
    // Takes `bytes` when they fit now; none otherwise.
    std::optional<Grant> tryAcquire(qint64 bytes);

    qint64 total() const { return m_total; }
    qint64 inUse() const;

    // Whether `bytes` is a large share of the budget, work that holds a
    // whole picture or most of one: such work runs alone, so that several
    // of them together take no more than the largest.
    bool isLarge(qint64 bytes) const { return bytes > m_total / 4; }

    // Gives the blocks the C library keeps freed in each thread's heap back
    // to the system. Large work given back does this first: its freed
    // memory would stay in the heap of the thread that ran it, beside the
    // next large work's on another thread. Takes a few milliseconds.
    static void releaseFreedMemory();

private:
    bool fits(qint64 bytes) const;
    void take(qint64 bytes);
    void give(qint64 bytes);

    const qint64 m_total;
    mutable QMutex m_mutex;
    QWaitCondition m_released;
    qint64 m_inUse = 0;
    int m_holders = 0;
    int m_largeHolders = 0;
    int m_largeWaiting = 0;
};
