#include "editor/EditorSelection.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"

std::optional<EditorSelection> EditorSelection::forAnnotation(const std::optional<QUuid> &id, const AtlasImage &image)
{
    if (!id)
        return std::nullopt;
    if (findPoint(image, *id))
        return point(*id);
    if (findRegion(image, *id))
        return region(*id);
    return std::nullopt;
}

PointAnnotation *findPoint(const AtlasImage &image, const QUuid &id)
{
    for (PointAnnotation *point : image.points()) {
        if (point->id() == id)
            return point;
    }
    return nullptr;
}

RegionAnnotation *findRegion(const AtlasImage &image, const QUuid &id)
{
    for (RegionAnnotation *region : image.regions()) {
        if (region->id() == id)
            return region;
    }
    return nullptr;
}
