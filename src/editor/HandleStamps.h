#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

#include <map>

class QPainter;

// The handles of the editing canvas, each drawn once per screen density
// into a small image and then stamped where it goes, so that thousands of
// point markers cost no more than copying their pixels. Sizes are view
// points and stay the same at every zoom.
class HandleStamps {
public:
    enum class Kind {
        point,            // orange dot of 10 with an orange ring
        vertex,           // black 60 % dot of 10 with an orange ring
        emphasised,       // a selected point or corner: orange dot of 13 with a white ring
        draft,            // yellow dot of 10 with a yellow ring
        midpoint,         // a white plus on a green disc of 16, inserting a corner
    };

    static QColor yellow();
    static QColor green();

    // Stamps the handle centred on `centre` (view coordinates).
    void stamp(QPainter &painter, Kind kind, const QPointF &centre);

private:
    const QImage &image(Kind kind, qreal ratio);

    qreal m_ratio = 0;
    std::map<Kind, QImage> m_images;
};
