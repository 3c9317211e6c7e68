#pragma once

#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <optional>

// Conversions between model values and SQLite column values, shared by the
// model classes' storage code.
namespace StoreValues {

inline QVariant fromUuid(const QUuid &id)
{
    return id.toRfc4122();
}

template<class T>
QVariant fromOptional(const std::optional<T> &value)
{
    return value ? QVariant::fromValue(*value) : QVariant();
}

} // namespace StoreValues
