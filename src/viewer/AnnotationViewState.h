#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>

// How one image screen shows its annotations, chosen by the user and kept
// by the screen: the groups switched off ("Ungrouped" stands for the
// annotations in no group) and the highlighted annotation. The overlay, the
// drawer list and the group inspector read it and follow its signals; it is
// written by the screen in answer to their requests. Setters notify only
// when the value really changes. GUI thread.
class AnnotationViewState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    const QSet<QString> &disabledGroups() const { return m_disabledGroups; }
    void setDisabledGroups(const QSet<QString> &groups);
    // Switches a group off, or on again when it is off.
    void toggleGroup(const QString &name);

    std::optional<QUuid> highlightedID() const { return m_highlightedID; }
    void setHighlightedID(const std::optional<QUuid> &id);

    // Every group on, nothing highlighted: for another image.
    void reset();

signals:
    void disabledGroupsChanged();
    void highlightedIDChanged();

private:
    QSet<QString> m_disabledGroups;
    std::optional<QUuid> m_highlightedID;
};
