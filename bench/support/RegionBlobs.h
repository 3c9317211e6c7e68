#pragma once

// What the annotation benchmarks share: the picture they annotate and the
// blob-shaped regions of 50 corners they spread over it.

#include "model/Vertex.h"

#include <QImage>
#include <QList>
#include <QPainter>
#include <QRandomGenerator>

#include <cmath>
#include <numbers>

// A 3000 by 3000 picture: a light disc on a dark ground.
inline QImage blobPicture()
{
    QImage image(3000, 3000, QImage::Format_RGB32);
    image.fill(QColor(30, 30, 30));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(150, 140, 130));
    painter.setPen(QPen(QColor(220, 220, 220), 20));
    painter.drawEllipse(QPointF(1500, 1500), 1300, 1400);
    return image;
}

// The corners of the `i`th blob: 50 round a random centre, at a random
// radius of up to 3 % of the picture, wavy.
inline QList<Vertex> blobCorners(QRandomGenerator &random, int i)
{
    constexpr int corners = 50;
    const double cx = 0.05 + random.bounded(0.9), cy = 0.05 + random.bounded(0.9);
    const double radius = 0.005 + random.bounded(0.025);
    QList<Vertex> vertices;
    for (int k = 0; k < corners; ++k) {
        const double angle = k * 2 * std::numbers::pi / corners;
        const double r = radius * (0.75 + 0.25 * std::sin(angle * 3 + i));
        vertices.append({cx + r * std::cos(angle), cy + r * std::sin(angle)});
    }
    return vertices;
}
