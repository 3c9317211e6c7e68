#include "viewer/AnnotationGroupSummary.h"

#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"

#include <QHash>
#include <QLocale>

QString AnnotationGroupSummary::countText() const
{
    return QLocale().toString(count);
}

QList<AnnotationGroupSummary> groupSummaries(const QList<PointAnnotation *> &points,
                                             const QList<RegionAnnotation *> &regions)
{
    // One pass over the annotations: their group strings, and the members
    // of each name.
    QStringList groupStrings;
    groupStrings.reserve(points.size() + regions.size());
    for (const PointAnnotation *point : points)
        groupStrings.append(point->group());
    for (const RegionAnnotation *region : regions)
        groupStrings.append(region->group());
    QHash<QString, qsizetype> members;
    for (const QString &groupString : std::as_const(groupStrings)) {
        const QStringList names = parseGroupNames(groupString);
        if (names.isEmpty())
            ++members[ungroupedGroupName()];
        for (const QString &name : names)
            ++members[name];
    }

    QStringList names = allGroupNames(groupStrings);
    // A group named "Ungrouped" and the annotations in no group are one
    // switch: keep the entry at the end, where the latter are listed.
    if (names.count(ungroupedGroupName()) > 1)
        names.removeOne(ungroupedGroupName());
    QList<AnnotationGroupSummary> summaries;
    summaries.reserve(names.size());
    for (const QString &name : std::as_const(names))
        summaries.append({name, members.value(name)});
    return summaries;
}
