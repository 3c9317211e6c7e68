#pragma once

#include <QWidget>

class AtlasImage;
class QAction;
class LibraryGrid;
class OpenedImagePreview;
class PaneHeader;
class QLabel;
class QStackedWidget;
class QToolButton;
class ThumbnailCache;

// The detail column of a main window: the thumbnail grid of the visible
// images or, while an image is open, the image screen, with a bar holding
// the column's title and, on the image screen, the "Library" button back to
// the grid. The switch fades the new face in.
//
// It holds no library state: the window hands the grid its values and
// follows its signals directly, and tells the pane which image is open. The
// pane's commands are the window's to enable and to act on: "Library" (the
// button), and on the image screen, which takes the keyboard focus when it
// appears, "Next Image" (Right, Down), "Previous Image" (Left, Up) and
// "Back to Library" (Space). The keys of a disabled command travel on.
class ContentDetail : public QWidget {
    Q_OBJECT
public:
    explicit ContentDetail(QWidget *parent = nullptr);
    explicit ContentDetail(ThumbnailCache &cache, QWidget *parent = nullptr);

    LibraryGrid *grid() const { return m_grid; }
    OpenedImagePreview *imageScreen() const { return m_preview; }

    AtlasImage *openedImage() const { return m_openedImage; }
    // None shows the grid.
    void setOpenedImage(AtlasImage *image);
    // Shows the open image's current title.
    void refreshOpenedImage();
    bool showsImageScreen() const;

    QAction *returnToGridAction() const { return m_returnToGrid; }
    QAction *nextImageAction() const { return m_nextImage; }
    QAction *previousImageAction() const { return m_previousImage; }
    QAction *returnToGridByKeyAction() const { return m_returnToGridByKey; }

    QToolButton *libraryButton() const { return m_libraryButton; }
    QString title() const;

    // Length of the fade between grid and image screen, in milliseconds.
    static constexpr int switchMilliseconds = 250;

private:
    void showFace(QWidget *face);
    void updateHeader();

    LibraryGrid *m_grid = nullptr;
    OpenedImagePreview *m_preview = nullptr;
    QStackedWidget *m_stack = nullptr;
    PaneHeader *m_header = nullptr;
    QLabel *m_title = nullptr;
    QToolButton *m_libraryButton = nullptr;
    QAction *m_returnToGrid = nullptr;
    QAction *m_nextImage = nullptr;
    QAction *m_previousImage = nullptr;
    QAction *m_returnToGridByKey = nullptr;
    AtlasImage *m_openedImage = nullptr;
};
