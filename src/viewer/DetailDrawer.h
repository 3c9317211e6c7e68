#pragma once

#include "viewer/ImageMetadata.h"
#include "viewer/ScreenSpring.h"
#include "ui/Spring.h"

#include <QPointer>
#include <QRect>
#include <QWidget>

class FrameClock;
class QScrollArea;
class QVBoxLayout;

// The information area of the screen's compact layout: two pages side by
// side, shown one at a time and turned with the two page dots at its foot.
// Page 0 holds the annotations (the group inspector over the annotation
// list, scrolling); page 1 the image's metadata as rows. The page shown is
// the screen's: a dot asks for its page through pageRequested(), and the
// screen answers with setPage(). A page turned with the spring slides into
// view; the annotations page scrolls to a row with the same spring
// (response 0.2 s, damping fraction 0.85), and a scroll of the user's own
// on the way stops it.
class DetailDrawer : public QWidget {
    Q_OBJECT
public:
    enum Page { annotationsPage = 0, metadataPage = 1 };
    static constexpr int drawerExtent = 280; // its width beside the picture, its largest height below it
    // The spring that turns the pages and scrolls the annotations.
    static constexpr double springResponse = ScreenSpring::response;
    static constexpr double springDampingFraction = ScreenSpring::dampingFraction;

    explicit DetailDrawer(QWidget *parent = nullptr);

    // Turns to `page`, at once or sliding on the spring.
    void setPage(int page, bool animated = false);
    int page() const { return m_page; }
    // Where the pages are on their way: 0 shows page 0 whole, 1 page 1,
    // and a fraction a part of each.
    double pagePosition() const { return m_pageSpring.value(); }

    void setEntries(const QList<MetadataEntry> &entries);
    const QList<MetadataEntry> &entries() const { return m_entries; }

    // Where the group inspector and the annotation list go, one above the
    // other, inside the annotations page's scroll area.
    QWidget *annotationsSlot() const { return m_annotationsSlot; }
    // Scrolls the annotations page on the spring so that `area` of
    // `descendant` (a row of the list; all of it when `area` is empty) is
    // centred in it, as far as its content reaches.
    void centreInAnnotations(QWidget *descendant, const QRect &area = QRect());
    QScrollArea *annotationsScrollArea() const { return m_annotationsScroll; }
    // The page dots, in page order.
    QList<QWidget *> pageDots() const;
    // What moves the pages and the scroll; it runs while they move.
    FrameClock *frameClock() const { return m_frames; }

signals:
    // The user turned to `page`.
    void pageRequested(int page);

private:
    void placePages();
    void startScrolling();
    void aimScroll();
    void advance(double seconds);

    QList<MetadataEntry> m_entries;
    int m_page = annotationsPage;
    Spring m_pageSpring{springResponse, springDampingFraction, annotationsPage};
    Spring m_scrollSpring{springResponse, springDampingFraction};
    bool m_scrolling = false;
    int m_scrollShown = 0; // the scroll bar's value as the spring last set it
    // The row to centre, while the scroll heads for it.
    QPointer<QWidget> m_centred;
    QRect m_centredArea;
    FrameClock *m_frames = nullptr;
    QWidget *m_pageRow = nullptr;
    QList<QWidget *> m_pages;
    QScrollArea *m_annotationsScroll = nullptr;
    QWidget *m_annotationsSlot = nullptr;
    QVBoxLayout *m_metadataRows = nullptr;
    QWidget *m_dots = nullptr;
};
