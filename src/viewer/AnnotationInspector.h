#pragma once

#include "viewer/AnnotationGroupSummary.h"

#include <QPointer>
#include <QWidget>

class AnnotationViewState;
class ImageAnnotations;
class QAbstractButton;
class QHBoxLayout;
class QLabel;
class QScrollArea;

// The group switches of an image's annotations: a row of capsule-shaped
// chips, one per group (and "Ungrouped"), each with the number of
// annotations it covers, that scrolls sideways when it does not fit. A chip
// is on while its group is shown, and grey and outlined while it is off.
//
// It shows the groups of `annotations` as switched in `state` and follows
// both; it changes neither: a click on a chip asks to switch its group.
// GUI thread.
class AnnotationInspector : public QWidget {
    Q_OBJECT
public:
    AnnotationInspector(ImageAnnotations *annotations, AnnotationViewState *state, QWidget *parent = nullptr);

    const QList<AnnotationGroupSummary> &summaries() const { return m_summaries; }
    // The chip of a group; none when it is not shown.
    QAbstractButton *chip(const QString &name) const;

signals:
    // Switch this group off, or on again.
    void groupToggled(const QString &name);

private:
    void refresh();
    void updateChips();

    QPointer<ImageAnnotations> m_annotations;
    QPointer<AnnotationViewState> m_state;
    QList<AnnotationGroupSummary> m_summaries;
    QWidget *m_empty = nullptr;
    QScrollArea *m_scroll = nullptr;
    QHBoxLayout *m_chipRow = nullptr;
    QList<QAbstractButton *> m_chips;
};
