#pragma once

#include "model/AnnotationLink.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <vector>

class AtlasImage;
class LinkedAnnotation;
class ModelContext;
class ModelObject;
class PointAnnotation;
class RegionAnnotation;

// The links of an annotation that open something (AnnotationLink::url),
// in stored order: what the overlay, the drawer and the links panel offer.
QList<AnnotationLink> annotationLinkFilter(const LinkedAnnotation &annotation);

// An annotation's label as shown: "Unlabelled" for an empty one (a label of
// blanks is shown as it is).
QString shownAnnotationLabel(const QString &label);

// The accessible name of the button that opens the links of the annotation
// shown as `shownLabel`: "Show links for " and that label.
QString showLinksButtonName(const QString &shownLabel);

// What the links panel shows for one annotation: its label (or
// "Unlabelled") and its usable links.
struct AnnotationLinksContent {
    QString title;
    QList<AnnotationLink> links;
};

// The points and regions of one image, read from the image's own
// relationships and watched: any write to the image's lists or to one of
// its annotations (label, group, links, position, vertices), and a rollback
// of its context, is reported once through changed(); all but a move (of a
// point, or of a region's corners without changing their number) also
// through listingChanged(), for views that list the annotations and need no
// work while a drag moves one. The lists are read
// live from the image, so views that read them after changed() see the
// store as it is. Holds the image and its annotations alive while it shows
// them. GUI thread.
class ImageAnnotations : public QObject {
    Q_OBJECT
public:
    explicit ImageAnnotations(QObject *parent = nullptr);
    ~ImageAnnotations() override;

    // The image whose annotations are shown; none shows none.
    void setImage(AtlasImage *image);
    AtlasImage *image() const { return m_image.get(); }

    QList<PointAnnotation *> points() const;
    QList<RegionAnnotation *> regions() const;

    // The links panel's content for the point or region with that id (the
    // first point, else the first region); none when the image holds no
    // such annotation.
    std::optional<AnnotationLinksContent> linksContent(const QUuid &id) const;

signals:
    // One of the annotations was written (any property); changed() follows.
    void annotationWritten(ModelObject *annotation);
    void changed();
    // Labels, groups, links, the lists or the number of a region's corners
    // may have changed; follows changed().
    void listingChanged();

private:
    struct Watch {
        std::shared_ptr<ModelObject> object;
        int token = 0;
    };

    // Stops watching and lets the image go, without a report.
    void release();
    void watchAnnotations();
    void unwatchAnnotations();
    // Watches what `listed` holds, from `watches` where it can.
    void follow(const QList<ModelObject *> &listed, std::vector<Watch> &watches);
    void watch(ModelObject *object, std::vector<Watch> &into);
    // Counts the corners of a region; answers whether their number
    // changed since it was last counted.
    bool countCorners(const ModelObject *object);
    void reportAll();

    std::shared_ptr<AtlasImage> m_image;
    Watch m_imageWatch;
    std::vector<Watch> m_pointWatches;
    std::vector<Watch> m_regionWatches;
    QPointer<ModelContext> m_context;
    QHash<const ModelObject *, qsizetype> m_corners; // of the regions watched
};
