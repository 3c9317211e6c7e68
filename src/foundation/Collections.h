#pragma once

#include "foundation/CharacterSet.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// Helpers over lists and enumerations.

// How often each element occurs.
template <typename T>
QHash<T, int> elementsAndCounts(const QList<T> &list)
{
    QHash<T, int> counts;
    for (const T &element : list)
        ++counts[element];
    return counts;
}

// The elements of `list`, in order, that are not in `items`; duplicates stay.
template <typename T>
QList<T> removingItems(const QList<T> &list, const QList<T> &items)
{
    QList<T> kept;
    for (const T &element : list) {
        if (!items.contains(element))
            kept.append(element);
    }
    return kept;
}

// Removes the first `element` from `list`, if there is one.
template <typename T>
void remove(QList<T> &list, const T &element)
{
    list.removeOne(element);
}

// The index after `index`, when it is inside the list.
template <typename C>
std::optional<qsizetype> safeIndexAfter(const C &collection, qsizetype index)
{
    const qsizetype next = index + 1;
    if (next >= qsizetype(collection.size()))
        return std::nullopt;
    return next;
}

// The index after `index`; the first after the last.
template <typename C>
qsizetype indexAfterWithWrapAround(const C &collection, qsizetype index)
{
    return safeIndexAfter(collection, index).value_or(0);
}

// The element after the first `element`; none when it is absent or last.
template <typename C, typename T>
std::optional<T> itemAfter(const C &collection, const T &element)
{
    const qsizetype index = collection.indexOf(element);
    if (index < 0)
        return std::nullopt;
    const auto next = safeIndexAfter(collection, index);
    return next ? std::optional<T>(collection.at(*next)) : std::nullopt;
}

// The element after the first `element`, the first following the last;
// none only when `element` is absent.
template <typename C, typename T>
std::optional<T> itemAfterWithWrapAround(const C &collection, const T &element)
{
    const qsizetype index = collection.indexOf(element);
    if (index < 0)
        return std::nullopt;
    return std::optional<T>(collection.at(indexAfterWithWrapAround(collection, index)));
}

// One name and optional value of a URL's query.
struct URLQueryItem {
    QString name;
    std::optional<QString> value;
};

// The value of the first item named exactly `name`; none when there is
// none or it has no value.
std::optional<QString> queryItemValue(const QList<URLQueryItem> &items, const QString &name);

// The case after `value` in `allCases`, the first following the last. A
// value missing from `allCases` is a programming error and stops the
// program ("Could not find <value> in allCases").
template <typename E, std::size_t N>
E nextCase(E value, const std::array<E, N> &allCases)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (allCases[i] == value)
            return allCases[(i + 1) % N];
    }
    qFatal("Could not find %lld in allCases", static_cast<long long>(value));
}

// The six brackets "()[]{}", and every other character.
const CharacterSet &bracketCharacters();
const CharacterSet &nonBracketCharacters();
