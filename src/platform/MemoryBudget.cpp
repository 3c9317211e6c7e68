#include "platform/MemoryBudget.h"

#include <algorithm>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

MemoryBudget::MemoryBudget(qint64 bytes)
    : m_total(std::max<qint64>(0, bytes))
{
}

MemoryBudget::Grant::Grant(Grant &&other) noexcept
    : m_budget(std::exchange(other.m_budget, nullptr))
    , m_bytes(std::exchange(other.m_bytes, 0))
{
}

MemoryBudget::Grant &MemoryBudget::Grant::operator=(Grant &&other) noexcept
{
    if (this != &other) {
        release();
        m_budget = std::exchange(other.m_budget, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

MemoryBudget::Grant::~Grant()
{
    release();
}

void MemoryBudget::Grant::release()
{
    if (MemoryBudget *budget = std::exchange(m_budget, nullptr))
        budget->give(std::exchange(m_bytes, 0));
}

bool MemoryBudget::fits(qint64 bytes) const
{
    // Alone, anything fits: work larger than the budget still runs.
    if (m_holders == 0 || bytes == 0)
        return true;
    if (m_largeHolders > 0 || isLarge(bytes))
        return false;
    // Large work waiting to run alone goes before more starts beside it.
    return m_largeWaiting == 0 && m_inUse + bytes <= m_total;
}

void MemoryBudget::take(qint64 bytes)
{
    m_inUse += bytes;
    ++m_holders;
    if (isLarge(bytes))
        ++m_largeHolders;
}

MemoryBudget::Grant MemoryBudget::acquire(qint64 bytes)
{
    bytes = std::max<qint64>(0, bytes);
    QMutexLocker lock(&m_mutex);
    const bool large = isLarge(bytes);
    m_largeWaiting += large;
    while (!fits(bytes))
        m_released.wait(&m_mutex);
    m_largeWaiting -= large;
    take(bytes);
    return Grant(this, bytes);
}

std::optional<MemoryBudget::Grant> MemoryBudget::tryAcquire(qint64 bytes)
{
    bytes = std::max<qint64>(0, bytes);
    QMutexLocker lock(&m_mutex);
    if (!fits(bytes))
        return std::nullopt;
    take(bytes);
    return Grant(this, bytes);
}

qint64 MemoryBudget::inUse() const
{
    QMutexLocker lock(&m_mutex);
    return m_inUse;
}

void MemoryBudget::releaseFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

void MemoryBudget::give(qint64 bytes)
{
    if (isLarge(bytes))
        releaseFreedMemory();
    {
        QMutexLocker lock(&m_mutex);
        m_inUse -= bytes;
        --m_holders;
        if (isLarge(bytes))
            --m_largeHolders;
    }
    m_released.wakeAll();
}
