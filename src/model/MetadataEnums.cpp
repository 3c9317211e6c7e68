#include "model/MetadataEnums.h"

// Values outside the cases (only reachable through a cast) show as the
// text of `unknown`.

QString MetadataEnumTraits<Modality>::title(Modality value)
{
    switch (value) {
    case Modality::dx: return QStringLiteral("DX");
    case Modality::ct: return QStringLiteral("CT");
    case Modality::mr: return QStringLiteral("MR");
    case Modality::nm: return QStringLiteral("NM");
    case Modality::pt: return QStringLiteral("PT");
    case Modality::us: return QStringLiteral("US");
    case Modality::xa: return QStringLiteral("XA");
    case Modality::unknown: break;
    }
    return QString(QChar(0x2014)); // em dash
}

QString longTitle(Modality value)
{
    switch (value) {
    case Modality::dx: return QStringLiteral("Digital Radiography (DX)");
    case Modality::ct: return QStringLiteral("Computed Tomography (CT)");
    case Modality::mr: return QStringLiteral("Magnetic Resonance (MR)");
    case Modality::nm: return QStringLiteral("Nuclear Medicine (NM)");
    case Modality::pt: return QStringLiteral("PET (PT)");
    case Modality::us: return QStringLiteral("Ultrasound (US)");
    case Modality::xa: return QStringLiteral("X-ray Angiography (XA)");
    case Modality::unknown: break;
    }
    return QStringLiteral("Unknown");
}

QString MetadataEnumTraits<Region>::title(Region value)
{
    switch (value) {
    case Region::head: return QStringLiteral("Head");
    case Region::neck: return QStringLiteral("Neck");
    case Region::spine: return QStringLiteral("Spine");
    case Region::thorax: return QStringLiteral("Thorax");
    case Region::abdomen: return QStringLiteral("Abdomen");
    case Region::pelvis: return QStringLiteral("Pelvis");
    case Region::upperLimb: return QStringLiteral("Upper limb");
    case Region::lowerLimb: return QStringLiteral("Lower limb");
    case Region::unknown: break;
    }
    return QStringLiteral("Unknown");
}

QString MetadataEnumTraits<Plane>::title(Plane value)
{
    switch (value) {
    case Plane::axial: return QStringLiteral("Axial");
    case Plane::coronal: return QStringLiteral("Coronal");
    case Plane::sagittal: return QStringLiteral("Sagittal");
    case Plane::unspecified: return QStringLiteral("Unspecified");
    case Plane::unknown: break;
    }
    return QStringLiteral("Unknown");
}

QString MetadataEnumTraits<Sex>::title(Sex value)
{
    switch (value) {
    case Sex::male: return QStringLiteral("Male");
    case Sex::female: return QStringLiteral("Female");
    case Sex::unspecified: return QStringLiteral("Unspecified");
    case Sex::unknown: break;
    }
    return QStringLiteral("Unknown");
}
