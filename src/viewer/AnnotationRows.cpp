#include "viewer/AnnotationRows.h"

#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "platform/LocalizedText.h"
#include "viewer/ImageAnnotations.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("AnnotationList", text);
}

template<class Annotation>
void appendVisible(QList<AnnotationRow> &rows, const Annotation &annotation, const QString &placeholder,
                   const QSet<QString> &disabledGroups)
{
    const QStringList tags = parseGroupNames(annotation.group());
    if (isVisible(tags, disabledGroups))
        rows.append({annotation.id(), annotation.label(), placeholder, tags, annotationLinkFilter(annotation)});
}

} // namespace

QList<AnnotationRow> annotationRows(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions,
                                    const QSet<QString> &disabledGroups)
{
    QList<AnnotationRow> rows;
    for (const PointAnnotation *point : points)
        appendVisible(rows, *point, tr("Point"), disabledGroups);
    for (const RegionAnnotation *region : regions) {
        if (region->vertices().size() > 2)
            appendVisible(rows, *region, tr("Region"), disabledGroups);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const AnnotationRow &a, const AnnotationRow &b) {
        return localizedStandardCompare(a.displayName(), b.displayName()) < 0;
    });
    return rows;
}

qsizetype listableAnnotationCount(const QList<PointAnnotation *> &points, const QList<RegionAnnotation *> &regions)
{
    return points.size() + std::count_if(regions.begin(), regions.end(), [](const RegionAnnotation *region) {
               return region->vertices().size() > 2;
           });
}

ContentUnavailableView::Content emptyAnnotationList(qsizetype listable)
{
    if (listable > 0) {
        return {QStringLiteral("Annotations Hidden"), QStringLiteral("tag.slash"),
                QStringLiteral("Turn annotation groups back on to show labels in this drawer."), std::nullopt};
    }
    return {QStringLiteral("No Annotations"), QStringLiteral("tag"),
            QStringLiteral("Use edit mode on a larger screen to add point and region labels."), std::nullopt};
}
