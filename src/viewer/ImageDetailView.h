#pragma once

#include "platform/objectstore/ModelObjectWatch.h"
#include "viewer/DetailLayout.h"

#include <QPointer>
#include <QUuid>
#include <QWidget>

#include <optional>

class AnnotationInspector;
class AnnotationLayer;
class AnnotationLinksOverlay;
class AnnotationList;
class AnnotationViewState;
class AtlasImage;
class ContentUnavailableView;
class CrossFadeStack;
class DetailDrawer;
class Divider;
class ImageAnnotations;
class ImageEditorFactory;
class MetadataStrip;
class OpenedPicture;
class ProminentButton;
class QAction;
class SharedImageScreenState;
class ZoomableImage;

// The screen of one opened image in the detail pane of a main window: the
// picture in the zoomable viewer with the image's annotations over it (or,
// in edit mode, the annotation editor the window's factory makes), with the
// button that shows or hides all annotations over the viewer's top-leading
// corner; the information area (a strip of metadata and group switches
// under the picture, or in the compact layout a two-page drawer beside or
// below it, its first page the group switches over the annotation list);
// the links panel of the linked annotation over the whole screen, when
// this image holds it; and, where the picture can't be shown, "Downloading
// Image" or "Image Unavailable".
//
// Its title and the Edit/Done command (Ctrl+E) are for the pane's header;
// "Edit" is absent in the compact layout. Escape closes an open links
// panel; otherwise it travels on, as do the keys that neither the control
// with the focus nor the screen takes (the pane acts on some of them),
// also while the panel is up: opening it leaves the focus where it was.
// The panel fades in as it opens and out as Close, Escape or a click on
// its backdrop closes it, on the screen's spring; edit mode coming or
// going, the screen leaving and another image close it at once. A link the desktop opens nothing for
// is reported (operationFailed) for the window to show. To assistive
// technologies the viewer is one element. The screen takes the focus
// itself, showing no focus ring (neither does its canvas); the focus in
// the editor comes back to the screen when the editor goes.
//
// Viewer and editor cross-fade: the new page comes into view as a picture
// of the page leaving fades out over it; the page leaving is hidden at
// once, out of reach of the focus, the keys, the clicks and its shortcuts,
// and an editor leaving goes at once. Edit mode opening again meanwhile
// turns the fade round from where it is, with a new editor. A placeholder
// comes and goes at once.
//
// State: the window-wide values (edit mode, annotations shown, the linked
// annotation) are the shared state's, which every screen applies to its
// own image. The screen's own (hidden groups, highlighted annotation,
// drawer page) is lost with it and cleared when another image opens; the
// viewer keeps its zoom then, and shows the picture unzoomed when the
// screen appears and when the editor or a placeholder gives way to it. The
// screen writes nothing to the library.
class ImageDetailView : public QWidget {
    Q_OBJECT
public:
    // `shared` must outlive the screen.
    explicit ImageDetailView(SharedImageScreenState &shared, QWidget *parent = nullptr);
    ~ImageDetailView() override;

    // Another image clears the screen's own state; none shows nothing.
    void setImage(AtlasImage *image);
    AtlasImage *image() const { return m_image; }
    // The image's title, or "Untitled" when it is empty.
    QString title() const;

    // The desktop reports no size classes: the regular layout.
    void setSizeClasses(const SizeClasses &sizeClasses);
    SizeClasses sizeClasses() const { return m_sizeClasses; }
    bool isCompact() const { return m_sizeClasses.isCompact(); }
    // Edit mode is on and the layout is regular.
    bool showsEditor() const;
    // Length of the cross-fade between viewer and editor, in milliseconds.
    static constexpr int crossFadeMilliseconds = 200;

    // Where the editor comes from; not owned. Without one, edit mode shows
    // an empty canvas.
    void setEditorFactory(ImageEditorFactory *factory);

    // "Edit", or "Done" while editing (Ctrl+E): toggles edit mode. Hidden
    // in the compact layout.
    QAction *editAction() const { return m_editAction; }
    // "Hide annotations", or "Show annotations" while they are hidden.
    QAction *annotationsAction() const { return m_annotationsAction; }
    // Escape, enabled while an annotation's links are open and this screen
    // shows no panel for them (the panel has its own).
    QAction *dismissLinksAction() const { return m_dismissLinksAction; }

