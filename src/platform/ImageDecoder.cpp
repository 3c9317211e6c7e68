#include "platform/ImageDecoder.h"

#include "platform/PlatformImage.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cmath>

namespace {

QSize boundedSize(QSize size, int maxPixelSize)
{
    const int longer = std::max(size.width(), size.height());
    if (maxPixelSize == ImageDecoder::fullSize || longer <= maxPixelSize)
        return size;
    const double factor = double(maxPixelSize) / longer;
    return QSize(std::max(1, int(std::lround(size.width() * factor))),
                 std::max(1, int(std::lround(size.height() * factor))));
}

} // namespace

QImage ImageDecoder::decode(const QByteArray &data, int maxPixelSize)
{
    if (data.isEmpty() || maxPixelSize < 0)
        return {};
    PlatformImage::allowLargeImages();
    QBuffer buffer;
    buffer.setData(data); // shares the bytes, no copy
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty()) {
        const QSize target = boundedSize(size, maxPixelSize);
        // The others are decoded whole and scaled smoothly below.
        if (target != size)
            reader.setScaledSize(target);
    }
    QImage image = reader.read();
    if (image.isNull() || maxPixelSize == fullSize)
        return image;
    // Readers without a size in the header: scale afterwards.
    const QSize bounded = boundedSize(image.size(), maxPixelSize);
    if (bounded != image.size())
        image = image.scaled(bounded, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                         : QImage::Format_RGB32);
}
