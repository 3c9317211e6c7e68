#include "viewer/AnnotationViewState.h"

void AnnotationViewState::setDisabledGroups(const QSet<QString> &groups)
{
    if (m_disabledGroups == groups)
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
    if (m_highlightedID == id)
        return;
    m_highlightedID = id;
    emit highlightedIDChanged();
}

void AnnotationViewState::reset()
{
    setDisabledGroups({});
    setHighlightedID(std::nullopt);
}
