#include "about/AppIcon.h"

#include "appkit/NSImage.h"
#include "ui/SystemSymbol.h"

#include <QPainter>

AppIcon::AppIcon(const Bundle &bundle, QWidget *parent) : QWidget(parent), m_image(NSImage::appIcon(bundle))
{
}

void AppIcon::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_image) {
        SystemSymbol::paint(painter, QString::fromLatin1(placeholderSymbol), rect(),
                            palette().color(QPalette::WindowText));
        return;
    }
    const qreal scale = devicePixelRatioF();
    QImage fitted = m_image->scaled(size() * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    fitted.setDevicePixelRatio(scale);
    const QSizeF shown = fitted.deviceIndependentSize();
    painter.drawImage(QPointF((width() - shown.width()) / 2, (height() - shown.height()) / 2), fitted);
}
