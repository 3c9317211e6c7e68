#include "shell/OpenedImagePreview.h"

#include "model/AtlasImage.h"
#include "platform/ImageDecoder.h"
#include "ui/AppStyle.h"

#include <QPainter>

namespace {

const QColor background(28, 28, 30);
const int margin = 24;

} // namespace

OpenedImagePreview::OpenedImagePreview(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void OpenedImagePreview::setImage(AtlasImage *image)
{
    m_image = image;
    m_picture = QImage();
    m_scaled = QPixmap();
    if (image)
        m_picture = ImageDecoder::decode(image->imageData().value_or(QByteArray()));
    setWindowTitle(title());
    update();
}

QString OpenedImagePreview::title() const
{
    if (!m_image)
        return {};
    return m_image->title().isEmpty() ? QStringLiteral("Untitled") : m_image->title();
}

int OpenedImagePreview::titleHeight() const
{
    return QFontMetrics(AppStyle::headline()).height() + 20;
}

QRect OpenedImagePreview::pictureRect() const
{
    if (m_picture.isNull())
        return {};
    const QRect area = rect().adjusted(margin, margin, -margin, -titleHeight());
    if (area.width() <= 0 || area.height() <= 0)
        return {};
    const QSize fitted = m_picture.size().scaled(area.size(), Qt::KeepAspectRatio);
    return QRect(area.left() + (area.width() - fitted.width()) / 2, area.top() + (area.height() - fitted.height()) / 2,
                 fitted.width(), fitted.height());
}

void OpenedImagePreview::resizeEvent(QResizeEvent *event)
{
    m_scaled = QPixmap();
    QWidget::resizeEvent(event);
}

void OpenedImagePreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), background);

    const QRect target = pictureRect();
    if (!target.isEmpty()) {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = target.size() * ratio;
        if (m_scaled.isNull() || m_scaled.size() != pixels) {
            m_scaled = QPixmap::fromImage(m_picture.scaled(pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation));
            m_scaled.setDevicePixelRatio(ratio);
        }
        painter.drawPixmap(target.topLeft(), m_scaled);
    } else if (m_image) {
        painter.setPen(QColor(255, 255, 255, 120));
        painter.setFont(AppStyle::body());
        painter.drawText(rect().adjusted(0, 0, 0, -titleHeight()), Qt::AlignCenter,
                         QStringLiteral("No picture"));
    }

    if (m_image) {
        painter.setPen(QColor(255, 255, 255, 220));
        painter.setFont(AppStyle::headline());
        const QRect band(margin, height() - titleHeight(), width() - 2 * margin, titleHeight());
        painter.drawText(band, Qt::AlignCenter,
                         painter.fontMetrics().elidedText(title(), Qt::ElideMiddle, band.width()));
    }
}
