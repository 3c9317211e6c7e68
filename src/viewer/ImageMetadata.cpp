#include "viewer/ImageMetadata.h"

#include "model/AtlasImage.h"

QList<MetadataEntry> metadataEntries(const AtlasImage &image)
{
    return {
        {QStringLiteral("Modality"), title(image.modality())},
        {QStringLiteral("Region"), title(image.region())},
        {QStringLiteral("Plane"), title(planeFromRaw(image.planeRaw()))},
        {QStringLiteral("Age"), image.age().displayText()},
        {QStringLiteral("Sex"), title(image.sex())},
    };
}
