// Writes pictures of the annotation display as PNG files, to look at it as a
// user would: a chest scan with a few dozen labelled points and regions in
// the viewer at 1× and zoomed, with a highlighted label and its link button,
// with a group switched off, in a view shorter than two labels, and the
// links panel, the drawer's list and the group switches, and the list with
// the keyboard focus on a row.
//
//   QT_QPA_PLATFORM=offscreen build/bench/viewer/preview_annotations [folder]
//
// The folder defaults to /tmp/veloran-preview.

#include "ViewerHarness.h"
#include "support/ChestScan.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "viewer/AnnotationInspector.h"
#include "viewer/AnnotationLinksOverlay.h"
#include "viewer/AnnotationList.h"
#include "viewer/CanvasZoom.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QVBoxLayout>

#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <vector>

namespace {

QList<Vertex> ellipse(double cx, double cy, double rx, double ry, int corners = 24)
{
    QList<Vertex> vertices;
    for (int k = 0; k < corners; ++k) {
        const double a = k * 2 * std::numbers::pi / corners;
        vertices.append({cx + rx * std::cos(a), cy + ry * std::sin(a)});
    }
    return vertices;
}

struct Atlas {
    std::shared_ptr<AtlasImage> image = AtlasImage::make(QStringLiteral("Chest, axial"));
    std::vector<std::shared_ptr<ModelObject>> kept;
    QUuid heart, aorta;

    void point(const QString &label, const QString &group, double x, double y, QList<AnnotationLink> links = {})
    {
        auto point = PointAnnotation::make(label, group, links, x, y);
        point->setImage(image.get());
        kept.push_back(point);
        if (label == QLatin1String("Descending aorta"))
            aorta = point->id();
    }
    void region(const QString &label, const QString &group, const QList<Vertex> &vertices)
    {
        auto region = RegionAnnotation::make(label, group, {}, vertices);
        region->setImage(image.get());
        kept.push_back(region);
        if (label == QLatin1String("Heart"))
            heart = region->id();
    }

