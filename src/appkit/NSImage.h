#pragma once

#include "foundation/Bundle.h"

#include <QByteArray>
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QRectF>

#include <optional>

// Image helpers.
struct NSImage {
    // The image in the file, through the application's one decoding path.
    // Its type always comes from the bytes, so `ignoringHint` (take the type
    // from the bytes, not the name's extension) changes nothing.
    static std::optional<QImage> contentsOf(const QString &path, bool ignoringHint);
    // The bundle's icon: the resource named by "CFBundleIconFile", with the
    // extension "png" (the icon format of Linux desktops) added unless the
    // name already ends with it.
    static std::optional<QImage> appIcon(const Bundle &bundle = Bundle::main());
    static std::optional<QSize> pixelSize(const QImage &image);
    // JPEG bytes at a compression factor from 0 (smallest) to 1 (best).
    static std::optional<QByteArray> jpegData(const QImage &image, float compressionFactor);
    // The rectangle of `size` centred on `point`.
    static QRectF centredFrame(const QSizeF &size, const QPointF &point);
    // The part of the image under `rect`, in pixels; none when it misses.
    static std::optional<QImage> crop(const QImage &image, const QRect &rect);
    // A mask icon filled with `colour` where it is opaque, no longer a
    // mask; any other icon is returned unchanged.
    static QIcon tinted(const QIcon &icon, const QColor &colour);
    // Paints `colour` over the opaque part of the pixmap, keeping its alpha.
    static void fillOpaqueArea(QPixmap &pixmap, const QColor &colour);
};
