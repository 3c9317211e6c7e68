#pragma once

#include <QImage>
#include <QList>
#include <QObject>

#include <atomic>
#include <memory>

class QPainter;
template <typename T> class QFutureWatcher;

// The picture of a canvas, ready to be painted at any zoom: the full-size
// image and a pyramid of smaller levels, each half the size of the one
// before, built on a worker thread. A paint uses the level nearest the
// scale it is shown at (never coarser than the screen) and only the part in
// view, so a very large scan pans and zooms as smoothly as a small one.
// Canvases that show the same picture (viewer and editor) share one source.
// GUI thread, except the level building it starts.
class PictureSource : public QObject {
    Q_OBJECT
public:
    explicit PictureSource(QObject *parent = nullptr);
    // Stops a level build in progress without waiting for it.
    ~PictureSource() override;

    // Shows `image` at once (painted from its full size until the smaller
    // levels are ready). A null image clears the source.
    void setImage(const QImage &image);
    // Shows a picture whose levels are all built already (full size first,
    // as buildLevels() makes them), at once. None clears the source.
    void setLevels(QList<QImage> levels);
    void clear() { setImage(QImage()); }

    bool isNull() const { return m_levels.isEmpty(); }
    // The full size in pixels; empty when there is no picture.
    QSize size() const;
    // The size of the picture on its way, known from its header before it
    // is decoded: until then a canvas fits the thumbnail standing in (or
    // nothing) to the place the picture will take. setImage() forgets it;
    // levels standing in (setLevels()) keep it.
    void setPixelSize(const QSize &size);
    // What a canvas fits to its view: the size announced while the picture
    // is on its way, else the full size.
    QSize pixelSize() const { return m_pixelSize.isEmpty() ? size() : m_pixelSize; }
    // Whether the picture covers what lies under it (it has no alpha).
    bool isOpaque() const { return !isNull() && !m_levels.first().hasAlphaChannel(); }
    // Whether every level is built.
    bool isComplete() const { return !isNull() && !m_build; }
    // The levels, full size first.
    const QList<QImage> &levels() const { return m_levels; }
    // The index of the level to paint from when one full-size pixel covers
    // `scale` device pixels: the smallest level that still has at least as
    // many pixels as the screen shows.
    qsizetype levelIndex(double scale) const;

    // Paints the picture filling `target` (view coordinates; the painter's
    // device pixel ratio is taken into account), only where it meets
    // `visible`. Smooth filtering is slower; a canvas uses it once a
    // gesture rests.
    void paint(QPainter &painter, const QRectF &target, const QRectF &visible, bool smooth) const;

    // The next level: half the size (rounded up), each pixel the mean of the
    // up to 2 × 2 pixels it covers. For the formats levels are kept in (see
    // paintable()). Null when `cancelled` is set while it runs.
    static QImage halved(const QImage &image, const std::atomic_bool *cancelled = nullptr);
    // The image in a format that paints fast and halves exactly: 32-bit RGB,
    // premultiplied ARGB when it has alpha, or 8-bit grey for grey images.
    // A picture given up by its caller is converted in place where the
    // format allows.
    static QImage paintable(QImage image);
    // All levels of `image`, full size (made paintable) first, down to one
    // whose longer side is at most smallestSide; stops early (returning what
    // it has) once `cancelled` is set. Any thread.
    static QList<QImage> buildLevels(QImage image, const std::atomic_bool &cancelled);
    static constexpr int smallestSide = 64;

signals:
    // A new picture, or new levels of it.
    void changed();

private:
    // Drops the levels shown so far: a large picture is freed on a worker
    // thread, as returning a gigabyte to the system takes a while.
    void releaseLevels();

    QList<QImage> m_levels;
    QSize m_pixelSize;
    std::shared_ptr<std::atomic_bool> m_cancelBuild;
    QFutureWatcher<QList<QImage>> *m_build = nullptr; // the level build in progress
};
