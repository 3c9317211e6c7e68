#pragma once

#include <QList>
#include <QString>

class AtlasImage;

// One line of an image's metadata as the image screen shows it.
struct MetadataEntry {
    QString title;
    QString value;

    friend bool operator==(const MetadataEntry &, const MetadataEntry &) = default;
};

// The five entries of the screen's information area, always in this order:
// "Modality" (its short code, an em dash when unknown), "Region", "Plane",
// "Age" and "Sex", read from the image as it is now.
QList<MetadataEntry> metadataEntries(const AtlasImage &image);
