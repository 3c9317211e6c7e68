// Writes pictures of the image screen as PNG files, to look at it as a user
// would: the regular layout with its annotations and metadata strip (wide,
// and narrow enough to scroll), an annotation's links panel, zoomed in, both
// placeholders, and the compact layouts with the drawer beside and below
// the picture, on each of its pages.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/preview_screen [folder]   # default /tmp/veloran-preview

#include "browser/SampleLibrary.h"

#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "viewer/CanvasZoom.h"
#include "viewer/DetailDrawer.h"
#include "viewer/ImageDetailView.h"
#include "viewer/OpenedPicture.h"
#include "viewer/SharedImageScreenState.h"
#include "viewer/ZoomableImage.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>

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
    // A few marks in groups, one with links.
    std::vector<std::shared_ptr<ModelObject>> marks;
    const auto addPoint = [&](const QString &label, const QString &group, double x, double y,
                              const QList<AnnotationLink> &links = {}) {
        auto point = PointAnnotation::make(label, group, links, x, y);
        point->setImage(scan);
        marks.push_back(point);
        return point.get();
    };
    addPoint(QStringLiteral("Medial condyle"), QStringLiteral("Bones"), 0.42, 0.55,
             {{QUuid::createUuid(), QString(), QStringLiteral("en.wikipedia.org/wiki/Femur")}});
    addPoint(QStringLiteral("Lateral condyle"), QStringLiteral("Bones"), 0.6, 0.5);
    addPoint(QStringLiteral("Popliteal artery"), QStringLiteral("Vessels"), 0.52, 0.72);
    addPoint(QStringLiteral("Patella"), QStringLiteral("Bones"), 0.5, 0.28);
    addPoint(QString(), QString(), 0.33, 0.4);
    auto meniscus = RegionAnnotation::make(QStringLiteral("Medial meniscus"), QStringLiteral("Cartilage"),
                                           std::nullopt,
                                           {{0.36, 0.6}, {0.46, 0.58}, {0.48, 0.64}, {0.4, 0.67}, {0.34, 0.65}});
    meniscus->setImage(scan);
    marks.push_back(meniscus);

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
        // Fades run their course.
        QElapsedTimer fades;
        fades.start();
        while (fades.elapsed() < 400)
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
    screen.selectAnnotation(scan->points().first()->id());
    screen.showLinks(scan->points().first()->id());
    shoot(QStringLiteral("screen-links.png"));
    screen.dismissLinks();
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
    screen.selectAnnotation(scan->points().at(2)->id());
    shoot(QStringLiteral("screen-compact-below.png"));
    screen.setDrawerPage(DetailDrawer::metadataPage);
    shoot(QStringLiteral("screen-compact-below-metadata.png"));
    return 0;
}
