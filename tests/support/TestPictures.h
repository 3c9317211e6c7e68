#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

// The bytes of `image` stored in `format`, with a stored orientation when
// one is given.
inline QByteArray encoded(const QImage &image, const char *format,
                          QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setTransformation(transformation);
    if (!writer.write(image))
        qFatal("cannot encode a %s picture", format);
    return bytes;
}

// Picture bytes in a format, of one colour, from pixels of `pixelFormat`
// (PNG and TIFF keep their depth: 16-bit grey, 16-bit RGB, ...).
inline QByteArray encodedPicture(const char *format, QSize size, QColor colour = QColor(200, 90, 10),
                                 QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone,
                                 QImage::Format pixelFormat = QImage::Format_RGB32)
{
    QImage image(size, pixelFormat);
    image.fill(colour);
    return encoded(image, format, transformation);
}

// A one-bit PNG: a very large picture in a few dozen kilobytes.
inline QByteArray monoPng(QSize size)
{
    return encodedPicture("PNG", size, Qt::white, QImageIOHandler::TransformationNone, QImage::Format_Mono);
}

// A small PNG file's bytes.
inline QByteArray pngBytes(const QColor &colour = QColor(10, 120, 200), QSize size = QSize(8, 6))
{
    return encodedPicture("PNG", size, colour);
}

// A small PNG whose header declares `size`: what it holds does not match,
// but readers that look at the header alone take it for that size.
inline QByteArray pngDeclaring(QSize size)
{
    QByteArray bytes = pngBytes(Qt::black, QSize(1, 1));
    // The header chunk's fields start after the signature, its length and
    // its name; its CRC-32 covers the name and the fields.
    const auto putBigEndian = [&bytes](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((value >> (24 - 8 * i)) & 0xff);
    };
    putBigEndian(16, quint32(size.width()));
    putBigEndian(20, quint32(size.height()));
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 12; i < 29; ++i) {
        crc ^= quint8(bytes.at(i));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    putBigEndian(29, ~crc);
    return bytes;
}
