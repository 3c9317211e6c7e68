#pragma once

#include "model/AnnotationLink.h"
#include "ui/ContentUnavailableView.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QUuid>

class PointAnnotation;
class RegionAnnotation;

// One annotation as the drawer lists it.
struct AnnotationRow {
    QUuid id;
    QString label;       // as stored, possibly empty
    QString placeholder; // "Point" or "Region"
    QStringList tags;    // its group names
    QList<AnnotationLink> links; // those that open something

    // The label, or the placeholder when the label is empty.
    QString displayName() const { return label.isEmpty() ? placeholder : label; }
};

// The drawer's rows: the points, then the regions with at least three
// corners, that the switched-off groups leave visible, sorted by display
// name in the order file browsers use (stable: equal names keep points
// before regions, each in the image's order).
QList<AnnotationRow> annotationRows(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions,
                                    const QSet<QString> &disabledGroups);

// What the drawer shows when it has no rows: "Annotations Hidden" when the
// image has annotations it could list (`listable`: its points and complete
// regions), else "No Annotations".
ContentUnavailableView::Content emptyAnnotationList(qsizetype listable);

// The points plus the regions with at least three corners.
qsizetype listableAnnotationCount(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions);
