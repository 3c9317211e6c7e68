#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

// The outcome of reading a value from its encoded (JSON) form: the value,
// or a message that says what was wrong with the input.
template<class T>
class DecodeResult {
public:
    static DecodeResult success(T value)
    {
        DecodeResult result;
        result.m_value.emplace(std::move(value));
        return result;
    }
    static DecodeResult failure(QString error)
    {
        DecodeResult result;
        result.m_error = std::move(error);
        return result;
    }

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    const T &value() const { return *m_value; }
    T &value() { return *m_value; }

    // Empty when ok().
    const QString &error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

// A UUID in its standard 36-character text form, upper-case
// ("E621E1F8-C36C-495A-93FC-0C247A3E6E5F").
QString uuidText(const QUuid &uuid);

// Reads the 36-character text form in either letter case; none for
// anything else (braces included).
std::optional<QUuid> uuidFromText(const QString &text);

// The value of a JSON number that is a whole number within 64 bits; none
// for fractions, other types and numbers out of range.
std::optional<qint64> jsonInteger(const QJsonValue &value);

// Readers of one key of an encoded object. `typeName` names the type being
// read in the error message, such as `AgeSpec: missing key "kindRaw"`.
DecodeResult<QJsonObject> decodeObject(const QJsonValue &value, const QString &typeName);
DecodeResult<qint64> decodeInteger(const QJsonObject &object, const QString &key, const QString &typeName);
// A missing key or null reads as absent.
DecodeResult<std::optional<qint64>> decodeOptionalInteger(const QJsonObject &object, const QString &key,
                                                          const QString &typeName);
DecodeResult<double> decodeDouble(const QJsonObject &object, const QString &key, const QString &typeName);
DecodeResult<QString> decodeString(const QJsonObject &object, const QString &key, const QString &typeName);
DecodeResult<QUuid> decodeUuid(const QJsonObject &object, const QString &key, const QString &typeName);

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
DecodeResult<QList<T>> listFromJson(const QJsonValue &value)
{
    if (!value.isArray())
        return DecodeResult<QList<T>>::failure(QStringLiteral("expected a list"));
    const QJsonArray array = value.toArray();
    QList<T> result;
    result.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        DecodeResult<T> element = T::fromJson(array.at(i));
        if (!element)
            return DecodeResult<QList<T>>::failure(QStringLiteral("item %1: %2").arg(i).arg(element.error()));
        result.append(std::move(element.value()));
    }
    return DecodeResult<QList<T>>::success(std::move(result));
}
