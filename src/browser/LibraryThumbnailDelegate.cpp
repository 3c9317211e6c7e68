#include "browser/LibraryThumbnailDelegate.h"

#include "browser/LibraryGridModel.h"
#include "browser/LibraryThumbnail.h"
#include "browser/ThumbnailCache.h"
#include "ui/AppStyle.h"
#include "platform/WorkerPools.h"
#include "ui/SystemSymbol.h"

#include <QFontMetricsF>
#include <QFutureWatcher>
#include <QPainter>
#include <QPainterPath>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

LibraryThumbnailDelegate::LibraryThumbnailDelegate(ThumbnailCache &cache, QObject *parent)
    : QStyledItemDelegate(parent)
    , m_cache(cache)
    , m_scaled(64 * 1024 * 1024)
{
}

LibraryThumbnailDelegate::~LibraryThumbnailDelegate() = default;

LibraryThumbnailDelegate::ScaledThumbnail
LibraryThumbnailDelegate::scaledThumbnail(const AtlasImage *image, const QImage &thumbnail, const QSizeF &area,
                                          qreal ratio) const
{
    QSizeF target = QSizeF(thumbnail.size());
    target.scale(area, Qt::KeepAspectRatio);
    const QSize pixels(std::max(1, int(std::lround(target.width() * ratio))),
                       std::max(1, int(std::lround(target.height() * ratio))));
    if (Scaled *scaled = m_scaled.object(image)) {
        if (scaled->sourceKey == thumbnail.cacheKey() && scaled->pixmap.size() == pixels)
            return {&scaled->pixmap, false};
    }
    // Larger than the thumbnail: drawn from it directly, nothing to keep.
    if (pixels.width() >= thumbnail.width() || pixels.height() >= thumbnail.height())
        return {nullptr, false};
    // Scaled on a worker thread: smooth scaling on this one would make it
    // wait for Qt's own thread pool, while the pictures being decoded keep
    // the machine busy.
    const Scaling wanted{thumbnail.cacheKey(), pixels};
    if (m_scaling.value(image) != wanted) {
        m_scaling.insert(image, wanted);
        // Drawing is const; what it starts fills the delegate's caches.
        auto *self = const_cast<LibraryThumbnailDelegate *>(this);
        auto *job = new QFutureWatcher<QImage>(self);
        connect(job, &QFutureWatcher<QImage>::finished, self, [self, job, image, wanted, ratio] {
            job->deleteLater();
            if (self->m_scaling.value(image) != wanted)
                return; // asked again since, for another size or thumbnail
            self->m_scaling.remove(image);
            QPixmap pixmap = QPixmap::fromImage(job->result());
            pixmap.setDevicePixelRatio(ratio);
            const qsizetype cost = qsizetype(wanted.pixels.width()) * wanted.pixels.height() * 4;
            self->m_scaled.insert(image, new Scaled{wanted.sourceKey, pixmap}, cost);
            emit self->scaledThumbnailReady(image);
        });
        job->setFuture(QtConcurrent::run(&WorkerPools::computing(), [thumbnail, pixels] {
            return thumbnail.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }));
    }
    return {nullptr, true};
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
        const ScaledThumbnail scaled =
            scaledThumbnail(image, *tile.thumbnail, LibraryThumbnail::imageArea(rect).size(), ratio);
        pixmap = scaled.pixmap;
        // The placeholder stays until the picture is scaled for the tile.
        if (scaled.pending)
            tile.thumbnail.reset();
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
    // `targeted` follows a spring and may overshoot a little: the border
    // widens and narrows with it, the colours stay between their two ends.
    const double strength = std::clamp(targeted, 0.0, 1.0);
    QColor accent = AppStyle::accent(palette);
    QColor wash = accent;
    wash.setAlphaF(float(0.18 * strength));
    painter.fillPath(shape, wash);

    const QColor secondary = AppStyle::secondary(palette);
    auto mix = [strength](const QColor &a, const QColor &b) { return AppStyle::blended(a, b, strength); };
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
