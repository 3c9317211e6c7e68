#pragma once

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <QUuid>

enum class AnnotationKind { point, region };

// The edge of the view a callout label is pinned to.
enum class AnnotationSide { left, right };

// The fixed measures of the callouts, in view points.
struct CalloutMetrics {
    double labelWidth = 148;         // the label's text frame
    double labelMargin = 12;         // from the view's sides, top and bottom
    double minimumLabelSpacing = 24; // between label centres on one side
    double elbowFraction = 0.82;     // where the leader line bends, from anchor to label
    double pointHitSize = 30;        // diameter of a point's hit circle
    double linkButtonSize = 22;
    // A one-line label, its text and padding; the frame sets it from the
    // labels' font.
    double labelHeight = 20;

    // The band label centres are kept in, for a view `height` high: from
    // labelMargin + spacing ÷ 2 (24) to height − labelMargin − spacing ÷ 2,
    // or at 24 alone in a view shorter than 48. In a view so short that a
    // one-line label centred at 24 would reach past its bottom, the band is
    // its middle instead, so that labels stay on it.
    double lowerBound(double height) const;
    double upperBound(double height) const;
};

// One label of the overlay: the annotation it names, where its leader line
// starts (the anchor, in view coordinates) and, once laid out, where the
// label sits and the line bends.
struct AnnotationCallout {
    QUuid id;
    QString label;  // as shown
    bool hasLinks = false;
    AnnotationKind kind = AnnotationKind::point;
    qsizetype mark = -1; // its index among the scene's marks, points first
    QPointF anchor;
    AnnotationSide side = AnnotationSide::left;
    QPointF labelCenter;
    QPointF labelEdge; // where the leader line meets the label's frame
    QPointF elbow;
};

// Whether a callout's anchor lies in a view of `viewportSize` (the right
// and bottom edges outside).
inline bool anchorInView(const QPointF &anchor, const QSizeF &viewportSize)
{
    return anchor.x() >= 0 && anchor.y() >= 0 && anchor.x() < viewportSize.width() && anchor.y() < viewportSize.height();
}

// Lays out the callouts of a view (given in the order they were built, all
// at their anchors): keeps those whose anchor lies in the view (right and
// bottom edges outside), puts each on the side of the view's half its anchor
// is in (the middle going right), and spreads each side's labels along its
// edge, in the order of their anchors' heights (ties keep their order).
// Returns the left side's callouts, top to bottom, then the right side's.
QList<AnnotationCallout> layOutCallouts(const QList<AnnotationCallout> &callouts, const QSizeF &viewportSize,
                                        const CalloutMetrics &metrics);
