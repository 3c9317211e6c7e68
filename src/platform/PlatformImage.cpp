#include "platform/PlatformImage.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

namespace {

// Whether `reader` (already set to its format, or to detect it) can make an image.
bool readsAsImage(QImageReader &reader)
{
    reader.setAllocationLimit(PlatformImage::allocationLimitMegabytes);
    if (!reader.canRead())
        return false;
    const QSize size = reader.size();
    if (size.isValid())
        return !size.isEmpty();
    return !reader.read().isNull();
}

} // namespace

bool PlatformImage::canCreateImage(const QByteArray &data, const QByteArray &formatHint)
{
    if (data.isEmpty())
        return false;
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
