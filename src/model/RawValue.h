#pragma once

#include "model/AgeSpec.h"
#include "model/MetadataEnums.h"

#include <QtGlobal>

// Reading a stored raw value as a case: the case with that raw value, or
// `unknown` for any other integer (negative ones included).
template<class E>
struct RawValueRange;
template<>
struct RawValueRange<Modality> {
    static constexpr qint64 last = 7;
};
template<>
struct RawValueRange<Region> {
    static constexpr qint64 last = 8;
};
template<>
struct RawValueRange<Plane> {
    static constexpr qint64 last = 4;
};
template<>
struct RawValueRange<Sex> {
    static constexpr qint64 last = 3;
};
template<>
struct RawValueRange<AgeSpec::Kind> {
    static constexpr qint64 last = 5;
};

template<class E>
E caseFromRaw(qint64 raw)
{
    return raw >= 0 && raw <= RawValueRange<E>::last ? static_cast<E>(raw) : E::unknown;
}

template<class E>
qint64 rawValue(E value)
{
    return static_cast<qint64>(value);
}
