#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// What points and regions share about groups: one comma-separated string
// of group names per annotation. Readers accept any such text; every write
// made here stores the normalised form: trimmed names, no empties, no
// repeats, in order of first appearance, joined by ", ".
class TaggedAnnotation {
public:
    virtual ~TaggedAnnotation() = default;

    virtual QString group() const = 0;
    virtual void setGroup(const QString &group) = 0;

    // The parsed names of group().
    QStringList groupNames() const;
    // Whether `name`, exactly as given (not trimmed), is one of the names.
    bool hasGroup(const QString &name) const;
    // Writes the names in normalised form; a name holding a comma becomes
    // two names.
    void setGroups(const QStringList &names);
    // Adds a name (trimmed). Writes nothing when it is blank or already there.
    void addGroup(const QString &name);
    // Removes every occurrence of a name (trimmed); always writes, which
    // normalises the stored string.
    void removeGroup(const QString &name);
};

// The name that stands for annotations in no group, both in lists of group
// names and among switched-off groups.
QString ungroupedGroupName();

// The group names of a group string: split at commas, trimmed of white
// space and newlines, empty names and repeats dropped, in order of first
// appearance.
QStringList parseGroupNames(const QString &text);

// The distinct names found in many group strings, sorted in the locale's
// standard order (case ignored, numbers by value, stable), followed by
// "Ungrouped" when some string names no group.
QStringList allGroupNames(const QStringList &groupStrings);

// Whether an annotation with the given (parsed) groups shows when the
// groups in `disabledGroups` are switched off: an annotation in no group
// shows unless "Ungrouped" is switched off; otherwise it shows while at
// least one of its groups is on.
bool isVisible(const QStringList &groups, const QSet<QString> &disabledGroups);
