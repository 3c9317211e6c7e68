#pragma once

#include <QImage>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>

class AtlasImage;
class QPainter;
class QPalette;
class ThumbnailCache;

// The tile's first caption: "Series / Image", the series title alone when
// the image has no title of its own or the same one, "Untitled Series" for
// a series without a title; a standalone image's title or "Untitled".
QString thumbnailTitle(const AtlasImage &image);
// Modality code, region and plane, separated by single spaces.
QString thumbnailMetadataText(const AtlasImage &image);
// The compact age, a space, then "M", "F" or nothing for the sex.
QString thumbnailAgeSexText(const AtlasImage &image);

// One image of the grid as a tile: a black square with the thumbnail (or a
// placeholder symbol), the title and a line of metadata below. The grid
// draws tiles with this; it holds no widget per tile.
struct LibraryThumbnail {
    const AtlasImage *image = nullptr;
    bool isSelected = false;
    std::optional<QImage> thumbnail;

    static constexpr double cornerRadius = 8;
    static constexpr double spacing = 6;      // between the square and the captions
    static constexpr double contentInset = 12; // around the image inside the square
    static constexpr double borderWidth = 3;
    static constexpr double selectedScale = 1.03;

    // The height of a tile of the given width (square plus captions).
    static double height(double width);
    // The placeholder symbol: "arrow.down.circle.dotted" when the image has
    // no bytes at all, otherwise "photo".
    static QString placeholderSymbol(const AtlasImage &image);

    // Draws the tile into `rect` (rect's width is the column width).
    // `selection` runs from 0 (not selected) to 1 (selected), for the
    // change between the two; it may overshoot a little, as a spring does. `thumbnailPixmap`, when given, is the
    // thumbnail already scaled for the square. `appearance` runs from 0 to 1
    // while a thumbnail that just arrived fades in over the placeholder.
    void paint(QPainter &painter, const QRectF &rect, const QPalette &palette, double selection,
               const QPixmap *thumbnailPixmap = nullptr, double appearance = 1.0) const;
    static constexpr int fadeMilliseconds = 250;
    // The square's content rectangle, where the thumbnail is fitted.
    static QRectF imageArea(const QRectF &tileRect);
};

// The larger picture of an image with its title, shown above the grid's
// context menu.
class LibraryThumbnailPreview : public QWidget {
    Q_OBJECT
public:
    // Asks `cache` (the shared one when none) for the thumbnail.
    LibraryThumbnailPreview(AtlasImage *image, double previewSide, QWidget *parent = nullptr,
                            ThumbnailCache *cache = nullptr);

    AtlasImage *image() const { return m_image; }
    std::optional<QImage> thumbnail() const { return m_thumbnail; }
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    AtlasImage *m_image;
    double m_previewSide;
    ThumbnailCache *m_cache;
    std::optional<QImage> m_thumbnail;
    bool m_requested = false;
};
