#pragma once

#include <QImage>
#include <QPixmap>
#include <QWidget>

class AtlasImage;

// The opened image on the detail pane: its picture fitted into the view
// with its aspect kept, on a dark background, and its title below. It
// takes keyboard focus; the pane handles the keys.
class OpenedImagePreview : public QWidget {
    Q_OBJECT
public:
    explicit OpenedImagePreview(QWidget *parent = nullptr);

    AtlasImage *image() const { return m_image; }
    // Decodes the image's bytes; none clears the view.
    void setImage(AtlasImage *image);
    // The title shown: the image's title, or "Untitled" when it is empty.
    QString title() const;
    bool hasPicture() const { return !m_picture.isNull(); }
    // Where the picture is drawn, for the current size.
    QRect pictureRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    int titleHeight() const;

    AtlasImage *m_image = nullptr;
    QImage m_picture;
    QPixmap m_scaled; // the picture at the size of pictureRect()
};
