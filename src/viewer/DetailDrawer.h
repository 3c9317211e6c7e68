#pragma once

#include "viewer/ImageMetadata.h"

#include <QWidget>

class QScrollArea;
class QStackedWidget;
class QVBoxLayout;

// The information area of the screen's compact layout: two pages, shown one
// at a time and turned with the two page dots at its foot. Page 0 holds the
// annotations (the group inspector over the annotation list, scrolling);
// page 1 the image's metadata as rows. The page shown is the screen's: a
// dot asks for its page through pageRequested(), and the screen answers
// with setPage().
class DetailDrawer : public QWidget {
    Q_OBJECT
public:
    enum Page { annotationsPage = 0, metadataPage = 1 };
    static constexpr int drawerExtent = 280; // its width beside the picture, its largest height below it

    explicit DetailDrawer(QWidget *parent = nullptr);

    void setPage(int page);
    int page() const;

    void setEntries(const QList<MetadataEntry> &entries);
    const QList<MetadataEntry> &entries() const { return m_entries; }

    // Where the group inspector and the annotation list go, one above the
    // other, inside the annotations page's scroll area.
    QWidget *annotationsSlot() const { return m_annotationsSlot; }
    // Scrolls the annotations page so that `area` of `descendant` (a row of
    // the list; all of it when `area` is empty) is centred in it.
    void centreInAnnotations(QWidget *descendant, const QRect &area = QRect());
    // The page dots, in page order.
    QList<QWidget *> pageDots() const;

signals:
    // The user turned to `page`.
    void pageRequested(int page);

private:
    QList<MetadataEntry> m_entries;
    QStackedWidget *m_pages = nullptr;
    QScrollArea *m_annotationsScroll = nullptr;
    QWidget *m_annotationsSlot = nullptr;
    QVBoxLayout *m_metadataRows = nullptr;
    QWidget *m_dots = nullptr;
};
