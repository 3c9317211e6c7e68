#pragma once

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QImageWriter>

// Picture bytes in a format, of one colour.
inline QByteArray encodedPicture(const char *format, QSize size, QColor colour = QColor(200, 90, 10),
                                 QImageIOHandler::Transformations transformation = QImageIOHandler::TransformationNone)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setTransformation(transformation);
    if (!writer.write(image))
        qFatal("cannot encode a %s picture", format);
    return bytes;
}

// A small PNG file's bytes.
inline QByteArray pngBytes(const QColor &colour = QColor(10, 120, 200), QSize size = QSize(8, 6))
{
    return encodedPicture("PNG", size, colour);
}
