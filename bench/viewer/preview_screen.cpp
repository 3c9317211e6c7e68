// Writes pictures of the image screen as PNG files, to look at it as a user
// would: the regular layout with its metadata strip (wide, and narrow enough
// to scroll), zoomed in, both placeholders, and the compact layouts with the
// drawer beside and below the picture, on each of its pages.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/preview_screen [folder]   # default /tmp/veloran-preview

#include "browser/SampleLibrary.h"

#include "viewer/CanvasZoom.h"
#include "viewer/DetailDrawer.h"
#include "viewer/ImageDetailView.h"
#include "viewer/OpenedPicture.h"
#include "viewer/SharedImageScreenState.h"
#include "viewer/ZoomableImage.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/veloran-preview");
    QDir().mkpath(folder);

    sample::Library library;
    AtlasImage *scan = library.addImage(QStringLiteral("Knee, coronal"), Modality::mr, Region::lowerLimb,
                                        Plane::coronal, AgeSpec{5, 34}, Sex::female,
                                        sample::encoded(sample::scanPicture({2400, 1800}, 7), "jpg"));
    AtlasImage *missing = library.addImage(QStringLiteral("Still syncing"), Modality::ct, Region::thorax, Plane::axial,
                                           AgeSpec{}, Sex::male, std::nullopt);
    AtlasImage *broken = library.addImage(QStringLiteral("Broken"), Modality::unknown, Region::unknown, Plane::unknown,
                                          AgeSpec{}, Sex::unknown, QByteArray("not a picture"));

    SharedImageScreenState shared;
    ImageDetailView screen(shared);
    screen.resize(1100, 760);
    screen.show();

    const auto settle = [&] {
        while (screen.picture()->status() == OpenedPicture::Status::loading || !screen.canvas()->isResting())
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        for (int i = 0; i < 10; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
    };
    const auto shoot = [&](const QString &name) {
        settle();
        const QString path = QDir(folder).filePath(name);
        screen.grab().save(path);
        std::printf("%s\n", qPrintable(path));
    };

    screen.setImage(scan);
    shoot(QStringLiteral("screen-regular.png"));
    screen.canvas()->zoom()->zoomBy(3);
    screen.canvas()->zoom()->scroll({-250, 120});
    shoot(QStringLiteral("screen-zoomed.png"));
    shared.setShowAnnotations(false);
    screen.resize(520, 760);
    shoot(QStringLiteral("screen-narrow.png"));
    screen.resize(1100, 760);
    shared.setShowAnnotations(true);

    screen.setImage(missing);
    shoot(QStringLiteral("screen-downloading.png"));
    screen.setImage(broken);
    shoot(QStringLiteral("screen-unavailable.png"));

    screen.setImage(scan);
    screen.setSizeClasses({std::nullopt, SizeClass::compact});
    screen.resize(900, 420);
    shoot(QStringLiteral("screen-compact-beside.png"));
    screen.setSizeClasses({SizeClass::compact, SizeClass::regular});
    screen.resize(420, 860);
    shoot(QStringLiteral("screen-compact-below.png"));
    screen.setDrawerPage(DetailDrawer::metadataPage);
    shoot(QStringLiteral("screen-compact-below-metadata.png"));
    return 0;
}
