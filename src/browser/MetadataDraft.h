#pragma once

#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"

#include <QHashFunctions>
#include <QString>

#include <utility>

class AtlasImage;
class Series;

// The metadata that the metadata sheet edits and then writes into one or more
// images: a title and the five classifications. The age value is always held,
// also for age kinds that carry none; only `ageSpec()` decides whether it
// reaches a model.
struct MetadataDraft {
    QString title;
    Modality modality = Modality::mr;
    Region region = Region::head;
    Plane plane = Plane::unspecified;
    AgeSpec::Kind ageKind = AgeSpec::Kind::unspecified;
    qint64 ageValue = 30;
    Sex sex = Sex::unspecified;

    MetadataDraft() = default;
    // The given title with the defaults above.
    explicit MetadataDraft(const QString &title);
    // The values of an existing image (stored integers outside the cases read
    // as unknown; no age value proposes 30, a stored value is taken as is).
    static MetadataDraft fromImage(const AtlasImage &image);
    // The series' title with the metadata of its image with the smallest sort
    // index (the first one met among equals); the defaults when it has none.
    static MetadataDraft fromSeries(const Series &series);

    // The age the draft stands for: a value only for fetal, months and years.
    AgeSpec ageSpec() const;
    // Writes title, modality, region, plane, age and sex into the image, in
    // that order, one observed change each. Does not save.
    void apply(AtlasImage &image) const;
    // What the sheet confirms: the title trimmed of white space and line
    // breaks, the age value clamped into the range of its kind.
    MetadataDraft normalized() const;

    // Permitted age values by kind (closed range): fetal 1...45, months
    // 0...17, every other kind 0...120.
    static std::pair<qint64, qint64> ageValueRange(AgeSpec::Kind kind);
    // `value` raised to the lowest value of the kind's range, then lowered to
    // the highest.
    static qint64 clampedAgeValue(qint64 value, AgeSpec::Kind kind);

    friend bool operator==(const MetadataDraft &, const MetadataDraft &) = default;
};

size_t qHash(const MetadataDraft &draft, size_t seed = 0) noexcept;

// The sentence under the sheet's header when the import names no other:
// "Metadata applies to this image." for one, else the count of ordered images.
QString metadataAppliesSubtitle(qsizetype count);
