#pragma once

#include <QString>
#include <QStringList>

// What points and regions share about groups: one comma-separated string
// of group names per annotation.
class TaggedAnnotation {
public:
    virtual ~TaggedAnnotation() = default;

    virtual QString group() const = 0;
    virtual void setGroup(const QString &group) = 0;

    QStringList groupNames() const;
    bool hasGroup(const QString &name) const;
    void setGroups(const QStringList &names);
    void addGroup(const QString &name);
    void removeGroup(const QString &name);
};