    Atlas()
    {
        const QList<AnnotationLink> aortaLinks{
            {QUuid::createUuid(), QStringLiteral("Aorta & great vessels"),
             QStringLiteral("https://en.wikipedia.org/wiki/Aorta")},
            {QUuid::createUuid(), {}, QStringLiteral("radiopaedia.org/articles/thoracic-aorta")},
            {QUuid::createUuid(), {}, QStringLiteral("www.bbc.co.uk/science/human-body")},
            {QUuid::createUuid(), QStringLiteral("Run this"), QStringLiteral("javascript:alert(1)")}};
        region(QStringLiteral("Right lung"), QStringLiteral("Lungs"), ellipse(0.31, 0.475, 0.15, 0.27));
        region(QStringLiteral("Left lung"), QStringLiteral("Lungs"), ellipse(0.69, 0.475, 0.145, 0.26));
        region(QStringLiteral("Heart"), QStringLiteral("Mediastinum"), ellipse(0.54, 0.54, 0.115, 0.125));
        region(QStringLiteral("Vertebral body"), QStringLiteral("Bones"), ellipse(0.5, 0.83, 0.047, 0.053, 16));
        region(QStringLiteral("Sternum"), QStringLiteral("Bones"),
               {{0.48, 0.15}, {0.52, 0.15}, {0.52, 0.26}, {0.48, 0.26}});
        point(QStringLiteral("Descending aorta"), QStringLiteral("Vessels, Mediastinum"), 0.565, 0.72, aortaLinks);
        point(QStringLiteral("Spinal cord"), QStringLiteral("Nerves"), 0.5, 0.83);
        point(QStringLiteral("Oesophagus"), QStringLiteral("Mediastinum"), 0.52, 0.74);
        point(QStringLiteral("Right main bronchus"), QStringLiteral("Lungs"), 0.45, 0.5);
        point(QStringLiteral("Left main bronchus"), QStringLiteral("Lungs"), 0.6, 0.47);
        point(QStringLiteral("Right ventricle"), QStringLiteral("Mediastinum"), 0.52, 0.47);
        point(QStringLiteral("Left ventricle"), QStringLiteral("Mediastinum"), 0.6, 0.57);
        point(QStringLiteral("Superior vena cava"), QStringLiteral("Vessels"), 0.44, 0.42);
        point(QStringLiteral("Pulmonary trunk"), QStringLiteral("Vessels"), 0.53, 0.4);
        point(QStringLiteral("Latissimus dorsi, a long label that does not fit on one line"), QStringLiteral("Muscles"),
              0.13, 0.62);
        point(QStringLiteral("Pectoralis major"), QStringLiteral("Muscles"), 0.3, 0.16);
        point(QStringLiteral("Pectoralis minor"), QStringLiteral("Muscles"), 0.7, 0.17);
        point(QStringLiteral("Scapula"), QStringLiteral("Bones"), 0.16, 0.78);
        point({}, {}, 0.86, 0.8);
        for (int i = 0; i < 12; ++i) {
            const bool right = i % 2 == 0;
            const double y = 0.25 + (i / 2) * 0.1;
            point(QStringLiteral("Rib %1 (%2)").arg(i / 2 + 3).arg(right ? QStringLiteral("R") : QStringLiteral("L")),
                  QStringLiteral("Bones"), right ? 0.09 + i * 0.004 : 0.91 - i * 0.004, y);
        }
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/veloran-preview");
    QDir().mkpath(folder);
    const auto save = [&](QWidget &widget, const QString &name) {
        const QString path = QDir(folder).filePath(name);
        widget.grab().save(path);
        std::printf("%s\n", qPrintable(path));
    };

    Atlas atlas;
    AnnotatedViewer shown(atlas.image.get(), chestScan(), {1280, 800});
    ZoomableImage &viewer = shown.viewer;
    AnnotationViewState &state = shown.state;
    ImageAnnotations &annotations = shown.annotations;
    const auto settle = [&] {
        ::settle(viewer);
        QApplication::processEvents();
    };
    settle();
    save(viewer, QStringLiteral("annotations-1x.png"));

    state.setHighlightedID(atlas.aorta);
    save(viewer, QStringLiteral("annotations-highlighted.png"));

    viewer.zoom()->zoomBy(2.25);
    viewer.zoom()->scroll({-150, -100});
    settle();
    save(viewer, QStringLiteral("annotations-zoomed.png"));
    viewer.resetZoom();

    state.setHighlightedID(atlas.heart);
    state.setDisabledGroups({QStringLiteral("Bones"), QStringLiteral("Muscles")});
    save(viewer, QStringLiteral("annotations-groups-off.png"));
    state.reset();

    viewer.resize(700, 40);
    settle();
    save(viewer, QStringLiteral("annotations-short-view.png"));
    viewer.resize(1280, 800);

    // The links panel over the screen.
    QWidget screen;
    screen.resize(900, 600);
    auto *screenLayout = new QVBoxLayout(&screen);
    screenLayout->setContentsMargins(0, 0, 0, 0);
    ZoomableImage behind;
    AnnotationLayer behindLayer(&annotations, &state);
    behind.setPicture(&shown.source);
    behind.setOverlay(&behindLayer);
    screenLayout->addWidget(&behind);
    AnnotationLinksOverlay links(&screen);
    const std::optional<AnnotationLinksContent> content = annotations.linksContent(atlas.aorta);
    links.setContent(content->title, content->links);
    screen.show();
    links.raise();
    QApplication::processEvents();
    save(screen, QStringLiteral("annotations-links.png"));

    // The drawer's page: group switches above the list.
    QWidget drawer;
    drawer.resize(320, 720);
    auto *drawerLayout = new QVBoxLayout(&drawer);
    AnnotationInspector inspector(&annotations, &state);
    AnnotationList list(&annotations, &state);
    drawerLayout->addWidget(&inspector);
    drawerLayout->addWidget(&list);
    drawerLayout->addStretch(1);
    state.setHighlightedID(atlas.aorta);
    state.setDisabledGroups({QStringLiteral("Muscles")});
    drawer.show();
    QApplication::processEvents();
    save(drawer, QStringLiteral("annotations-drawer.png"));

    // The keyboard in the list: Tab into it, then on through two rows and
    // a link button.
    drawer.activateWindow();
    QApplication::processEvents();
    list.setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 3; ++i) {
        QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
        QApplication::sendEvent(&list, &tab);
    }
    QApplication::processEvents();
    save(drawer, QStringLiteral("annotations-drawer-focus.png"));
    // Back to the first row's link button.
    for (int i = 0; i < 2; ++i) {
        QKeyEvent backtab(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
        QApplication::sendEvent(&list, &backtab);
    }
    QApplication::processEvents();
    save(drawer, QStringLiteral("annotations-drawer-focus-link.png"));
    return 0;
}
