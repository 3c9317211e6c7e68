#include "viewer/AnnotationCallout.h"

#include "viewer/CalloutLayout.h"

#include <algorithm>
#include <vector>

double CalloutMetrics::lowerBound(double height) const
{
    const double top = labelMargin + minimumLabelSpacing / 2;
    if (top + labelHeight / 2 <= height)
        return top;
    return std::min(top, height / 2);
}

double CalloutMetrics::upperBound(double height) const
{
    const double lower = lowerBound(height);
    return std::max(lower, height - labelMargin - minimumLabelSpacing / 2);
}

namespace {

// Places one side's callouts (indices into `callouts`, in build order),
// appending them to `placed` top to bottom.
void layOutSide(const QList<AnnotationCallout> &callouts, std::vector<qsizetype> &side, AnnotationSide edge,
                const QSizeF &viewport, const CalloutMetrics &metrics, QList<AnnotationCallout> &placed)
{
    std::stable_sort(side.begin(), side.end(), [&callouts](qsizetype a, qsizetype b) {
        return callouts[a].anchor.y() < callouts[b].anchor.y();
    });
    QList<double> wanted;
    wanted.reserve(qsizetype(side.size()));
    for (qsizetype index : side)
        wanted.append(callouts[index].anchor.y());
    const QList<double> ys = CalloutLayout::spread(wanted, metrics.minimumLabelSpacing,
                                                   metrics.lowerBound(viewport.height()),
                                                   metrics.upperBound(viewport.height()), metrics.labelHeight / 2);
    const double width = viewport.width();
    const bool left = edge == AnnotationSide::left;
    const double centreX = left ? metrics.labelMargin + metrics.labelWidth / 2
                                : width - metrics.labelMargin - metrics.labelWidth / 2;
    const double edgeX = left ? metrics.labelMargin + metrics.labelWidth
                              : width - metrics.labelMargin - metrics.labelWidth;
    for (size_t i = 0; i < side.size(); ++i) {
        AnnotationCallout callout = callouts[side[i]];
        const double y = ys[qsizetype(i)];
        callout.side = edge;
        callout.labelCenter = {centreX, y};
        callout.labelEdge = {edgeX, y};
        callout.elbow = {callout.anchor.x() + (edgeX - callout.anchor.x()) * metrics.elbowFraction, y};
        placed.append(callout);
    }
}

} // namespace

QList<AnnotationCallout> layOutCallouts(const QList<AnnotationCallout> &callouts, const QSizeF &viewportSize,
                                        const CalloutMetrics &metrics)
{
    std::vector<qsizetype> left, right;
    const double middle = viewportSize.width() / 2;
    for (qsizetype i = 0; i < callouts.size(); ++i) {
        const QPointF a = callouts[i].anchor;
        if (!anchorInView(a, viewportSize))
            continue;
        (a.x() >= middle ? right : left).push_back(i);
    }
    QList<AnnotationCallout> placed;
    placed.reserve(qsizetype(left.size() + right.size()));
    layOutSide(callouts, left, AnnotationSide::left, viewportSize, metrics, placed);
    layOutSide(callouts, right, AnnotationSide::right, viewportSize, metrics, placed);
    return placed;
}
