#pragma once

#include <QHashFunctions>
#include <QList>
#include <QString>

#include <concepts>
#include <optional>
#include <type_traits>

// What the metadata enumerations (Modality, Region, Plane, Sex and
// AgeSpec::Kind) share. Each one specialises MetadataEnumTraits with
//   static constexpr std::array cases  - every case in declaration order,
//                                         `unknown` last;
//   static QString title(E)            - the display text of a case.
// Everything else derives from that.
template<class E>
struct MetadataEnumTraits;

template<class E>
concept MetadataEnum = std::is_enum_v<E> && requires(E value) {
    MetadataEnumTraits<E>::cases;
    { MetadataEnumTraits<E>::title(value) } -> std::convertible_to<QString>;
    E::unknown;
};

// The integer stored for a case.
template<MetadataEnum E>
constexpr qint64 rawValue(E value)
{
    return static_cast<qint64>(value);
}

// The identifier of a case, which is its raw value.
template<MetadataEnum E>
constexpr qint64 id(E value)
{
    return rawValue(value);
}

// Every case, in declaration order.
template<MetadataEnum E>
QList<E> allCases()
{
    const auto &cases = MetadataEnumTraits<E>::cases;
    return QList<E>(cases.begin(), cases.end());
}

// The cases offered for choice: every case but `unknown`, in declaration order.
template<MetadataEnum E>
QList<E> selectableCases()
{
    QList<E> result;
    for (E value : MetadataEnumTraits<E>::cases) {
        if (value != E::unknown)
            result.append(value);
    }
    return result;
}

// The case with the given raw value, or none for any other number.
template<MetadataEnum E>
constexpr std::optional<E> fromRawValue(qint64 raw)
{
    for (E value : MetadataEnumTraits<E>::cases) {
        if (rawValue(value) == raw)
            return value;
    }
    return std::nullopt;
}

// A stored raw value read as a case: `unknown` for a number outside the cases.
template<MetadataEnum E>
constexpr E caseFromRaw(qint64 raw)
{
    return fromRawValue<E>(raw).value_or(E::unknown);
}

// The display text of a case.
template<MetadataEnum E>
QString title(E value)
{
    return MetadataEnumTraits<E>::title(value);
}

template<MetadataEnum E>
size_t qHash(E value, size_t seed) noexcept
{
    return ::qHash(rawValue(value), seed);
}
