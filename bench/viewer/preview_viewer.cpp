// Writes pictures of the image viewer as PNG files, to look at it as a user
// would: a picture at 1×, zoomed and panned, at 8×, with an overlay that
// marks the picture's corners and centre through the canvas geometry (the
// marks must sit exactly on them), and the zoom buttons' states.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/preview_viewer [picture file] [folder]
//
// Without a picture file (or with "") a synthetic scan is drawn; the folder defaults to
// /tmp/veloran-preview.

#include "ViewerHarness.h"
#include "viewer/CanvasOverlay.h"
#include "viewer/CanvasZoom.h"

#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>

namespace {

class CornerMarks : public CanvasOverlay {
public:
    void paint(QPainter &painter, const CanvasGeometry &geometry) override
    {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 149, 0), 1.5));
        for (const QPointF unit : {QPointF(0, 0), QPointF(1, 0), QPointF(0, 1), QPointF(1, 1), QPointF(0.5, 0.5)}) {
            const QPointF at = geometry.viewPoint(unit);
            painter.drawLine(at - QPointF(8, 0), at + QPointF(8, 0));
            painter.drawLine(at - QPointF(0, 8), at + QPointF(0, 8));
        }
    }
};

QImage syntheticScan()
{
    QImage image(3000, 2400, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient body(QPointF(1500, 1200), 1100);
    body.setColorAt(0, QColor(140, 140, 140));
    body.setColorAt(0.9, QColor(80, 80, 80));
    body.setColorAt(1, QColor(220, 220, 220));
    painter.setBrush(body);
    painter.setPen(QPen(QColor(230, 230, 230), 12));
    painter.drawEllipse(QPointF(1500, 1200), 1100, 950);
    painter.setFont(QFont(QStringLiteral("Sans"), 40));
    painter.setPen(Qt::white);
    for (int i = 0; i < 12; ++i)
        painter.drawText(QPointF(900 + (i % 4) * 300, 900 + (i / 4) * 300), QString::number(i));
    return image;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const QString folder = arguments.size() > 2 ? arguments.at(2) : QStringLiteral("/tmp/veloran-preview");
    QDir().mkpath(folder);
    QImage image = arguments.size() > 1 && !arguments.at(1).isEmpty() ? QImageReader(arguments.at(1)).read()
                                                                        : syntheticScan();
    if (image.isNull()) {
        std::fprintf(stderr, "Cannot read %s\n", qPrintable(arguments.at(1)));
        return 1;
    }

    PictureSource source;
    buildPicture(source, image);
    CornerMarks marks;
    ZoomableImage viewer;
    showViewer(viewer, &source, &marks, {1000, 700});

    const auto shoot = [&](const QString &name, double scale, QSizeF pan) {
        viewer.zoom()->reset();
        viewer.zoom()->zoomBy(scale);
        viewer.zoom()->scroll(pan);
        settle(viewer);
        const QString path = QDir(folder).filePath(name);
        viewer.grab().save(path);
        std::printf("%s\n", qPrintable(path));
    };
    shoot(QStringLiteral("viewer-1x.png"), 1, {});
    shoot(QStringLiteral("viewer-2.25x-panned.png"), 2.25, {300, -200});
    shoot(QStringLiteral("viewer-8x.png"), 8, {660, 740});
    return 0;
}
