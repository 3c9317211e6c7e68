// Spreads 10,000 callout labels along one edge, side by side with sorting
// the same positions (the one step of the spread that is more than
// linear).
//
//   build/bench/viewer/bench_callout_layout [--labels N]
//
// Target: a spread of 10,000 labels in at most 2 ms (best of 50 rounds).
// Prints PASS or FAIL (exit code 2).

#include "viewer/CalloutLayout.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    int count = 10000;
    if (const qsizetype at = arguments.indexOf(QStringLiteral("--labels")); at >= 0 && at + 1 < arguments.size())
        count = std::max(1, arguments.at(at + 1).toInt());

    // Clustered anchors down a tall view, so runs merge and the stack
    // needs the shift: the work a crowded image gives.
    QRandomGenerator random(7);
    QList<double> positions;
    for (int i = 0; i < count; ++i)
        positions.append(random.bounded(40) * 6000.0 + random.generateDouble() * 300);
    const double spacing = 24, lower = 24, upper = 24 + spacing * count * 1.2;

    double best = 1e9, bestSort = 1e9, checksum = 0;
    for (int round = 0; round < 50; ++round) {
        QElapsedTimer timer;
        timer.start();
        const QList<double> placed = CalloutLayout::spread(positions, spacing, lower, upper);
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        checksum += placed.first();

        QList<double> sorted = positions;
        timer.restart();
        std::stable_sort(sorted.begin(), sorted.end());
        bestSort = std::min(bestSort, timer.nsecsElapsed() / 1e6);
        checksum += sorted.first();
    }
    std::printf("spread of %d labels: %.3f ms; sorting them: %.3f ms (ratio %.1f) [%g]\n", count, best, bestSort,
                best / bestSort, checksum);
    const bool pass = best <= 2;
    std::printf("%s: at most 2 ms\n", pass ? "PASS" : "FAIL");
    return pass ? 0 : 2;
}
