#pragma once

// A picture to annotate in the previews: an axial slice of a chest, drawn
// (body, lungs, heart, spine, ribs, a little noise).

#include <QImage>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

inline QImage chestScan()
{
    QImage image(2000, 1600, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QRadialGradient body(QPointF(1000, 800), 900);
    body.setColorAt(0, QColor(120, 120, 120));
    body.setColorAt(1, QColor(70, 70, 70));
    painter.setBrush(body);
    painter.drawEllipse(QPointF(1000, 820), 880, 640);
    painter.setBrush(QColor(25, 25, 25));
    painter.drawEllipse(QPointF(620, 760), 300, 430);
    painter.drawEllipse(QPointF(1380, 760), 290, 420);
    painter.setBrush(QColor(150, 150, 150));
    painter.drawEllipse(QPointF(1080, 860), 230, 200);
    painter.setBrush(QColor(230, 230, 230));
    painter.drawEllipse(QPointF(1000, 1330), 95, 85);
    painter.drawRoundedRect(QRectF(960, 240, 80, 180), 30, 30);
    painter.setBrush(QColor(60, 60, 60));
    painter.drawEllipse(QPointF(1000, 1330), 35, 30);
    painter.setPen(QPen(QColor(215, 215, 215), 22, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    for (int i = 0; i < 6; ++i) {
        const double grow = i * 40;
        painter.drawArc(QRectF(180 - grow / 2, 260 + grow, 1640 + grow, 1180 - grow), 200 * 16, 60 * 16);
        painter.drawArc(QRectF(180 - grow / 2, 260 + grow, 1640 + grow, 1180 - grow), -80 * 16, 60 * 16);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(180, 180, 180));
    painter.drawEllipse(QPointF(1130, 1150), 70, 70);
    QRandomGenerator random(3);
    for (int i = 0; i < 40000; ++i) {
        const int shade = int(random.bounded(40));
        painter.setPen(QColor(shade, shade, shade, 40));
        painter.drawPoint(QPointF(random.bounded(2000.0), random.bounded(1600.0)));
    }
    return image;
}
