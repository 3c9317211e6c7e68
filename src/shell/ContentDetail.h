#pragma once

#include <QWidget>

#include <functional>

class AtlasImage;
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
// callbacks directly and tells the pane which image is open. On the image
// screen, which takes the keyboard focus when it appears, Right and Down
// advance to the next visible image, Left and Up to the previous one, and
// Space returns to the grid; keys the callbacks do not handle travel on.
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

    // Answers whether the key was handled.
    std::function<bool(int offset)> onAdvance;
    std::function<void()> onReturnToGrid;
    std::function<bool()> onReturnToGridFromKeyboard;

    QToolButton *libraryButton() const { return m_libraryButton; }
    QString title() const;

    // Length of the fade between grid and image screen, in milliseconds.
    static constexpr int switchMilliseconds = 250;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showFace(QWidget *face);
    void updateHeader();

    LibraryGrid *m_grid = nullptr;
    OpenedImagePreview *m_preview = nullptr;
    QStackedWidget *m_stack = nullptr;
    PaneHeader *m_header = nullptr;
    QLabel *m_title = nullptr;
    QToolButton *m_libraryButton = nullptr;
    AtlasImage *m_openedImage = nullptr;
};
