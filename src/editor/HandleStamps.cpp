#include "editor/HandleStamps.h"

#include "ui/AppStyle.h"

#include <QPainter>

#include <cmath>

namespace {

// Room around the largest dot for its ring and the antialiased edge.
constexpr double stampSide = 20;

} // namespace

QColor HandleStamps::yellow()
{
    return QColor(255, 204, 0);
}

QColor HandleStamps::green()
{
    return QColor(52, 199, 89);
}

void HandleStamps::stamp(QPainter &painter, Kind kind, const QPointF &centre)
{
    const qreal ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage &drawn = image(kind, ratio);
    const double half = stampSide / 2;
    painter.drawImage(QPointF(std::round((centre.x() - half) * ratio) / ratio,
                              std::round((centre.y() - half) * ratio) / ratio),
                      drawn);
}

const QImage &HandleStamps::image(Kind kind, qreal ratio)
{
    if (ratio != m_ratio) {
        m_images.clear();
        m_ratio = ratio;
    }
    const auto found = m_images.find(kind);
    if (found != m_images.end())
        return found->second;

    const int pixels = int(std::ceil(stampSide * ratio));
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        const QPointF centre(stampSide / 2, stampSide / 2);
        const auto dot = [&](double diameter, const QColor &fill, const QColor &ring, double ringWidth) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawEllipse(centre, diameter / 2, diameter / 2);
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(ring, ringWidth));
            painter.drawEllipse(centre, diameter / 2, diameter / 2);
        };
        const QColor orange = AppStyle::orange();
        switch (kind) {
        case Kind::point:
            dot(10, orange, orange, 1);
            break;
        case Kind::vertex:
            dot(10, QColor::fromRgbF(0, 0, 0, 0.6f), orange, 1);
            break;
        case Kind::emphasised:
            dot(13, orange, Qt::white, 2);
            break;
        case Kind::draft:
            dot(10, yellow(), yellow(), 1);
            break;
        case Kind::midpoint: {
            QColor disc = green();
            disc.setAlphaF(0.85f);
            painter.setPen(Qt::NoPen);
            painter.setBrush(disc);
            painter.drawEllipse(centre, 8, 8);
            painter.setPen(QPen(Qt::white, 1.8, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(centre - QPointF(4, 0), centre + QPointF(4, 0));
            painter.drawLine(centre - QPointF(0, 4), centre + QPointF(0, 4));
            break;
        }
        }
    }
    return m_images.emplace(kind, image).first->second;
}
