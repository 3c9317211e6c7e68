#pragma once

#include "model/MetadataEnum.h"

#include <array>

// The classification vocabulary of an image. Each enumeration is stored as
// the integer raw value of its case; 0 is always `unknown`.

enum class Modality : int { dx = 1, ct = 2, mr = 3, nm = 4, pt = 5, us = 6, xa = 7, unknown = 0 };

enum class Region : int {
    head = 1, neck = 2, spine = 3, thorax = 4, abdomen = 5, pelvis = 6, upperLimb = 7, lowerLimb = 8,
    unknown = 0
};

enum class Plane : int { axial = 2, coronal = 3, sagittal = 4, unspecified = 1, unknown = 0 };

enum class Sex : int { male = 2, female = 3, unspecified = 1, unknown = 0 };

template<>
struct MetadataEnumTraits<Modality> {
    static constexpr std::array cases{Modality::dx, Modality::ct, Modality::mr, Modality::nm,
                                      Modality::pt, Modality::us, Modality::xa, Modality::unknown};
    static QString title(Modality value); // the two-letter code; an em dash for `unknown`
};

template<>
struct MetadataEnumTraits<Region> {
    static constexpr std::array cases{Region::head, Region::neck, Region::spine, Region::thorax,
                                      Region::abdomen, Region::pelvis, Region::upperLimb,
                                      Region::lowerLimb, Region::unknown};
    static QString title(Region value);
};

template<>
struct MetadataEnumTraits<Plane> {
    static constexpr std::array cases{Plane::axial, Plane::coronal, Plane::sagittal, Plane::unspecified,
                                      Plane::unknown};
    static QString title(Plane value);
};

template<>
struct MetadataEnumTraits<Sex> {
    static constexpr std::array cases{Sex::male, Sex::female, Sex::unspecified, Sex::unknown};
    static QString title(Sex value);
};

// The full name of a modality, such as "Computed Tomography (CT)".
QString longTitle(Modality value);

// A stored plane value read as a plane (`unknown` outside the cases).
constexpr Plane planeFromRaw(qint64 planeRaw)
{
    return caseFromRaw<Plane>(planeRaw);
}
