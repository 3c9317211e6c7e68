#include "model/TaggedAnnotation.h"

#include "platform/LocalizedText.h"

#include <algorithm>

QString ungroupedGroupName()
{
    return QStringLiteral("Ungrouped");
}

QStringList parseGroupNames(const QString &text)
{
    QStringList names;
    const QStringList pieces = text.split(u',', Qt::SkipEmptyParts);
    for (const QString &piece : pieces) {
        const QString name = trimmingWhitespaceAndNewlines(piece);
        if (!name.isEmpty() && !names.contains(name))
            names.append(name);
    }
    return names;
}

QStringList allGroupNames(const QStringList &groupStrings)
{
    QStringList names;
    QSet<QString> seen;
    bool hasUngrouped = false;
    for (const QString &groupString : groupStrings) {
        const QStringList parsed = parseGroupNames(groupString);
        if (parsed.isEmpty())
            hasUngrouped = true;
        for (const QString &name : parsed) {
            if (!seen.contains(name)) {
                seen.insert(name);
                names.append(name);
            }
        }
    }
    std::stable_sort(names.begin(), names.end(),
                     [](const QString &a, const QString &b) { return localizedStandardCompare(a, b) < 0; });
    if (hasUngrouped)
        names.append(ungroupedGroupName());
    return names;
}

bool isVisible(const QStringList &groups, const QSet<QString> &disabledGroups)
{
    if (groups.isEmpty())
        return !disabledGroups.contains(ungroupedGroupName());
    return std::any_of(groups.begin(), groups.end(),
                       [&](const QString &name) { return !disabledGroups.contains(name); });
}

QStringList TaggedAnnotation::groupNames() const
{
    return parseGroupNames(group());
}

bool TaggedAnnotation::hasGroup(const QString &name) const
{
    return groupNames().contains(name);
}

void TaggedAnnotation::setGroups(const QStringList &names)
{
    setGroup(parseGroupNames(names.join(u',')).join(QStringLiteral(", ")));
}

void TaggedAnnotation::addGroup(const QString &name)
{
    const QString trimmed = trimmingWhitespaceAndNewlines(name);
    if (trimmed.isEmpty() || hasGroup(trimmed))
        return;
    QStringList names = groupNames();
    names.append(trimmed);
    setGroups(names);
}

void TaggedAnnotation::removeGroup(const QString &name)
{
    const QString trimmed = trimmingWhitespaceAndNewlines(name);
    QStringList names = groupNames();
    names.removeAll(trimmed);
    setGroups(names);
}
