#pragma once

#include <QCache>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>

class AtlasImage;
class ThumbnailCache;

// Draws the grid's rows: image tiles (LibraryThumbnail) with their cached
// thumbnails, and the Add Images tile. Thumbnails are scaled once to the
// tile's size and kept, so scrolling draws ready pixmaps.
class LibraryThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LibraryThumbnailDelegate(ThumbnailCache &cache, QObject *parent = nullptr);

    // How far the tile of an image shows as selected, 0 to 1.
    std::function<double(const AtlasImage *)> selectionProgress;
    // How far a thumbnail that just arrived has faded in, 0 to 1.
    std::function<double(const AtlasImage *)> thumbnailAppearance;
    // How strongly the Add Images tile shows that an outside drag could be
    // dropped, 0 to 1.
    std::function<double()> dropHighlight;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static void paintAddImagesTile(QPainter &painter, const QRectF &rect, const QPalette &palette, double targeted);

private:
    struct Scaled {
        qint64 sourceKey = 0;
        QPixmap pixmap;
    };
    const QPixmap *scaledThumbnail(const AtlasImage *image, const QImage &thumbnail, const QSizeF &area,
                                   qreal ratio) const;

    ThumbnailCache &m_cache;
    mutable QCache<const AtlasImage *, Scaled> m_scaled;
};
