#pragma once

#include "editor/AnnotationLinksEditor.h"
#include "editor/EditTool.h"
#include "ui/AlertDialog.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class AnnotationEditorModel;
class AtlasImage;
class EditorCanvasLayer;
class EditorSelectionBar;
class EditorToolBar;
class PictureSource;
class QAction;
class ZoomableImage;

// The annotation editor of one image: the picture on a zoomable canvas of
// its own (it starts unzoomed) with the editing layer over it, the tool bar
// in the top-leading corner, the zoom buttons in the top-trailing one, the
// selection bar at the bottom while something is selected, and a hint in
// the middle while the image has no annotations. It presents the
// "Annotation label" and "New Group" alerts, the links sheet and, when a
// save fails, "Save Failed" with the store's message.
//
// The tools are checkable commands of one exclusive group, on Ctrl+1,
// Ctrl+2 and Ctrl+3. The editor edits one image for its whole life and is
// made afresh each time edit mode opens; when it goes, its dialogs close
// (the links typed are kept) and what is unsaved is saved; disabled, it
// does so at once.
class AnnotationEditor : public QWidget {
    Q_OBJECT
public:
    // `picture` is shared with the viewer, not owned; `highlightedID` is
    // selected first when it names one of the image's annotations.
    AnnotationEditor(AtlasImage *image, PictureSource *picture, const std::optional<QUuid> &highlightedID,
                     QWidget *parent = nullptr);
    ~AnnotationEditor() override;

    AnnotationEditorModel *model() const { return m_model; }
    ZoomableImage *canvas() const { return m_canvas; }
    EditorCanvasLayer *layer() const { return m_layer; }
    EditorToolBar *toolBar() const { return m_toolBar; }
    EditorSelectionBar *selectionBar() const { return m_selectionBar; }
    QWidget *emptyHint() const { return m_hint; }

    QAction *toolAction(EditTool tool) const;
    QAction *closeDraftAction() const { return m_closeDraft; }
    QAction *cancelDraftAction() const { return m_cancelDraft; }
    QAction *renameAction() const { return m_rename; }
    QAction *linksAction() const { return m_links; }
    QAction *newGroupAction() const { return m_newGroup; }
    QAction *deleteVertexAction() const { return m_deleteVertex; }
    QAction *deleteAnnotationAction() const { return m_deleteAnnotation; }

    // The dialogs shown now; null when closed.
    AlertDialog *renameAlert() const { return m_renameAlert; }
    AlertDialog *newGroupAlert() const { return m_newGroupAlert; }
    AnnotationLinksEditor *linksSheet() const { return m_linksSheet; }
    AlertDialog *saveErrorAlert() const { return m_saveErrorAlert; }

    QSize sizeHint() const override { return {640, 480}; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QAction *addCommand(const QString &title, const QString &symbol, const QColor &colour = Qt::white);
    void followTool();
    void refresh();
    void updateDialogs();
    // An alert with a text field, its confirming button and "Cancel", whose
    // field and buttons go to the model.
    AlertDialog *openTextAlert(const QString &title, const QString &confirm, const QString &field, const QString &text,
                               void (AnnotationEditorModel::*edited)(const QString &),
                               void (AnnotationEditorModel::*confirmed)(),
                               void (AnnotationEditorModel::*cancelled)());
    void updateSaveError();
    void fillGroupsMenu();
    void placeOverlays();
    void dismissDialogs();

    AnnotationEditorModel *m_model = nullptr;
    ZoomableImage *m_canvas = nullptr;
    EditorCanvasLayer *m_layer = nullptr;
    EditorToolBar *m_toolBar = nullptr;
    EditorSelectionBar *m_selectionBar = nullptr;
    QWidget *m_hint = nullptr;

    QList<QAction *> m_tools;
    QAction *m_closeDraft = nullptr;
    QAction *m_cancelDraft = nullptr;
    QAction *m_rename = nullptr;
    QAction *m_links = nullptr;
    QAction *m_newGroup = nullptr;
    QAction *m_deleteVertex = nullptr;
    QAction *m_deleteAnnotation = nullptr;

    QPointer<AlertDialog> m_renameAlert;
    QPointer<AlertDialog> m_newGroupAlert;
    QPointer<AnnotationLinksEditor> m_linksSheet;
    QPointer<AlertDialog> m_saveErrorAlert;
};
