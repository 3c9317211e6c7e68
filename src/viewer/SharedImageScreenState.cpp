#include "viewer/SharedImageScreenState.h"

void SharedImageScreenState::setIsEditing(bool isEditing)
{
    if (m_isEditing == isEditing)
        return;
    m_isEditing = isEditing;
    emit isEditingChanged(isEditing);
}

void SharedImageScreenState::setShowAnnotations(bool showAnnotations)
{
    if (m_showAnnotations == showAnnotations)
        return;
    m_showAnnotations = showAnnotations;
    emit showAnnotationsChanged(showAnnotations);
}

void SharedImageScreenState::setLinkedAnnotationID(const std::optional<QUuid> &id, bool animated)
{
    if (m_linkedAnnotationID == id)
        return;
    m_linkedAnnotationID = id;
    m_linkChangeAnimated = animated;
    emit linkedAnnotationIDChanged(id);
}
