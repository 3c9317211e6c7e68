#include "platform/PlatformImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

namespace {

bool isShowable(QSize size)
{
    return !size.isEmpty() && qint64(size.width()) * size.height() <= PlatformImage::maximumPixelCount;
}

// Whether `reader` (already set to its format, or to detect it) can make an
// image the application can show.
bool readsAsImage(QImageReader &reader)
{
    if (!reader.canRead())
        return false;
    const QSize size = reader.size();
    if (size.isValid())
        return isShowable(size);
    const QImage image = reader.read();
    return !image.isNull() && isShowable(image.size());
}

} // namespace

void PlatformImage::allowLargeImages()
{
    // A function-local static is set once, and seen set by every thread
    // that gets past it.
    [[maybe_unused]] static const bool raised = [] {
        QImageReader::setAllocationLimit(allocationLimitMegabytes);
        return true;
    }();
}

bool PlatformImage::canCreateImage(const QByteArray &data, const QByteArray &formatHint)
{
    if (data.isEmpty())
        return false;
    allowLargeImages();
    QBuffer buffer;
    buffer.setData(data); // shares the bytes, no copy
    if (!buffer.open(QIODevice::ReadOnly))
        return false;
    {
        QImageReader reader(&buffer);
        if (readsAsImage(reader))
            return true;
    }
    // Some formats (icons, cursors) carry no signature that their reader
    // recognises on its own.
    const QByteArray format = formatHint.toLower();
    if (format.isEmpty() || !QImageReader::supportedImageFormats().contains(format))
        return false;
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    return readsAsImage(reader);
}
