#pragma once

#include <QSizeF>

// The committed zoom of one canvas: a factor from 1 to 8 and a pan offset in
// view points, added after scaling about the viewport's centre. Every
// operation keeps 1 ≤ scale ≤ 8, a zero offset at scale 1, and otherwise
// |offset| within panLimit(scale, viewport) on each axis for the viewport it
// was given. The viewer and the annotation editor share these rules.
//
// Non-finite input (a NaN or infinite factor, translation or magnification)
// is ignored, so one bad gesture value can never poison every later mapping.
struct ZoomPan {
    static constexpr double minimumScale = 1;
    static constexpr double maximumScale = 8;
    // One step of the zoom buttons.
    static constexpr double stepFactor = 1.5;

    double scale = minimumScale;
    QSizeF offset{0, 0};

    // The largest offset on each axis at `scale`: viewport × (scale − 1) ÷ 2.
    // Measured on the viewport, whatever the picture's aspect ratio.
    static QSizeF panLimit(double scale, const QSizeF &viewportSize);

    // scale = factor limited to 1...8, offset re-limited for the new scale.
    void setScale(double factor, const QSizeF &viewportSize);
    void zoomIn(const QSizeF &viewportSize) { setScale(scale * stepFactor, viewportSize); }
    void zoomOut(const QSizeF &viewportSize) { setScale(scale / stepFactor, viewportSize); }
    // Moves the offset by `translation` and limits it; nothing moves at scale 1.
    void pan(const QSizeF &translation, const QSizeF &viewportSize);

    // The offset to show while a drag of `translation` runs at the factor in
    // effect `shownScale` (during a pinch the limit follows the shown factor).
    QSizeF clampedOffset(const QSizeF &translation, double shownScale, const QSizeF &viewportSize) const;
    // The factor to show while a pinch of `magnification` runs: scale ×
    // magnification limited to 1...8; the committed scale when the product is
    // not a finite number.
    double shownScale(double magnification) const;

    bool isIdentity() const { return scale == minimumScale && offset.width() == 0 && offset.height() == 0; }
    bool canZoomIn() const { return scale < maximumScale; }
    bool canZoomOut() const { return scale > minimumScale; }

    friend bool operator==(const ZoomPan &a, const ZoomPan &b)
    {
        return a.scale == b.scale && a.offset.width() == b.offset.width()
            && a.offset.height() == b.offset.height();
    }
};
