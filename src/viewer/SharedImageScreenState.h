#pragma once

#include <QObject>
#include <QUuid>

#include <optional>

// What every image screen of every window applies at once: edit mode,
// whether annotations are drawn over the pictures, and the annotation whose
// links panel is open. One object for the whole application (the shell's
// shared state is one); each screen applies the values to its own image.
// Setters store the value and notify only when it really changed; a toggle
// always changes it. GUI thread.
class SharedImageScreenState : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    bool isEditing() const { return m_isEditing; }
    void setIsEditing(bool isEditing);
    void toggleEditing() { setIsEditing(!m_isEditing); }

    bool showAnnotations() const { return m_showAnnotations; }
    void setShowAnnotations(bool showAnnotations);
    void toggleShowAnnotations() { setShowAnnotations(!m_showAnnotations); }

    std::optional<QUuid> linkedAnnotationID() const { return m_linkedAnnotationID; }
    // `animated`: the screens show the change with their animation (a links
    // panel fades out) rather than at once.
    void setLinkedAnnotationID(const std::optional<QUuid> &id, bool animated = false);
    // Whether the last change of the linked annotation was animated.
    bool isLinkChangeAnimated() const { return m_linkChangeAnimated; }

signals:
    void isEditingChanged(bool isEditing);
    void showAnnotationsChanged(bool showAnnotations);
    void linkedAnnotationIDChanged(const std::optional<QUuid> &id);

private:
    bool m_isEditing = false;
    bool m_showAnnotations = true;
    std::optional<QUuid> m_linkedAnnotationID;
    bool m_linkChangeAnimated = false;
};
