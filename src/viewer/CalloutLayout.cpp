#include "viewer/CalloutLayout.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace CalloutLayout {

QList<double> spread(const QList<double> &positions, double spacing, double lower, double upper, double inViewFrom)
{
    const qsizetype n = positions.size();
    if (n == 0)
        return {};

    std::vector<double> desired(positions.begin(), positions.end());
    for (double &position : desired) {
        if (std::isnan(position))
            position = lower;
        else if (std::isinf(position))
            position = position > 0 ? upper : lower;
    }

    std::vector<qsizetype> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&desired](qsizetype a, qsizetype b) { return desired[size_t(a)] < desired[size_t(b)]; });

    QList<double> placed;
    if (spacing * double(n - 1) <= upper - lower) {
        QList<double> sorted;
        sorted.reserve(n);
        for (qsizetype index : order)
            sorted.append(desired[size_t(index)]);
        placed = closedUpIntoView(shiftedIntoBounds(mergedSlots(sorted, spacing), lower, upper), spacing, lower,
                                  inViewFrom);
    } else {
        placed = evenlySpaced(int(n), lower, upper);
    }

    QList<double> result(n, 0.0);
    for (qsizetype k = 0; k < n; ++k)
        result[order[size_t(k)]] = placed[k];
    return result;
}

QList<double> mergedSlots(const QList<double> &sortedPositions, double spacing)
{
    std::vector<Block> stack;
    stack.reserve(size_t(sortedPositions.size()));
    for (qsizetype i = 0; i < sortedPositions.size(); ++i) {
        const double adjusted = sortedPositions[i] - spacing * double(i);
        if (stack.empty() || adjusted >= stack.back().mean()) {
            stack.push_back({int(i), 1, adjusted});
            continue;
        }
        Block merged{int(i), 1, adjusted};
        do {
            const Block &top = stack.back();
            merged.count += top.count;
            merged.total += top.total;
            merged.firstSlot = top.firstSlot;
            stack.pop_back();
        } while (!stack.empty() && merged.mean() < stack.back().mean());
        stack.push_back(merged);
    }

    QList<double> result;
    result.reserve(sortedPositions.size());
    for (const Block &block : stack) {
        const double mean = block.mean();
        for (int slot = block.firstSlot; slot < block.firstSlot + block.count; ++slot)
            result.append(mean + spacing * slot);
    }
    return result;
}

QList<double> shiftedIntoBounds(QList<double> positions, double lower, double upper)
{
    if (positions.isEmpty())
        return positions;
    const double first = positions.first();
    const double last = positions.last();
    double shift = 0;
    if (first < lower) {
        shift = lower - first;
        if (upper < last + shift)
            shift = upper - last;
    } else if (upper < last) {
        shift = upper - last;
    }
    if (shift != 0) {
        for (double &position : positions)
            position += shift;
    }
    return positions;
}

QList<double> closedUpIntoView(QList<double> positions, double spacing, double lower, double inViewFrom)
{
    for (qsizetype k = 0; k < positions.size(); ++k) {
        if (positions[k] < inViewFrom)
            positions[k] = std::max(positions[k], lower + spacing * double(k));
        if (k > 0)
            positions[k] = std::max(positions[k], positions[k - 1] + spacing);
    }
    return positions;
}

QList<double> evenlySpaced(int count, double lower, double upper)
{
    if (count < 2)
        return {(lower + upper) * 0.5};
    const double step = (upper - lower) / (count - 1);
    QList<double> result;
    result.reserve(count);
    for (int i = 0; i < count; ++i)
        result.append(lower + step * i);
    return result;
}

} // namespace CalloutLayout
