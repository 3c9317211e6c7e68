#pragma once

// The classification vocabulary of an image. Each enumeration is stored as
// the integer raw value of its case; 0 is always `unknown`.

enum class Modality : int { dx = 1, ct = 2, mr = 3, nm = 4, pt = 5, us = 6, xa = 7, unknown = 0 };

enum class Region : int {
    head = 1, neck = 2, spine = 3, thorax = 4, abdomen = 5, pelvis = 6, upperLimb = 7, lowerLimb = 8,
    unknown = 0
};

enum class Plane : int { axial = 2, coronal = 3, sagittal = 4, unspecified = 1, unknown = 0 };

enum class Sex : int { male = 2, female = 3, unspecified = 1, unknown = 0 };
