#include "model/JsonCoding.h"

#include <QVariant>

#include <cmath>

namespace {

QString missingKey(const QString &typeName, const QString &key)
{
    return QStringLiteral("%1: missing key \"%2\"").arg(typeName, key);
}

QString wrongType(const QString &typeName, const QString &key, const QString &expected)
{
    return QStringLiteral("%1: \"%2\" must be %3").arg(typeName, key, expected);
}

bool isHexDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

} // namespace

QString uuidText(const QUuid &uuid)
{
    return uuid.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> uuidFromText(const QString &text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool hyphenPlace = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphenPlace ? text[i] != u'-' : !isHexDigit(text[i]))
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<qint64> jsonInteger(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const QVariant variant = value.toVariant();
    if (variant.typeId() == QMetaType::LongLong)
        return variant.toLongLong();
    const double d = value.toDouble();
    // 2^63 is the first double past the range of qint64.
    if (!std::isfinite(d) || std::trunc(d) != d || d < -9223372036854775808.0 || d >= 9223372036854775808.0)
        return std::nullopt;
    return qint64(d);
}

Result<QJsonObject, QString> decodeObject(const QJsonValue &value, const QString &typeName)
{
    if (!value.isObject())
        return Result<QJsonObject, QString>::failure(QStringLiteral("%1: expected an object").arg(typeName));
    return Result<QJsonObject, QString>(value.toObject());
}

namespace {

// The value under a required key that passes `hasType`.
template<class T, class HasType, class Convert>
Result<T, QString> decodeRequired(const QJsonObject &object, const QString &key, const QString &typeName,
                               const QString &expected, HasType hasType, Convert convert)
{
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        return Result<T, QString>::failure(missingKey(typeName, key));
    const QJsonValue value = *it;
    if (!hasType(value))
        return Result<T, QString>::failure(wrongType(typeName, key, expected));
    return Result<T, QString>(convert(value));
}

} // namespace

Result<qint64, QString> decodeInteger(const QJsonObject &object, const QString &key, const QString &typeName)
{
    return decodeRequired<qint64>(
        object, key, typeName, QStringLiteral("an integer"),
        [](const QJsonValue &value) { return jsonInteger(value).has_value(); },
        [](const QJsonValue &value) { return *jsonInteger(value); });
}

Result<std::optional<qint64>, QString> decodeOptionalInteger(const QJsonObject &object, const QString &key,
                                                          const QString &typeName)
{
    using Decoded = Result<std::optional<qint64>, QString>;
    const auto it = object.constFind(key);
    if (it == object.constEnd() || it->isNull())
        return Decoded(std::nullopt);
    const std::optional<qint64> integer = jsonInteger(*it);
    if (!integer)
        return Decoded::failure(wrongType(typeName, key, QStringLiteral("an integer")));
    return Decoded(integer);
}

Result<double, QString> decodeDouble(const QJsonObject &object, const QString &key, const QString &typeName)
{
    return decodeRequired<double>(
        object, key, typeName, QStringLiteral("a number"), [](const QJsonValue &value) { return value.isDouble(); },
        [](const QJsonValue &value) { return value.toDouble(); });
}

Result<QString, QString> decodeString(const QJsonObject &object, const QString &key, const QString &typeName)
{
    return decodeRequired<QString>(
        object, key, typeName, QStringLiteral("a string"), [](const QJsonValue &value) { return value.isString(); },
        [](const QJsonValue &value) { return value.toString(); });
}

Result<QUuid, QString> decodeUuid(const QJsonObject &object, const QString &key, const QString &typeName)
{
    const Result<QString, QString> text = decodeString(object, key, typeName);
    if (!text)
        return Result<QUuid, QString>::failure(text.error());
    const std::optional<QUuid> uuid = uuidFromText(text.value());
    if (!uuid)
        return Result<QUuid, QString>::failure(wrongType(typeName, key, QStringLiteral("a UUID")));
    return Result<QUuid, QString>(*uuid);
}
