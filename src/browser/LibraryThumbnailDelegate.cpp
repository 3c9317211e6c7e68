#include "browser/LibraryThumbnailDelegate.h"

#include "browser/LibraryGridModel.h"
#include "browser/LibraryThumbnail.h"
#include "browser/ThumbnailCache.h"
#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

LibraryThumbnailDelegate::LibraryThumbnailDelegate(ThumbnailCache &cache, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_cache(cache)
    , m_scaled(64 * 1024 * 1024)
{
}

const QPixmap *LibraryThumbnailDelegate::scaledThumbnail(const AtlasImage *image, const QImage &thumbnail,
                                                         const QSizeF &area, qreal ratio) const
{
    QSizeF target = QSizeF(thumbnail.size());
    target.scale(area, Qt::KeepAspectRatio);
    const QSize pixels(std::max(1, int(std::lround(target.width() * ratio))),
                       std::max(1, int(std::lround(target.height() * ratio))));
    if (Scaled *scaled = m_scaled.object(image)) {
        if (scaled->sourceKey == thumbnail.cacheKey() && scaled->pixmap.size() == pixels)
            return &scaled->pixmap;
    }
    // Larger than the thumbnail: drawn from it directly, nothing to keep.
    if (pixels.width() >= thumbnail.width() || pixels.height() >= thumbnail.height())
        return nullptr;
    QPixmap pixmap = QPixmap::fromImage(thumbnail.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(ratio);
    auto *scaled = new Scaled{thumbnail.cacheKey(), pixmap};
    const qsizetype cost = qsizetype(pixels.width()) * pixels.height() * 4;
    if (!m_scaled.insert(image, scaled, cost))
        return nullptr;
    return &m_scaled.object(image)->pixmap;
}

void LibraryThumbnailDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    const auto *model = qobject_cast<const LibraryGridModel *>(index.model());
    if (!model)
        return;
    const QRectF rect = option.rect;
    if (model->isAddTile(index.row())) {
        paintAddImagesTile(*painter, rect, option.palette, dropHighlight ? dropHighlight() : 0.0);
        return;
    }
    const AtlasImage *image = model->imageAt(index.row());
    if (!image)
        return;
    LibraryThumbnail tile;
    tile.image = image;
    tile.thumbnail = m_cache.cachedThumbnail(image);
    const double progress = selectionProgress ? selectionProgress(image) : 0.0;
    tile.isSelected = progress >= 1.0;
    const QPixmap *pixmap = nullptr;
    if (tile.thumbnail && !tile.thumbnail->isNull()) {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        pixmap = scaledThumbnail(image, *tile.thumbnail, LibraryThumbnail::imageArea(rect).size(), ratio);
    }
    const double appearance = thumbnailAppearance ? thumbnailAppearance(image) : 1.0;
    tile.paint(*painter, rect, option.palette, progress, pixmap, appearance);
}

QSize LibraryThumbnailDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int width = option.rect.width() > 0 ? option.rect.width() : 140;
    return QSize(width, int(std::ceil(LibraryThumbnail::height(width))));
}

void LibraryThumbnailDelegate::paintAddImagesTile(QPainter &painter, const QRectF &rect, const QPalette &palette,
                                                  double targeted)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF square(rect.left(), rect.top(), rect.width(), rect.width());
    const double radius = LibraryThumbnail::cornerRadius;
    QPainterPath shape;
    shape.addRoundedRect(square, radius, radius);
    painter.fillPath(shape, AppStyle::quaternary(palette));
    QColor accent = AppStyle::accent(palette);
    QColor wash = accent;
    wash.setAlphaF(float(0.18 * targeted));
    painter.fillPath(shape, wash);

    const QColor secondary = AppStyle::secondary(palette);
    auto mix = [targeted](const QColor &a, const QColor &b) {
        return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * targeted),
                                float(a.greenF() + (b.greenF() - a.greenF()) * targeted),
                                float(a.blueF() + (b.blueF() - a.blueF()) * targeted),
                                float(a.alphaF() + (b.alphaF() - a.alphaF()) * targeted));
    };
    const double symbolSide = QFontMetricsF(AppStyle::title()).height() * 1.1;
    SystemSymbol::paint(painter, QStringLiteral("plus"),
                        QRectF(square.center().x() - symbolSide / 2, square.center().y() - symbolSide / 2, symbolSide,
                               symbolSide),
                        mix(secondary, accent));

    QColor dashColour = secondary;
    dashColour.setAlphaF(secondary.alphaF() * 0.5f);
    const double lineWidth = 1.5 + 1.5 * targeted;
    QPen pen(mix(dashColour, accent), lineWidth);
    pen.setDashPattern({6 / lineWidth, 4 / lineWidth});
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = lineWidth / 2;
    painter.drawRoundedRect(square.adjusted(inset, inset, -inset, -inset), radius - inset, radius - inset);

    const QFont titleFont = AppStyle::withWeight(AppStyle::caption(), QFont::Medium);
    const double titleHeight = QFontMetricsF(titleFont).height();
    double y = square.bottom() + LibraryThumbnail::spacing;
    painter.setFont(titleFont);
    painter.setPen(AppStyle::primary(palette));
    painter.drawText(QRectF(rect.left(), y, rect.width(), titleHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Add Images"));
    y += titleHeight + LibraryThumbnail::spacing;
    const QFont hintFont = AppStyle::caption2();
    painter.setFont(hintFont);
    painter.setPen(secondary);
    painter.drawText(QRectF(rect.left(), y, rect.width(), QFontMetricsF(hintFont).height()),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetricsF(hintFont).elidedText(QStringLiteral("Click or drop files"), Qt::ElideRight,
                                                        rect.width()));
    painter.restore();
}
