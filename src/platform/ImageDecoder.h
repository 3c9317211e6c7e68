#pragma once

#include <QByteArray>
#include <QImage>

// The one way a library image's bytes become pixels, for thumbnails, the
// opened image, the viewer and the editor: the first image in the bytes,
// turned upright by its stored (EXIF) orientation, under the raised decode
// limit of PlatformImage::allowLargeImages(). Any thread; off the GUI thread
// it runs on WorkerPools::decoding().
namespace ImageDecoder {

// No bound on the size.
inline constexpr int fullSize = 0;

// The image at full size, or scaled down so that its longer side is at most
// `maxPixelSize` pixels (never enlarged), with its aspect kept. Formats that
// can decode at a reduced size (JPEG) never build the full image. A scaled
// image comes in a format the painter draws without conversion; a full-size
// one keeps the format it was stored in, sparing memory. A null image for
// empty or undecodable bytes.
QImage decode(const QByteArray &data, int maxPixelSize = fullSize);

} // namespace ImageDecoder
