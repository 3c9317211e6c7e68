#include "browser/LibraryThumbnail.h"

#include "browser/ThumbnailCache.h"
#include "model/AtlasImage.h"
#include "model/Series.h"
#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QCache>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
#include <cmath>

namespace {

QFont titleFont()
{
    return AppStyle::withWeight(AppStyle::caption(), QFont::Medium);
}

// The image fitted into `area`, keeping its aspect, centred.
QRectF fitted(QSizeF imageSize, const QRectF &area)
{
    if (imageSize.isEmpty())
        return area;
    imageSize.scale(area.size(), Qt::KeepAspectRatio);
    return QRectF(area.center().x() - imageSize.width() / 2, area.center().y() - imageSize.height() / 2,
                  imageSize.width(), imageSize.height());
}

// Whether `point` falls on a device pixel under a painter that only moves
// what it draws (no scaling, no rotation).
bool isPixelAligned(const QPainter &painter, QPointF point, qreal ratio)
{
    if (painter.transform().type() > QTransform::TxTranslate)
        return false;
    const QPointF device = painter.transform().map(point) * ratio;
    return std::abs(device.x() - std::round(device.x())) < 1e-6 && std::abs(device.y() - std::round(device.y())) < 1e-6;
}

// `point` moved onto the nearest device pixel, where the painter only moves
// what it draws; unchanged otherwise.
QPointF pixelAligned(const QPainter &painter, QPointF point, qreal ratio)
{
    if (painter.transform().type() > QTransform::TxTranslate)
        return point;
    const QPointF offset(painter.transform().dx(), painter.transform().dy());
    const QPointF device = (point + offset) * ratio;
    return QPointF(std::round(device.x()), std::round(device.y())) / ratio - offset;
}

// The tile's square: black, rounded, with its inner border.
void paintFrame(QPainter &painter, const QRectF &square, const QColor &border)
{
    QPainterPath shape;
    shape.addRoundedRect(square, LibraryThumbnail::cornerRadius, LibraryThumbnail::cornerRadius);
    painter.fillPath(shape, Qt::black);
    const double inset = LibraryThumbnail::borderWidth / 2;
    painter.setPen(QPen(border, LibraryThumbnail::borderWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(square.adjusted(inset, inset, -inset, -inset), LibraryThumbnail::cornerRadius - inset,
                            LibraryThumbnail::cornerRadius - inset);
}

// The frame of a square `side` wide, drawn once for each size and border.
QImage frame(double side, const QColor &border, qreal ratio)
{
    static QCache<QString, QImage> frames(16 * 1024 * 1024);
    const QString key = QString::number(side) + QLatin1Char('/') + QString::number(ratio) + QLatin1Char('/')
                        + QString::number(border.rgba(), 16);
    if (const QImage *cached = frames.object(key))
        return *cached;
    const int pixels = int(std::ceil(side * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        paintFrame(painter, QRectF(0, 0, side, side), border);
    }
    frames.insert(key, new QImage(image), qsizetype(pixels) * pixels * 4);
    return image;
}

void drawElided(QPainter &painter, const QFont &font, const QColor &colour, const QRectF &rect, const QString &text,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter)
{
    painter.setFont(font);
    painter.setPen(colour);
    const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, rect.width());
    painter.drawText(rect, int(alignment) | Qt::TextSingleLine, shown);
}

} // namespace

QString thumbnailTitle(const AtlasImage &image)
{
    if (const Series *series = image.series()) {
        const QString seriesTitle = series->title().isEmpty() ? QStringLiteral("Untitled Series") : series->title();
        const QString title = image.title();
        if (title.isEmpty() || title == seriesTitle)
            return seriesTitle;
        return seriesTitle + QStringLiteral(" / ") + title;
    }
    return image.title().isEmpty() ? QStringLiteral("Untitled") : image.title();
}

QString thumbnailMetadataText(const AtlasImage &image)
{
    return title(image.modality()) + QLatin1Char(' ') + title(image.region()) + QLatin1Char(' ')
           + title(image.plane());
}

QString thumbnailAgeSexText(const AtlasImage &image)
{
    QString sex;
    switch (image.sex()) {
    case Sex::male:
        sex = QStringLiteral("M");
        break;
    case Sex::female:
        sex = QStringLiteral("F");
        break;
    case Sex::unspecified:
    case Sex::unknown:
        break;
    }
    return image.age().compactText() + QLatin1Char(' ') + sex;
}

double LibraryThumbnail::height(double width)
{
    const double titleHeight = QFontMetricsF(titleFont()).height();
    const double rowHeight = QFontMetricsF(AppStyle::caption2()).height();
    return width + spacing + titleHeight + spacing + rowHeight;
}

QString LibraryThumbnail::placeholderSymbol(const AtlasImage &image)
{
    return image.isImageDataMissing() ? QStringLiteral("arrow.down.circle.dotted") : QStringLiteral("photo");
}

QRectF LibraryThumbnail::imageArea(const QRectF &tileRect)
{
    const QRectF square(tileRect.left(), tileRect.top(), tileRect.width(), tileRect.width());
    return square.adjusted(contentInset, contentInset, -contentInset, -contentInset);
}

void LibraryThumbnail::paint(QPainter &painter, const QRectF &rect, const QPalette &palette, double selection,
                             const QPixmap *thumbnailPixmap, double appearance) const
{
    if (!image)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF square(rect.left(), rect.top(), rect.width(), rect.width());
    // The square, grown about its centre while selected.
    painter.save();
    const double scale = 1 + (selectedScale - 1) * selection;
    painter.translate(square.center());
    painter.scale(scale, scale);
    painter.translate(-square.center());
    // Smooth filtering only where pictures are drawn scaled: copying
    // pixel for pixel with it on takes several times as long.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, painter.transform().type() > QTransform::TxTranslate);

    // The inner border, blending from the secondary to the accent colour.
    // The square's growth may overshoot, as a spring does; the colours stay
    // between the two.
    const QColor border =
        AppStyle::blended(AppStyle::secondary(palette), AppStyle::accent(palette), std::clamp(selection, 0.0, 1.0));
    // Most tiles are drawn as they are, unselected: their frame is drawn
    // once and then copied, far cheaper than filling and stroking the
    // rounded square for every tile of every frame.
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    if (isPixelAligned(painter, square.topLeft(), ratio))
        painter.drawImage(square.topLeft(), frame(square.width(), border, ratio));
    else
        paintFrame(painter, square, border);

    // The content sits inside the inset, clear of the rounded corners.
    const QRectF area = imageArea(rect);
    const bool hasPicture = (thumbnailPixmap && !thumbnailPixmap->isNull()) || (thumbnail && !thumbnail->isNull());
    // Placeholder and picture cross-fade, eased out, when the picture arrives.
    const double shown = hasPicture ? 1 - std::pow(1 - std::clamp(appearance, 0.0, 1.0), 3) : 0.0;
    if (shown < 1) {
        const double side = std::min(QFontMetricsF(AppStyle::title()).height() * 1.1, area.width());
        const QRectF symbolRect(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
        painter.setOpacity(1 - shown);
        SystemSymbol::paint(painter, placeholderSymbol(*image), symbolRect, QColor(255, 255, 255, 130));
        painter.setOpacity(1);
    }
    if (shown > 0) {
        painter.setOpacity(shown);
        if (thumbnailPixmap && !thumbnailPixmap->isNull()) {
            // A pixmap made for the square is copied pixel for pixel.
            const QRectF target = fitted(thumbnailPixmap->deviceIndependentSize(), area);
            const QPointF at = pixelAligned(painter, target.topLeft(), ratio);
            if (isPixelAligned(painter, at, ratio)) {
                painter.drawPixmap(at, *thumbnailPixmap);
            } else {
                painter.setRenderHint(QPainter::SmoothPixmapTransform);
                painter.drawPixmap(target, *thumbnailPixmap, QRectF(QPointF(), thumbnailPixmap->size()));
            }
        } else {
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(fitted(thumbnail->size(), area), *thumbnail);
        }
        painter.setOpacity(1);
    }
    painter.restore();

    // Captions, one line each.
    const QFont captionTitle = titleFont();
    const double titleHeight = QFontMetricsF(captionTitle).height();
    double y = square.bottom() + spacing;
    drawElided(painter, captionTitle, AppStyle::primary(palette), QRectF(rect.left(), y, rect.width(), titleHeight),
               thumbnailTitle(*image));
    y += titleHeight + spacing;

    const QFont rowFont = AppStyle::caption2();
    const QFontMetricsF metrics(rowFont);
    const double rowHeight = metrics.height();
    const QString metadata = thumbnailMetadataText(*image);
    const QString slash = QStringLiteral("/");
    const QString ageSex = thumbnailAgeSexText(*image);
    const double gap = 4;
    double x = rect.left();
    const double right = rect.right();
    const double metadataWidth = std::min(metrics.horizontalAdvance(metadata), std::max(0.0, right - x));
    drawElided(painter, rowFont, AppStyle::secondary(palette), QRectF(x, y, metadataWidth + 1, rowHeight), metadata);
    x += metadataWidth + gap;
    if (x < right) {
        const double slashWidth = metrics.horizontalAdvance(slash);
        drawElided(painter, rowFont, AppStyle::tertiary(palette), QRectF(x, y, slashWidth + 1, rowHeight), slash);
        x += slashWidth + gap;
    }
    if (x < right)
        drawElided(painter, rowFont, AppStyle::tertiary(palette), QRectF(x, y, right - x, rowHeight), ageSex);
    painter.restore();
}

LibraryThumbnailPreview::LibraryThumbnailPreview(AtlasImage *image, double previewSide, QWidget *parent,
                                                 ThumbnailCache *cache)
    : QWidget(parent)
    , m_image(image)
    , m_previewSide(previewSide)
    , m_cache(cache ? cache : &ThumbnailCache::shared())
{
}

QSize LibraryThumbnailPreview::sizeHint() const
{
    const QFontMetricsF metrics(AppStyle::withWeight(AppStyle::callout(), QFont::Medium));
    const double padding = 12;
    return QSize(int(std::ceil(m_previewSide + 2 * padding)),
                 int(std::ceil(padding + m_previewSide + 8 + metrics.height() + padding)));
}

void LibraryThumbnailPreview::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_requested || !m_image)
        return;
    m_requested = true;
    m_cache->thumbnail(m_image, ThumbnailCache::defaultMaxPixelSize, this,
                                       [this](const std::optional<QImage> &result) {
                                           m_thumbnail = result;
                                           update();
                                       });
}

void LibraryThumbnailPreview::paintEvent(QPaintEvent *)
{
    if (!m_image)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const double padding = 12;
    const QRectF area((width() - m_previewSide) / 2, padding, m_previewSide, m_previewSide);
    if (m_thumbnail && !m_thumbnail->isNull()) {
        painter.drawImage(fitted(m_thumbnail->size(), area), *m_thumbnail);
    } else {
        const double side = QFontMetricsF(AppStyle::largeTitle()).height() * 1.2;
        SystemSymbol::paint(painter, LibraryThumbnail::placeholderSymbol(*m_image),
                            QRectF(area.center().x() - side / 2, area.center().y() - side / 2, side, side),
                            AppStyle::secondary(palette()));
    }
    const QFont font = AppStyle::withWeight(AppStyle::callout(), QFont::Medium);
    const double top = area.bottom() + 8;
    drawElided(painter, font, AppStyle::primary(palette()),
               QRectF((width() - m_previewSide) / 2, top, m_previewSide, QFontMetricsF(font).height()),
               thumbnailTitle(*m_image), Qt::AlignHCenter | Qt::AlignVCenter);
}
