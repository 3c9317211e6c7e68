#pragma once

#include <QByteArray>

// What the desktop's image class accepts as an image.
class PlatformImage {
public:
    // Largest decoded image allowed, in megabytes: enough for a 16,384 by
    // 16,384 pixel scan at 32 bits per pixel (Qt's own default of 128 MB
    // refuses large scans).
    static constexpr int allocationLimitMegabytes = 1024;

    // Largest picture the application shows, in pixels: 16,384 by 16,384,
    // the most that fits the allocation limit at 32 bits per pixel, as the
    // viewer holds a picture. Larger pictures are not images to it.
    static constexpr qint64 maximumPixelCount = qint64(16384) * 16384;

    // Largest file that can hold such a picture: maximumPixelCount pixels
    // stored uncompressed at four 32-bit channels, with 64 MB besides for
    // its metadata. A larger file is not an image to it, whatever its
    // header says.
    static constexpr qint64 maximumFileSize = maximumPixelCount * 16 + qint64(64) * 1024 * 1024;

    // Raises the image readers' decode limit to allocationLimitMegabytes.
    // The limit is one setting for the whole process: it is set once, by the
    // first caller; every decode of library images calls this first. Any
    // thread.
    static void allowLargeImages();

    // Whether an image can be made from the bytes: their format is recognised
    // from the content and its header gives a non-empty size of at most
    // maximumPixelCount pixels. Like the
    // desktop's image class, this does not decode the pixels, so checking a
    // very large scan costs no memory; a format whose reader cannot tell the
    // size from the header is decoded once, within the allocation limit.
    // `formatHint` (a file-name extension such as "ico") is tried only for
    // bytes whose format cannot be told from their content.
    static bool canCreateImage(const QByteArray &data, const QByteArray &formatHint = {});
};
