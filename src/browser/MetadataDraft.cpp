#include "browser/MetadataDraft.h"

#include "model/AtlasImage.h"
#include "model/Series.h"
#include "platform/LocalizedText.h"

#include <algorithm>

MetadataDraft::MetadataDraft(const QString &title)
    : title(title)
{
}

MetadataDraft MetadataDraft::fromImage(const AtlasImage &image)
{
    MetadataDraft draft(image.title());
    draft.modality = image.modality();
    draft.region = image.region();
    draft.plane = planeFromRaw(image.planeRaw());
    const AgeSpec age = image.age();
    draft.ageKind = age.kind();
    draft.ageValue = age.value.value_or(30);
    draft.sex = image.sex();
    return draft;
}

MetadataDraft MetadataDraft::fromSeries(const Series &series)
{
    const QList<AtlasImage *> images = series.images();
    if (images.isEmpty())
        return MetadataDraft(series.title());
    const AtlasImage *first = images.first();
    for (const AtlasImage *image : images) {
        if (image->sortIndex() < first->sortIndex())
            first = image;
    }
    MetadataDraft draft = fromImage(*first);
    draft.title = series.title();
    return draft;
}

AgeSpec MetadataDraft::ageSpec() const
{
    AgeSpec age;
    age.kindRaw = static_cast<int>(ageKind);
    switch (ageKind) {
    case AgeSpec::Kind::fetal:
    case AgeSpec::Kind::months:
    case AgeSpec::Kind::years:
        age.value = ageValue;
        break;
    case AgeSpec::Kind::neonate:
    case AgeSpec::Kind::unspecified:
    case AgeSpec::Kind::unknown:
        break;
    }
    return age;
}

void MetadataDraft::apply(AtlasImage &image) const
{
    image.setTitle(title);
    image.setModalityRaw(rawValue(modality));
    image.setRegionRaw(rawValue(region));
    image.setPlaneRaw(rawValue(plane));
    image.setAge(ageSpec());
    image.setSexRaw(rawValue(sex));
}

MetadataDraft MetadataDraft::normalized() const
{
    MetadataDraft draft = *this;
    draft.title = trimmingWhitespaceAndNewlines(title);
    draft.ageValue = clampedAgeValue(ageValue, ageKind);
    return draft;
}

qint64 MetadataDraft::clampedAgeValue(qint64 value, AgeSpec::Kind kind)
{
    const auto [lowest, highest] = ageValueRange(kind);
    return std::min(std::max(value, lowest), highest);
}

std::pair<qint64, qint64> MetadataDraft::ageValueRange(AgeSpec::Kind kind)
{
    switch (kind) {
    case AgeSpec::Kind::fetal:
        return {1, 45};
    case AgeSpec::Kind::months:
        return {0, 17};
    case AgeSpec::Kind::neonate:
    case AgeSpec::Kind::years:
    case AgeSpec::Kind::unspecified:
    case AgeSpec::Kind::unknown:
        break;
    }
    return {0, 120};
}

size_t qHash(const MetadataDraft &draft, size_t seed) noexcept
{
    return qHashMulti(seed, draft.title, rawValue(draft.modality), rawValue(draft.region), rawValue(draft.plane),
                      rawValue(draft.ageKind), draft.ageValue, rawValue(draft.sex));
}

QString metadataAppliesSubtitle(qsizetype count)
{
    if (count == 1)
        return QStringLiteral("Metadata applies to this image.");
    return QStringLiteral("Metadata applies to ") + QString::number(count) + QStringLiteral(" ordered images.");
}
