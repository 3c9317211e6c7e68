#pragma once

#include "model/JsonCoding.h"
#include "model/MetadataEnum.h"

#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

// The subject's age: how it is given (the raw value of AgeSpec::Kind) and
// an optional number (weeks for fetal, months for months, years for years).
struct AgeSpec {
    enum class Kind : int { fetal = 2, neonate = 3, months = 4, years = 5, unspecified = 1, unknown = 0 };

    qint64 kindRaw = 1;
    std::optional<qint64> value;

    friend bool operator==(const AgeSpec &, const AgeSpec &) = default;

    // The kind named by kindRaw; `unknown` for any other number.
    Kind kind() const;

    // The full text of the age, such as "Fetal 24w", "1 month" or "Years".
    QString displayText() const;

    // A short text for tight places, such as "24/40", "2m" or "7y"; empty
    // where there is nothing short to show.
    QString compactText() const;

    // {"kindRaw": n} and "value" only when there is one.
    QJsonObject toJson() const;
    // Needs "kindRaw"; a missing or null "value" reads as none. Numbers must
    // be whole and fit in 64 bits.
    static Result<AgeSpec, QString> fromJson(const QJsonValue &json);
};

size_t qHash(const AgeSpec &age, size_t seed = 0) noexcept;

template<>
struct MetadataEnumTraits<AgeSpec::Kind> {
    using Kind = AgeSpec::Kind;
    static constexpr std::array cases{Kind::fetal, Kind::neonate, Kind::months, Kind::years,
                                      Kind::unspecified, Kind::unknown};
    static QString title(Kind value);
};
