#pragma once

#include <QList>

#include <limits>

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
// bounds (spacing × (n − 1) ≤ upper − lower) keeps its sorted order and gaps
// of at least the spacing, and is moved as a whole into the bounds; a set
// that does not fit is spread evenly over them. A desired position that is
// not a finite number counts as the nearest bound (NaN as the lower one).
// Needs lower ≤ upper.
//
// A stack whose desired positions span more than the bounds ends at the
// upper one with its first labels below the lower one. `inViewFrom` is the
// lowest centre at which a label is still wholly in view: a label placed
// below it is closed up against the lower bound instead, pushing the labels
// after it up to keep the spacing (by default none is).
QList<double> spread(const QList<double> &positions, double spacing, double lower, double upper,
                     double inViewFrom = -std::numeric_limits<double>::infinity());

// The least-squares positions, in sorted order with gaps of at least
// `spacing`, for positions sorted ascending (pool-adjacent-violators over
// Blocks; linear time).
QList<double> mergedSlots(const QList<double> &sortedPositions, double spacing);

// Moves the whole stack by one amount so that it starts at `lower` or ends
// at `upper`, never leaving the last label above `upper`.
QList<double> shiftedIntoBounds(QList<double> positions, double lower, double upper);

// Label k (of positions sorted ascending, `spacing` apart) placed below
// `inViewFrom` goes to lower + spacing × k; each later label is then kept at
// least `spacing` above the one before it.
QList<double> closedUpIntoView(QList<double> positions, double spacing, double lower, double inViewFrom);

// `count` positions from lower to upper at equal steps, ascending; a single
// one in the middle.
QList<double> evenlySpaced(int count, double lower, double upper);

} // namespace CalloutLayout
