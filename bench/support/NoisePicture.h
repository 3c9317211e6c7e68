#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>

#include <cmath>

// A PNG of random pixels of about `megabytes` MB (noise does not compress).
inline QByteArray noisePicture(double megabytes)
{
    // RGB noise stores about three bytes a pixel in a PNG.
    const int side = int(std::sqrt(megabytes * 1024 * 1024 / 3.0));
    QImage image(side, side, QImage::Format_RGB32);
    QRandomGenerator random(20261206);
    for (int y = 0; y < side; ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = random.generate() | 0xff000000u;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "png", 100);
    return bytes;
}
