#pragma once

#include "editor/EditTool.h"
#include "editor/EditorSelection.h"
#include "model/AnnotationLink.h"
#include "model/Vertex.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

class AnnotationEdits;
class AtlasImage;
class ImageAnnotations;
class PointAnnotation;
class RegionAnnotation;

// The state of one annotation editor and the commands behind its canvas,
// bars and dialogs: the tool, the region being drawn (the draft), the
// selection, the "Annotation label" and "New Group" alerts, the links sheet
// and the alert of a failed save. The editor edits one image for its whole
// life; another image gets another editor. Writes go through edits().
//
// The selection holds identifiers and is resolved afresh on every use, so
// one whose annotation has gone resolves to nothing: the commands that act
// on it then write nothing, and an alert or sheet open for it closes.
// GUI thread.
class AnnotationEditorModel : public QObject {
    Q_OBJECT
public:
    // Starts with the select tool, no draft, and `highlightedID` selected
    // when it names one of the image's points or regions.
    AnnotationEditorModel(AtlasImage *image, const std::optional<QUuid> &highlightedID, QObject *parent = nullptr);
    ~AnnotationEditorModel() override;

    AtlasImage *image() const;
    AnnotationEdits &edits() const { return *m_edits; }
    // The image's points and regions, watched.
    ImageAnnotations &annotations() const { return *m_annotations; }

    // The tool. Another tool discards the draft unless it is region, and
    // clears the selection unless it is select.
    EditTool tool() const { return m_tool; }
    void setTool(EditTool tool);

    // The draft: corners of the region being drawn, in click order. It is
    // never saved.
    const QList<Vertex> &draftVertices() const { return m_draft; }
    void moveDraftVertex(int index, const QPointF &position);
    // "Cancel": the draft emptied, the region tool kept.
    void discardDraft();
    // "Close" (and a click on the draft's first corner): a region of the
    // draft's corners, selected, with the label alert open. Needs at least
    // 3 corners.
    void finishRegion();
    bool canFinishRegion() const { return m_draft.size() >= 3; }
    bool canDiscardDraft() const { return !m_draft.isEmpty(); }

    const std::optional<EditorSelection> &selection() const { return m_selection; }
    void setSelection(const std::optional<EditorSelection> &selection);
    // The selected point, or the selected region (also of a selected
    // corner); null when the selection names none of the image's. Found
    // again after the selection or the image's lists change.
    PointAnnotation *selectedPoint() const;
    RegionAnnotation *selectedRegion() const;
    bool selectionResolves() const { return selectedPoint() || selectedRegion(); }
    // The selected annotation's label as stored; "Unlabelled" when it is
    // empty or the selection names nothing; empty without a selection.
    QString selectionTitle() const;

    // A click on the canvas's empty space (limited to the image): by the
    // tool, nothing selected, a new point (selected, its label alert open)
    // or one more draft corner.
    void tapCanvas(const QPointF &position);
    // A corner inserted in the middle of an edge of a region, then selected.
    void insertVertex(const QUuid &regionID, int afterIndex);

    // Deleting what is selected: a point or a region (also from one of its
    // corners) clears the selection; a corner, from a region of at least 4,
    // leaves its region selected.
    void deleteSelectedAnnotation();
    void deleteSelectedVertex();
    bool canDeleteSelectedVertex() const;

    // The groups the selection's menu offers: every group of the image's
    // annotations, sorted, without "Ungrouped".
    QStringList availableGroups() const;
    bool selectedAnnotationHasGroup(const QString &name) const;
    void setSelectedAnnotationGroup(const QString &name, bool enabled);

    // The "Annotation label" alert.
    bool isRenaming() const { return m_renaming; }
    QString renameText() const { return m_renameText; }
    void setRenameText(const QString &text) { m_renameText = text; }
    void beginRename();
    // "Save": the trimmed text becomes the label.
    void commitRename();
    void cancelRename();

    // The "New Group" alert.
    bool isAddingGroup() const { return m_addingGroup; }
    QString newGroupText() const { return m_newGroupText; }
    void setNewGroupText(const QString &text);
    // "Add" is refused for "Ungrouped", which names the annotations in no
    // group.
    bool canAddGroup() const;
    void beginNewGroup();
    void commitNewGroup();
    void cancelNewGroup();

    // The links sheet: the selected annotation's links, written at once
    // and saved when the sheet closes.
    bool isEditingLinks() const { return m_editingLinks; }
    void beginEditingLinks();
    QList<AnnotationLink> selectedLinks() const;
    void setSelectedLinks(const QList<AnnotationLink> &links);
    void endEditingLinks();

    // The alert of a failed save: the store's message, shown once however
    // many saves fail while it is up.
    std::optional<QString> saveError() const { return m_saveError; }
    void dismissSaveError();

    // The hint "Choose Point or Region to add the first annotation" shows:
    // no annotations, no draft, nothing selected.
    bool isEmptyCanvas() const;

    // The editor goes: its dialogs close (typed links are kept) and what
    // is still unsaved is saved.
    void finish();

signals:
    void toolChanged(EditTool tool);
    void draftChanged();
    void selectionChanged();
    // An alert or the links sheet opened or closed.
    void presentationChanged();
    void saveErrorChanged();

private:
    struct Resolved {
        PointAnnotation *point = nullptr;
        RegionAnnotation *region = nullptr;
    };
    const Resolved &resolved() const;
    void annotationsChanged();
    void showSaveError(const QString &message);
    void beginRenameOfSelection();
    // Closes an alert or the sheet; false when it was not open.
    bool dismiss(bool &presented);
    void closeDialogs();

    ImageAnnotations *m_annotations = nullptr;
    AnnotationEdits *m_edits = nullptr;
    EditTool m_tool = EditTool::select;
    QList<Vertex> m_draft;
    std::optional<EditorSelection> m_selection;
    // What the selection names, until the selection or the lists change.
    mutable std::optional<Resolved> m_resolved;
    bool m_annotationWritten = false;
    bool m_renaming = false;
    QString m_renameText;
    bool m_addingGroup = false;
    QString m_newGroupText;
    bool m_editingLinks = false;
    std::optional<QString> m_saveError;
};