    // The screen's own state.
    AnnotationViewState *annotationState() const { return m_annotationState; }
    int drawerPage() const { return m_drawerPage; }
    // Turns the drawer to `page`, at once or on the drawer's spring.
    void setDrawerPage(int page, bool animated = false);

    // Its parts.
    ImageAnnotations *annotations() const { return m_annotations; }
    AnnotationLayer *annotationLayer() const { return m_layer; }
    AnnotationList *annotationList() const { return m_list; }
    // The group switches of the strip and of the drawer.
    AnnotationInspector *stripInspector() const { return m_stripInspector; }
    AnnotationInspector *drawerInspector() const { return m_drawerInspector; }
    // The links panel while it is shown, also on its way out; null
    // otherwise.
    AnnotationLinksOverlay *linksPanel() const;
    ZoomableImage *canvas() const { return m_canvas; }
    ProminentButton *annotationsButton() const { return m_annotationsButton; }
    OpenedPicture *picture() const { return m_picture; }
    ContentUnavailableView *placeholder() const { return m_placeholder; }
    // The editor while it is shown; null otherwise.
    QWidget *editor() const { return m_editor; }
    // The page the editor lies in.
    QWidget *editorPage() const { return m_editorPage; }
    // The page of the picture area shown now: the canvas, the editor's
    // place, or the placeholder.
    QWidget *shownPicturePage() const;
    MetadataStrip *metadataStrip() const { return m_strip; }
    DetailDrawer *drawer() const { return m_drawer; }

public slots:
    // What the screen's children ask of it.
    // Highlights the annotation (none clears the highlight); in the compact
    // layout the drawer turns to the annotations, and its list scrolls the
    // annotation's row to its middle, both on a spring.
    void selectAnnotation(const std::optional<QUuid> &id);
    // Highlights the annotation and, in the regular layout, opens edit mode.
    void editAnnotation(const QUuid &id);
    // Highlights the annotation and opens its links panel.
    void showLinks(const QUuid &id);
    // Closes the links panel, wherever it was opened; it fades out.
    void dismissLinks();

signals:
    void titleChanged(const QString &title);
    void drawerPageChanged(int page);
    // Something the user asked of the screen failed (a link the desktop
    // opened nothing for): the alert's title and text.
    void operationFailed(const QString &title, const QString &message);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildPictureArea();
    void composeAnnotations();
    void makeCommands();
    void arrange();
    void imageChanged(const char *property);
    void refreshMetadata();
    void updatePictureArea();
    void updateEditCommand();
    void updateAnnotationsCommand();
    void followEditMode();
    void placeAnnotationsButton();
    void showPicturePage(QWidget *page);
    // The editor goes, at once.
    void dropEditor();
    // Closes the links panel at once.
    void hideLinks();
    void updateLinksPanel();
    void updateDismissCommand();
    void scrollListToHighlight();

    SharedImageScreenState &m_shared;
    AtlasImage *m_image = nullptr;
    ModelObjectWatch m_imageWatch;
    SizeClasses m_sizeClasses;
    ImageEditorFactory *m_editorFactory = nullptr;
    bool m_showsEditor = false;

    AnnotationViewState *m_annotationState = nullptr;
    int m_drawerPage = 0;
    ImageAnnotations *m_annotations = nullptr;
    AnnotationLayer *m_layer = nullptr;
    AnnotationInspector *m_stripInspector = nullptr;
    AnnotationInspector *m_drawerInspector = nullptr;
    AnnotationList *m_list = nullptr;
    AnnotationLinksOverlay *m_linksPanel = nullptr;

    OpenedPicture *m_picture = nullptr;
    QWidget *m_body = nullptr;
    QWidget *m_pictureArea = nullptr;
    // The viewer, the editor's place and the placeholder, one over another.
    CrossFadeStack *m_pages = nullptr;
    ZoomableImage *m_canvas = nullptr;
    ProminentButton *m_annotationsButton = nullptr;
    QWidget *m_editorPage = nullptr;
    QPointer<QWidget> m_editor;
    ContentUnavailableView *m_placeholder = nullptr;
    Divider *m_divider = nullptr;
    MetadataStrip *m_strip = nullptr;
    DetailDrawer *m_drawer = nullptr;

    QAction *m_editAction = nullptr;
    QAction *m_annotationsAction = nullptr;
    QAction *m_dismissLinksAction = nullptr;
};
