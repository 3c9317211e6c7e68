#include "viewer/ImageAnnotations.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "platform/objectstore/ModelContext.h"

#include <QCoreApplication>
#include <QHash>

#include <cstring>
#include <utility>

namespace {

template<class Annotation>
QList<ModelObject *> asObjects(const QList<Annotation *> &annotations)
{
    QList<ModelObject *> objects;
    objects.reserve(annotations.size());
    for (Annotation *annotation : annotations)
        objects.append(annotation);
    return objects;
}

} // namespace

QList<AnnotationLink> annotationLinkFilter(const LinkedAnnotation &annotation)
{
    QList<AnnotationLink> usable;
    for (const AnnotationLink &link : annotation.links().value_or(QList<AnnotationLink>())) {
        if (link.url())
            usable.append(link);
    }
    return usable;
}

ImageAnnotations::ImageAnnotations(QObject *parent) : QObject(parent) {}

// Going quietly: whoever listens may be halfway through its own
// destruction (the view that owns this, say).
ImageAnnotations::~ImageAnnotations()
{
    release();
}

void ImageAnnotations::release()
{
    unwatchAnnotations();
    if (m_imageWatch.object)
        m_imageWatch.object->removeObserver(m_imageWatch.token);
    m_imageWatch = {};
    if (m_context)
        disconnect(m_context, nullptr, this, nullptr);
    m_context = nullptr;
    m_image = nullptr;
}

void ImageAnnotations::setImage(AtlasImage *image)
{
    if (image == m_image.get())
        return;
    release();

    m_image = image ? image->sharedFromThis<AtlasImage>() : nullptr;
    if (image) {
        m_imageWatch.object = m_image;
        m_imageWatch.token = image->addObserver([this](ModelObject *, const char *property) {
            if (std::strcmp(property, "points") == 0) {
                follow(asObjects(points()), m_pointWatches);
                reportAll();
            } else if (std::strcmp(property, "regions") == 0) {
                follow(asObjects(regions()), m_regionWatches);
                reportAll();
            }
        });
        // A rollback puts values back without writing them one by one.
        m_context = image->modelContext();
        if (m_context) {
            connect(m_context, &ModelContext::didRollback, this, [this] {
                watchAnnotations();
                reportAll();
            });
        }
        watchAnnotations();
    }
    reportAll();
}

QList<PointAnnotation *> ImageAnnotations::points() const
{
    return m_image ? m_image->points() : QList<PointAnnotation *>();
}

QList<RegionAnnotation *> ImageAnnotations::regions() const
{
    return m_image ? m_image->regions() : QList<RegionAnnotation *>();
}

QString shownAnnotationLabel(const QString &label)
{
    return label.isEmpty() ? QCoreApplication::translate("Annotation", "Unlabelled") : label;
}

QString showLinksButtonName(const QString &shownLabel)
{
    return QCoreApplication::translate("Annotation", "Show links for ") + shownLabel;
}

std::optional<AnnotationLinksContent> ImageAnnotations::linksContent(const QUuid &id) const
{
    const auto content = [](const auto *annotation) {
        return AnnotationLinksContent{shownAnnotationLabel(annotation->label()), annotationLinkFilter(*annotation)};
    };
    for (const PointAnnotation *point : points()) {
        if (point->id() == id)
            return content(point);
    }
    for (const RegionAnnotation *region : regions()) {
        if (region->id() == id)
            return content(region);
    }
    return std::nullopt;
}

void ImageAnnotations::watchAnnotations()
{
    follow(asObjects(points()), m_pointWatches);
    follow(asObjects(regions()), m_regionWatches);
    // After a rollback the corners are counted again.
    for (const RegionAnnotation *region : regions())
        m_corners.insert(region, region->vertices().size());
}

void ImageAnnotations::follow(const QList<ModelObject *> &listed, std::vector<Watch> &watches)
{
    // Annotations still listed keep their watch; only those that came are
    // watched anew, and those that went are let go.
    QHash<ModelObject *, size_t> watched;
    watched.reserve(qsizetype(watches.size()));
    for (size_t i = 0; i < watches.size(); ++i)
        watched.insert(watches[i].object.get(), i);
    std::vector<bool> kept(watches.size(), false);
    std::vector<Watch> following;
    following.reserve(size_t(listed.size()));
    for (ModelObject *object : listed) {
        const auto found = watched.constFind(object);
        if (found == watched.constEnd() || kept[*found]) {
            watch(object, following);
        } else {
            kept[*found] = true;
            following.push_back(std::move(watches[*found]));
        }
    }
    for (size_t i = 0; i < watches.size(); ++i) {
        if (!kept[i]) {
            watches[i].object->removeObserver(watches[i].token);
            m_corners.remove(watches[i].object.get());
        }
    }
    watches = std::move(following);
}

void ImageAnnotations::unwatchAnnotations()
{
    follow({}, m_pointWatches);
    follow({}, m_regionWatches);
}

void ImageAnnotations::watch(ModelObject *object, std::vector<Watch> &into)
{
    Watch entry;
    entry.object = object->sharedFromThis<ModelObject>();
    entry.token = object->addObserver([this](ModelObject *written, const char *property) {
        emit annotationWritten(written);
        emit changed();
        // A move changes what is drawn, not what is listed.
        bool listed = std::strcmp(property, "x") != 0 && std::strcmp(property, "y") != 0;
        if (std::strcmp(property, "vertices") == 0)
            listed = countCorners(written);
        if (listed)
            emit listingChanged();
    });
    countCorners(object);
    into.push_back(std::move(entry));
}

bool ImageAnnotations::countCorners(const ModelObject *object)
{
    const auto *region = dynamic_cast<const RegionAnnotation *>(object);
    if (!region)
        return false;
    const qsizetype now = region->vertices().size();
    const auto counted = m_corners.find(object);
    if (counted == m_corners.end()) {
        m_corners.insert(object, now);
        return true;
    }
    return std::exchange(*counted, now) != now;
}

void ImageAnnotations::reportAll()
{
    emit changed();
    emit listingChanged();
}
