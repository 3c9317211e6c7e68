#pragma once

#include <QHash>

#include <algorithm>
#include <vector>

// Values by row key, for the keys of one table. The store numbers rows
// from 1 upwards, so keys are dense: they index a vector, which a load of
// hundreds of thousands of rows fills in order without the scattered
// writes of a hash table. A key far beyond the rows there are (a store
// changed by other means) goes to a hash table instead. `none` stands for
// a key without a value.
template<class T, T none>
class RowKeyMap {
public:
    T value(qint64 key) const
    {
        if (key >= 0 && size_t(key) < m_dense.size())
            return m_dense[size_t(key)];
        return m_sparse.isEmpty() ? none : m_sparse.value(key, none);
    }

    void insert(qint64 key, T value)
    {
        if (key >= 0 && size_t(key) >= m_dense.size() && key < 2 * m_count + 65536)
            grow(std::max(size_t(key) + 1, m_dense.size() * 3 / 2));
        T &slot = key >= 0 && size_t(key) < m_dense.size() ? m_dense[size_t(key)] : m_sparse[key];
        m_count += slot == none ? 1 : 0;
        slot = value;
    }

    void remove(qint64 key)
    {
        if (key >= 0 && size_t(key) < m_dense.size()) {
            m_count -= m_dense[size_t(key)] == none ? 0 : 1;
            m_dense[size_t(key)] = none;
        } else {
            m_count -= m_sparse.remove(key) ? 1 : 0;
        }
    }

    // Room for `count` more values with keys up to `lastKey`, as a load is
    // about to add, and an eighth more for the rows that come later, so that
    // the next ones added don't copy the whole vector at once.
    void reserve(qint64 lastKey, qint64 count)
    {
        if (lastKey >= 0 && size_t(lastKey) >= m_dense.size() && lastKey < 2 * (m_count + count) + 65536)
            grow(size_t(lastKey) + 1 + size_t(lastKey) / 8);
    }

    qsizetype size() const { return m_count; }
    bool isEmpty() const { return m_count == 0; }

private:
    // Keys that the longer vector now covers move over from the hash table,
    // where value() would no longer look for them.
    void grow(size_t size)
    {
        m_dense.resize(size, none);
        for (auto entry = m_sparse.begin(); entry != m_sparse.end();) {
            if (entry.key() >= 0 && size_t(entry.key()) < size) {
                m_dense[size_t(entry.key())] = entry.value();
                entry = m_sparse.erase(entry);
            } else {
                ++entry;
            }
        }
    }

    std::vector<T> m_dense;
    QHash<qint64, T> m_sparse;
    qsizetype m_count = 0;
};
