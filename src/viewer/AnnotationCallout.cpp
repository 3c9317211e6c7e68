#include "viewer/AnnotationCallout.h"

#include "viewer/CalloutLayout.h"

#include <algorithm>

double CalloutMetrics::lowerBound(double height) const
{
    return std::min(labelMargin + minimumLabelSpacing / 2, height / 2);
}

double CalloutMetrics::upperBound(double height) const
{
    const double lower = lowerBound(height);
    return std::max(lower, height - labelMargin - minimumLabelSpacing / 2);
}

namespace {

void layOutSide(QList<AnnotationCallout> &side, AnnotationSide edge, const QSizeF &viewport,
                const CalloutMetrics &metrics)
{
    std::stable_sort(side.begin(), side.end(), [](const AnnotationCallout &a, const AnnotationCallout &b) {
        return a.anchor.y() < b.anchor.y();
    });
    QList<double> wanted;
    wanted.reserve(side.size());
    for (const AnnotationCallout &callout : std::as_const(side))
        wanted.append(callout.anchor.y());
    const QList<double> ys = CalloutLayout::spread(wanted, metrics.minimumLabelSpacing,
                                                   metrics.lowerBound(viewport.height()),
                                                   metrics.upperBound(viewport.height()));
    const double width = viewport.width();
    const double centreX = edge == AnnotationSide::left ? metrics.labelMargin + metrics.labelWidth / 2
                                                        : width - metrics.labelMargin - metrics.labelWidth / 2;
    const double edgeX = edge == AnnotationSide::left ? metrics.labelMargin + metrics.labelWidth
                                                      : width - metrics.labelMargin - metrics.labelWidth;
    for (qsizetype i = 0; i < side.size(); ++i) {
        AnnotationCallout &callout = side[i];
        const double y = ys[i];
        callout.labelCenter = {centreX, y};
        callout.labelEdge = {edgeX, y};
        callout.elbow = {callout.anchor.x() + (edgeX - callout.anchor.x()) * metrics.elbowFraction, y};
    }
}

} // namespace

QList<AnnotationCallout> layOutCallouts(const QList<AnnotationCallout> &callouts, const QSizeF &viewportSize,
                                        const CalloutMetrics &metrics)
{
    QList<AnnotationCallout> left, right;
    const double middle = viewportSize.width() / 2;
    for (AnnotationCallout callout : callouts) {
        const QPointF a = callout.anchor;
        if (!(a.x() >= 0 && a.y() >= 0 && a.x() < viewportSize.width() && a.y() < viewportSize.height()))
            continue;
        callout.side = a.x() >= middle ? AnnotationSide::right : AnnotationSide::left;
        (callout.side == AnnotationSide::right ? right : left).append(callout);
    }
    layOutSide(left, AnnotationSide::left, viewportSize, metrics);
    layOutSide(right, AnnotationSide::right, viewportSize, metrics);
    return left + right;
}
