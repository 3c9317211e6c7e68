#pragma once

#include <QWidget>

class AtlasImage;
class CrossFadeStack;
class ImageDetailView;
class ImageEditorFactory;
class LibraryGrid;
class PaneHeader;
class QAction;
class QKeyEvent;
class QLabel;
class QToolButton;
class SharedImageScreenState;
class ThumbnailCache;

// The detail column of a main window: the thumbnail grid of the visible
// images or, while an image is open, its image screen, with a bar holding
// the column's title and, on the image screen, the "Library" button back to
// the grid and the screen's Edit/Done command. The switch cross-fades: the
// new face comes into view as a picture of the face leaving (the screen
// with the image it showed) fades out over it; the face leaving is hidden
// at once, so no focus, keys, clicks or shortcuts reach it. A switch back
// during the fade turns round from where it is.
//
// It holds no library state: the window hands the grid its values and
// follows its signals directly, and tells the pane which image is open. The
// image screen shows the image's cached thumbnail until its picture is
// decoded. The pane's commands are the window's to enable and to act on:
// "Library" (the button), and on the image screen, which takes the keyboard
// focus when it appears, "Next Image" (Right, Down), "Previous Image" (Left,
// Up) and "Back to Library" (Space). These keys go first to the control
// that has the focus (a link row opens its link with Space, the metadata
// strip scrolls with Left and Right); the pane acts on those it leaves, and
// the keys of a disabled command travel on.
class ContentDetail : public QWidget {
    Q_OBJECT
public:
    // `shared` (what every image screen applies) and `cache` must outlive
    // the pane.
    ContentDetail(SharedImageScreenState &shared, ThumbnailCache &cache, QWidget *parent = nullptr);

    LibraryGrid *grid() const { return m_grid; }
    ImageDetailView *imageScreen() const { return m_screen; }

    AtlasImage *openedImage() const { return m_openedImage; }
    // None shows the grid.
    void setOpenedImage(AtlasImage *image);
    bool showsImageScreen() const;
    // Where the image screen's editor comes from; not owned.
    void setEditorFactory(ImageEditorFactory *factory);

    QAction *returnToGridAction() const { return m_returnToGrid; }
    QAction *nextImageAction() const { return m_nextImage; }
    QAction *previousImageAction() const { return m_previousImage; }
    QAction *returnToGridByKeyAction() const { return m_returnToGridByKey; }

    QToolButton *libraryButton() const { return m_libraryButton; }
    // The header's buttons of the image screen's Edit/Done command: "Edit"
    // while not editing, the green "Done" while editing.
    QToolButton *editButton() const { return m_editButton; }
    QToolButton *doneButton() const { return m_doneButton; }
    // The pane's title: "Library" over the grid, the opened image's title
    // on the image screen. The window and its tab carry it too.
    QString title() const;

    // Length of the fade between grid and image screen, in milliseconds.
    static constexpr int switchMilliseconds = 250;
    // The face shown, or coming into view: the grid or the image screen.
    QWidget *face() const;

signals:
    void titleChanged(const QString &title);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The image screen's command for the key; none for other keys.
    QAction *screenCommand(const QKeyEvent &key) const;
    // Whether the window's focus is on the widget or inside it.
    static bool holdsFocus(const QWidget &widget);
    void showFace(QWidget *face);
    void updateHeader();

    SharedImageScreenState &m_shared;
    ThumbnailCache &m_cache;
    LibraryGrid *m_grid = nullptr;
    ImageDetailView *m_screen = nullptr;
    QWidget *m_faces = nullptr;
    // Both faces, one over the other: the shown one, the other hidden.
    CrossFadeStack *m_faceStack = nullptr;
    PaneHeader *m_header = nullptr;
    QLabel *m_title = nullptr;
    QToolButton *m_libraryButton = nullptr;
    QToolButton *m_editButton = nullptr;
    QToolButton *m_doneButton = nullptr;
    QAction *m_returnToGrid = nullptr;
    QAction *m_nextImage = nullptr;
    QAction *m_previousImage = nullptr;
    QAction *m_returnToGridByKey = nullptr;
    AtlasImage *m_openedImage = nullptr;
};
