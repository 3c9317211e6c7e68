#pragma once

#include <QList>
#include <QString>

class PointAnnotation;
class RegionAnnotation;

// One group switch of the inspector: a group name, or "Ungrouped" for the
// annotations in no group, and how many annotations it covers.
struct AnnotationGroupSummary {
    QString name;
    qsizetype count = 0;

    // The count as its chip shows it: a whole number in the user's locale
    // (QLocale()), its digits and its grouping of thousands.
    QString countText() const;

    friend bool operator==(const AnnotationGroupSummary &, const AnnotationGroupSummary &) = default;
};

// The groups of an image's annotations (all its regions, whatever their
// number of corners), in the order of allGroupNames. "Ungrouped" is listed
// once, also when a group has that name: it then counts the annotations in
// no group and those in the group, which are shown and hidden together.
QList<AnnotationGroupSummary> groupSummaries(const QList<PointAnnotation *> &points,
                                             const QList<RegionAnnotation *> &regions);
