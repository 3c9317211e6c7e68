#pragma once

#include <QtGlobal>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

// Runs work(i) for every i in [0, count) on up to `threads` threads (the
// calling one included), handing out indices one at a time so that work
// items of different sizes balance. work must not throw.
template <typename Work>
void parallelFor(qsizetype count, Work work, unsigned threads = std::thread::hardware_concurrency())
{
    threads = std::clamp(threads, 1u, 8u);
    if (count <= 1 || threads == 1) {
        for (qsizetype i = 0; i < count; ++i)
            work(i);
        return;
    }
    std::atomic<qsizetype> next{0};
    auto loop = [&] {
        for (qsizetype i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> helpers;
    const qsizetype helperCount = std::min<qsizetype>(threads, count) - 1;
    helpers.reserve(size_t(helperCount));
    for (qsizetype t = 0; t < helperCount; ++t)
        helpers.emplace_back(loop);
    loop();
    for (std::thread &helper : helpers)
        helper.join();
}
