#pragma once

#include "platform/ImageDecoder.h"

#include <QImage>
#include <QSize>

#include <optional>

// Decoding through libvips, which reads PNG, JPEG and TIFF in strips and
// shrinks while it loads, so neither a thumbnail nor an 8-bit picture of a
// large scan ever holds the scan at its stored depth. ImageDecoder's own
// helper: it decides what comes here. Any thread.
namespace LibvipsImage {

// What the header says, read without decoding pixels.
struct Header {
    QSize size;          // as stored, before the orientation is applied
    int orientation = 1; // EXIF orientation, 1 (upright) to 8
    int bands = 0;
    int bytesPerBand = 1;

    // The size once upright: width and height swapped for orientations 5 to 8.
    QSize uprightSize() const;
};

// Whether libvips has started (once, on first use).
bool isAvailable();

// None when libvips cannot read the image.
std::optional<Header> header(const EncodedImage &image);

// The image upright and scaled to exactly `target` (an upright size), as
// 32-bit RGB or premultiplied ARGB. Null on failure.
QImage thumbnail(const EncodedImage &image, QSize target);

// The same for encodings that cannot shrink while they load (PNG): the
// stored picture is narrowed to 8 bits per channel as it is read, then
// shrunk, with alpha as stored (not premultiplied). Through thumbnail()
// libvips would shrink their rows premultiplied in floats: a 16-bit RGBA
// scan of 16,384² pixels peaked at 400 to 600 MB, this way at 180 to 280.
QImage narrowedThumbnail(const EncodedImage &image, QSize target);

// The image upright at full size, 8 bits per channel: grey as 8-bit grey,
// colour as 32-bit RGB, with alpha as premultiplied ARGB. Null on failure.
QImage fullSize(const EncodedImage &image);

} // namespace LibvipsImage
