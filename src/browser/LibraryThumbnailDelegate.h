#pragma once

#include <QCache>
#include <QHash>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <functional>

class AtlasImage;
class ThumbnailCache;

// Draws the grid's rows: image tiles (LibraryThumbnail) with their cached
// thumbnails, and the Add Images tile. Thumbnails are scaled once to the
// tile's size off the GUI thread and kept, so redrawing the screen copies
// ready pixmaps; the view keeps about two screens' worth (setScaledBudget).
class LibraryThumbnailDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    explicit LibraryThumbnailDelegate(ThumbnailCache &cache, QObject *parent = nullptr);
    // Scalings still running end on their own, their results dropped.
    ~LibraryThumbnailDelegate() override;

    // How far the tile of an image shows as selected, 0 to 1.
    std::function<double(const AtlasImage *)> selectionProgress;
    // How far a thumbnail that just arrived has faded in, 0 to 1.
    std::function<double(const AtlasImage *)> thumbnailAppearance;
    // How strongly the Add Images tile shows that an outside drag could be
    // dropped, 0 to 1 (a little beyond on the way, as a spring overshoots).
    std::function<double()> dropHighlight;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The bytes the scaled thumbnails may take (least recently drawn go first).
    void setScaledBudget(qsizetype bytes) { m_scaled.setMaxCost(bytes); }
    qsizetype scaledBudget() const { return m_scaled.maxCost(); }

    static void paintAddImagesTile(QPainter &painter, const QRectF &rect, const QPalette &palette, double targeted);

signals:
    // A thumbnail is scaled for its tile: the tile is drawn again.
    void scaledThumbnailReady(const AtlasImage *image);

private:
    struct Scaled {
        qint64 sourceKey = 0;
        QPixmap pixmap;
    };
    struct Scaling {
        qint64 sourceKey = 0;
        QSize pixels;
        friend bool operator==(const Scaling &, const Scaling &) = default;
    };
    // The thumbnail scaled for a tile: ready, to be drawn from the thumbnail
    // itself (none and not pending), or being scaled (pending).
    struct ScaledThumbnail {
        const QPixmap *pixmap = nullptr;
        bool pending = false;
    };
    ScaledThumbnail scaledThumbnail(const AtlasImage *image, const QImage &thumbnail, const QSizeF &area,
                                    qreal ratio) const;

    ThumbnailCache &m_cache;
    mutable QCache<const AtlasImage *, Scaled> m_scaled;
    mutable QHash<const AtlasImage *, Scaling> m_scaling; // scalings running
};
