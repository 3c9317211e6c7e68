#pragma once

#include "platform/Result.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

// A UUID in its standard 36-character text form, upper-case
// ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F").
QString uuidText(const QUuid &uuid);

// Reads the 36-character text form in either letter case; none for
// anything else (braces included).
std::optional<QUuid> uuidFromText(const QString &text);

// The value of a JSON number that is a whole number within 64 bits; none
// for fractions, other types and numbers out of range.
std::optional<qint64> jsonInteger(const QJsonValue &value);

// Readers of one key of an encoded object: the value, or a message that says
// what was wrong with the input. `typeName` names the type being read in the
// message, such as `AgeSpec: missing key "kindRaw"`.
Result<QJsonObject, QString> decodeObject(const QJsonValue &value, const QString &typeName);
Result<qint64, QString> decodeInteger(const QJsonObject &object, const QString &key, const QString &typeName);
// A missing key or null reads as absent.
Result<std::optional<qint64>, QString> decodeOptionalInteger(const QJsonObject &object, const QString &key,
                                                          const QString &typeName);
Result<double, QString> decodeDouble(const QJsonObject &object, const QString &key, const QString &typeName);
Result<QString, QString> decodeString(const QJsonObject &object, const QString &key, const QString &typeName);
Result<QUuid, QString> decodeUuid(const QJsonObject &object, const QString &key, const QString &typeName);

// Lists of values that have toJson() and a static fromJson(const QJsonValue &).
template<class T>
QJsonArray toJsonArray(const QList<T> &values)
{
    QJsonArray array;
    for (const T &value : values)
        array.append(value.toJson());
    return array;
}

template<class T>
Result<QList<T>, QString> listFromJson(const QJsonValue &value)
{
    if (!value.isArray())
        return Result<QList<T>, QString>::failure(QStringLiteral("expected a list"));
    const QJsonArray array = value.toArray();
    QList<T> result;
    result.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        Result<T, QString> element = T::fromJson(array.at(i));
        if (!element)
            return Result<QList<T>, QString>::failure(QStringLiteral("item %1: %2").arg(i).arg(element.error()));
        result.append(std::move(element.value()));
    }
    return Result<QList<T>, QString>(std::move(result));
}
