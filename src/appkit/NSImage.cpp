#include "appkit/NSImage.h"

#include "platform/ImageDecoder.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

std::optional<QImage> NSImage::contentsOf(const QString &path, bool ignoringHint)
{
    // The bytes decide the format whether or not the name hints at one.
    Q_UNUSED(ignoringHint);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QImage image = ImageDecoder::decode(file.readAll());
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QImage> NSImage::appIcon(const Bundle &bundle)
{
    const auto name = bundle.applicationIconFileName();
    if (!name)
        return std::nullopt;
    const QString extension = QStringLiteral("png");
    const bool hasExtension = name->endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive);
    const auto path = bundle.pathForResource(*name, hasExtension ? QString() : extension);
    if (!path)
        return std::nullopt;
    return contentsOf(*path, false);
}

std::optional<QSize> NSImage::pixelSize(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    return image.size();
}

std::optional<QByteArray> NSImage::jpegData(const QImage &image, float compressionFactor)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const int quality = qBound(0, int(std::lround(compressionFactor * 100.0f)), 100);
    if (!image.save(&buffer, "JPEG", quality) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

QRectF NSImage::centredFrame(const QSizeF &size, const QPointF &point)
{
    return QRectF(point.x() - size.width() * 0.5, point.y() - size.height() * 0.5, size.width(), size.height());
}

std::optional<QImage> NSImage::crop(const QImage &image, const QRect &rect)
{
    const QRect area = rect.intersected(image.rect());
    if (image.isNull() || area.isEmpty())
        return std::nullopt;
    return image.copy(area);
}

QIcon NSImage::tinted(const QIcon &icon, const QColor &colour)
{
    if (!icon.isMask())
        return icon;
    QIcon result;
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = {QSize(32, 32)};
    for (const QSize &size : sizes) {
        QPixmap pixmap = icon.pixmap(size);
        fillOpaqueArea(pixmap, colour);
        result.addPixmap(pixmap);
    }
    result.setIsMask(false);
    return result;
}

void NSImage::fillOpaqueArea(QPixmap &pixmap, const QColor &colour)
{
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(QRectF(QPointF(0, 0), pixmap.deviceIndependentSize()), colour);
}
