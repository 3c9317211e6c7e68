#pragma once

#include <QList>

// Places the callout labels of one side of the annotation overlay along that
// edge: one desired position per label (the height of its anchor), at least
// `spacing` apart, between `lower` and `upper`, moving them as little as
// possible (least squares). Pure functions on numbers.
namespace CalloutLayout {

// A run of consecutive labels, in sorted order, placed exactly `spacing`
// apart around the mean of their adjusted positions (total ÷ count).
struct Block {
    int firstSlot = 0;
    int count = 1;
    double total = 0;

    double mean() const { return total / count; }
};

// Element i of the result is where input element i goes; same length as the
// input. Equal positions keep their input order. A set that fits between the
// bounds (spacing × (n − 1) ≤ upper − lower) keeps its sorted order, gaps of
// at least the spacing and stays inside the bounds; a set that does not fit
// is spread evenly over them. A desired position that is not a finite number
// counts as the nearest bound (NaN as the lower one). Needs lower ≤ upper.
QList<double> spread(const QList<double> &positions, double spacing, double lower, double upper);

// The least-squares positions, in sorted order with gaps of at least
// `spacing`, for positions sorted ascending (pool-adjacent-violators over
// Blocks; linear time).
QList<double> mergedSlots(const QList<double> &sortedPositions, double spacing);

// Moves the whole stack by one amount so that it starts at `lower` or ends
// at `upper`, never leaving the last label above `upper`. When the set fits
// at `spacing`, each label k (of n) is then held within lower + spacing × k
// and upper − spacing × (n − 1 − k), so a stack whose desired positions span
// more than the bounds still ends up inside them.
QList<double> shiftedIntoBounds(QList<double> positions, double lower, double upper, double spacing);

// `count` positions from lower to upper at equal steps, ascending; a single
// one in the middle.
QList<double> evenlySpaced(int count, double lower, double upper);

} // namespace CalloutLayout
