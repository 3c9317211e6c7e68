#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QRect>

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

// The PNG's header chunk given a new CRC-32 after a change of its fields.
inline void resealPngHeader(QByteArray &bytes)
{
    // The header chunk's fields start after the signature, its length and
    // its name; its CRC-32 covers the name and the fields.
    quint32 crc = 0xffffffffu;
    for (qsizetype i = 12; i < 29; ++i) {
        crc ^= quint8(bytes.at(i));
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    for (int i = 0; i < 4; ++i)
        bytes[29 + i] = char((crc >> (24 - 8 * i)) & 0xff);
}

// A small PNG whose header declares `size`: what it holds does not match,
// but readers that look at the header alone take it for that size.
inline QByteArray pngDeclaring(QSize size)
{
    QByteArray bytes = pngBytes(Qt::black, QSize(1, 1));
    const auto putBigEndian = [&bytes](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            bytes[at + i] = char((value >> (24 - 8 * i)) & 0xff);
    };
    putBigEndian(16, quint32(size.width()));
    putBigEndian(20, quint32(size.height()));
    resealPngHeader(bytes);
    return bytes;
}

// The PNG with its header saying that its rows are interlaced (Adam7),
// which decoders read whole; the data stays as it was, so only what the
// header tells is right.
inline QByteArray markedInterlaced(QByteArray png)
{
    png[28] = 1;
    resealPngHeader(png);
    return png;
}

// A JPEG of random grey pixels, which compress poorly: cutting any part of
// it cuts its data.
inline QByteArray noiseJpeg(QSize size, bool progressive = false)
{
    QImage image(size, QImage::Format_Grayscale8);
    quint32 state = 12345;
    for (int y = 0; y < size.height(); ++y) {
        uchar *line = image.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            line[x] = uchar(state >> 24);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a JPEG picture");
    return bytes;
}

// A JPEG with an Exif segment (APP1) right after its start marker, as
// cameras write it, whose only tag is the orientation (1 to 8; 6 turns the
// picture a quarter clockwise). The pixels stay as they were stored.
inline QByteArray withExifOrientation(const QByteArray &jpeg, quint16 orientation)
{
    // Big-endian TIFF header, one directory of one SHORT entry, no next directory.
    const char tiff[] = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0, 3, 0, 0, 0, 1,
                         char(orientation >> 8), char(orientation & 0xff), 0, 0, 0, 0, 0, 0};
    QByteArray segment("Exif\0\0", 6);
    segment.append(tiff, sizeof(tiff));
    const qsizetype length = segment.size() + 2;
    segment.prepend(char(length & 0xff)).prepend(char(length >> 8)).prepend("\xff\xe1", 2);
    QByteArray bytes = jpeg;
    bytes.insert(2, segment);
    return bytes;
}

// The bounds of the pixels in which two pictures of one size differ.
inline QRect changedArea(const QImage &before, const QImage &after)
{
    QRect area;
    for (int y = 0; y < after.height(); ++y) {
        for (int x = 0; x < after.width(); ++x) {
            if (after.pixel(x, y) != before.pixel(x, y))
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}
