#pragma once

// Generated pictures and a small in-memory library for the browser's
// benchmarks and its preview program.

#include "model/AtlasImage.h"
#include "model/LibraryEntry.h"
#include "model/Series.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <memory>
#include <vector>

namespace sample {

// A picture that looks like a cross-sectional scan: a body outline with a
// few organs and some noise, in grey on black.
inline QImage scanPicture(QSize size, quint32 seed)
{
    QRandomGenerator random(seed);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double w = size.width(), h = size.height();
    const QPointF centre(w / 2, h / 2);
    const double rx = w * (0.34 + random.bounded(0.08)), ry = h * (0.3 + random.bounded(0.1));
    QRadialGradient body(centre, std::max(rx, ry));
    body.setColorAt(0, QColor(120, 120, 120));
    body.setColorAt(0.85, QColor(85, 85, 85));
    body.setColorAt(1, QColor(200, 200, 200));
    painter.setPen(QPen(QColor(210, 210, 210), std::max(2.0, w / 160)));
    painter.setBrush(body);
    painter.drawEllipse(centre, rx, ry);
    for (int organ = 0; organ < 5; ++organ) {
        const QPointF at(centre.x() + (random.bounded(1.0) - 0.5) * rx, centre.y() + (random.bounded(1.0) - 0.5) * ry);
        const int grey = 40 + random.bounded(170);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(grey, grey, grey));
        painter.drawEllipse(at, rx * (0.12 + random.bounded(0.15)), ry * (0.1 + random.bounded(0.15)));
    }
    painter.setBrush(QColor(235, 235, 235));
    painter.drawEllipse(QPointF(centre.x(), centre.y() + ry * 0.7), rx * 0.12, ry * 0.1);
    painter.end();
    // Grain, as scans have.
    for (int y = 0; y < size.height(); y += 2) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); x += 2) {
            const int noise = int(random.bounded(24)) - 12;
            const int g = std::clamp(qGray(line[x]) + noise, 0, 255);
            line[x] = qRgb(g, g, g);
        }
    }
    return image;
}

inline QByteArray encoded(const QImage &image, const char *format, int quality = 85)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return bytes;
}

// Owns the models of a library that lives in memory only.
struct Library {
    std::vector<std::shared_ptr<Series>> series;
    std::vector<std::shared_ptr<AtlasImage>> images;

    AtlasImage *addImage(const QString &title, Modality modality, Region region, Plane plane, AgeSpec age, Sex sex,
                         std::optional<QByteArray> bytes, Series *inSeries = nullptr, qint64 sortIndex = 0)
    {
        auto image = AtlasImage::make(title, modality, region, plane, age, sex, bytes, sortIndex, inSeries);
        images.push_back(image);
        return image.get();
    }
    Series *addSeries(const QString &title)
    {
        series.push_back(Series::make(title));
        return series.back().get();
    }
};

} // namespace sample
