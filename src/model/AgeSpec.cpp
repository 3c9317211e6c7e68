#include "model/AgeSpec.h"

namespace {

const QString typeName = QStringLiteral("AgeSpec");

// Numbers in the age texts: plain decimal, a minus sign when negative, no
// grouping.
QString number(qint64 n)
{
    return QString::number(n);
}

} // namespace

AgeSpec::Kind AgeSpec::kind() const
{
    return caseFromRaw<Kind>(kindRaw);
}

QString AgeSpec::displayText() const
{
    switch (kindRaw) {
    case 1:
        return QStringLiteral("Unspecified");
    case 2:
        return value ? QStringLiteral("Fetal ") + number(*value) + u'w' : QStringLiteral("Fetal");
    case 3:
        return QStringLiteral("Neonate");
    case 4:
        if (!value)
            return QStringLiteral("Months");
        return *value == 1 ? QStringLiteral("1 month") : number(*value) + QStringLiteral(" months");
    case 5:
        if (!value)
            return QStringLiteral("Years");
        return *value == 1 ? QStringLiteral("1 year") : number(*value) + QStringLiteral(" years");
    default:
        return QStringLiteral("Unknown");
    }
}

QString AgeSpec::compactText() const
{
    switch (kindRaw) {
    case 2:
        return value ? number(*value) + QStringLiteral("/40") : QString();
    case 3:
        return QStringLiteral("Neonate");
    case 4:
        return value ? number(*value) + u'm' : QString();
    case 5:
        return value ? number(*value) + u'y' : QString();
    default:
        return QString();
    }
}

QJsonObject AgeSpec::toJson() const
{
    QJsonObject object{{QStringLiteral("kindRaw"), kindRaw}};
    if (value)
        object.insert(QStringLiteral("value"), *value);
    return object;
}

Result<AgeSpec, QString> AgeSpec::fromJson(const QJsonValue &json)
{
    const Result<QJsonObject, QString> object = decodeObject(json, typeName);
    if (!object)
        return Result<AgeSpec, QString>::failure(object.error());
    const Result<qint64, QString> kind = decodeInteger(object.value(), QStringLiteral("kindRaw"), typeName);
    if (!kind)
        return Result<AgeSpec, QString>::failure(kind.error());
    const Result<std::optional<qint64>, QString> value =
        decodeOptionalInteger(object.value(), QStringLiteral("value"), typeName);
    if (!value)
        return Result<AgeSpec, QString>::failure(value.error());
    return AgeSpec{kind.value(), value.value()};
}

size_t qHash(const AgeSpec &age, size_t seed) noexcept
{
    return qHashMulti(seed, age.kindRaw, age.value.has_value(), age.value.value_or(0));
}

QString MetadataEnumTraits<AgeSpec::Kind>::title(Kind value)
{
    switch (value) {
    case Kind::fetal: return QStringLiteral("Fetal");
    case Kind::neonate: return QStringLiteral("Neonate");
    case Kind::months: return QStringLiteral("Months");
    case Kind::years: return QStringLiteral("Years");
    case Kind::unspecified: return QStringLiteral("Unspecified");
    case Kind::unknown: break;
    }
    return QStringLiteral("Unknown");
}
