#include "viewer/AnnotationViewState.h"

void AnnotationViewState::setDisabledGroups(const QSet<QString> &groups)
{
    if (groups == m_disabledGroups)
        return;
    m_disabledGroups = groups;
    emit disabledGroupsChanged();
}

void AnnotationViewState::toggleGroup(const QString &name)
{
    QSet<QString> groups = m_disabledGroups;
    if (!groups.remove(name))
        groups.insert(name);
    setDisabledGroups(groups);
}

void AnnotationViewState::setHighlightedID(const std::optional<QUuid> &id)
{
    if (id == m_highlightedID)
        return;
    m_highlightedID = id;
    emit highlightedIDChanged();
}

void AnnotationViewState::reset()
{
    setDisabledGroups({});
    setHighlightedID(std::nullopt);
}
