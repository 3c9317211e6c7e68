#pragma once

// A library with one image for the editor's tests, in memory or in a
// temporary folder on disk (which can be closed and opened again, as after
// a restart).

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/StoreTestSupport.h"

#include <QTemporaryDir>

#include <memory>

struct EditorLibrary {
    QTemporaryDir folder;
    QString path;
    std::unique_ptr<ModelContainer> container;
    AtlasImage *image = nullptr;

    explicit EditorLibrary(bool onDisk = false)
        : path(onDisk ? folder.path() : QString())
    {
        container = makeTestContainer(path);
        image = context().insert(AtlasImage::make(QStringLiteral("Chest")));
        context().save();
    }

    ModelContext &context() const { return container->mainContext(); }

    PointAnnotation *point(const QString &label, double x, double y, const QString &group = {})
    {
        auto made = PointAnnotation::make(label, group, QList<AnnotationLink>(), x, y);
        context().insert(made)->setImage(image);
        context().save();
        return made.get();
    }

    RegionAnnotation *region(const QString &label, const QList<Vertex> &vertices, const QString &group = {})
    {
        auto made = RegionAnnotation::make(label, group, QList<AnnotationLink>(), vertices);
        context().insert(made)->setImage(image);
        context().save();
        return made.get();
    }

    // As after a restart: the library read again from its folder.
    void reopen()
    {
        image = nullptr;
        container.reset();
        container = makeTestContainer(path);
        image = context().fetch<AtlasImage>().value(0);
    }

    static QList<Vertex> square(double x, double y, double side)
    {
        const double h = side / 2;
        return {{x - h, y - h}, {x + h, y - h}, {x + h, y + h}, {x - h, y + h}};
    }
};
