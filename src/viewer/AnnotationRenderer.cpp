#include "viewer/AnnotationRenderer.h"

#include "viewer/ImageStamp.h"
#include "viewer/PictureSource.h"

#include "platform/WorkerPools.h"
#include "ui/AppStyle.h"
#include "ui/SystemSymbol.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRunnable>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <memory>

namespace {

// Bytes of small images kept for reuse beside the labels' texts.
constexpr int imageCacheBytes = 8 * 1024 * 1024;

// Region shapes are kept drawn this far (view points) around the view, so
// that a pan finds the strips coming into view drawn already.
constexpr double regionMargin = 128;
// The leader lines a thread draws in a frame that pans over the kept
// picture, and the bands of such a frame.
constexpr int linesPerThread = 1000;
constexpr int panBands = 12;

// Corners of an outline closer than this (device pixels) to the corner
// drawn before are left out of the frame: the outline moves less than its
// own width, and tiny shapes are drawn from a few segments.
constexpr double outlineStep = 0.75;

QColor withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(colour.alphaF() * opacity));
    return colour;
}

// The outline of a marker or its ring: butt caps, miter joins.
QPen markerPen(const QColor &colour, double width)
{
    QPen pen(colour, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(10);
    return pen;
}

QImage blankImage(const QSizeF &size, qreal ratio)
{
    QImage image(std::max(1, int(std::ceil(size.width() * ratio))), std::max(1, int(std::ceil(size.height() * ratio))),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    image.setDevicePixelRatio(ratio);
    return image;
}

// An image made at `ratio` is stamped pixel for pixel.
QImage asStamp(QImage image)
{
    image.setDevicePixelRatio(1);
    return image;
}

QPoint devicePoint(const QPointF &point, qreal ratio)
{
    return {qRound(point.x() * ratio), qRound(point.y() * ratio)};
}

// The mapping of unit image coordinates to device pixels for a geometry.
QTransform unitToDevice(const CanvasGeometry &geometry, qreal ratio)
{
    const QRectF &rect = geometry.fitted.rect;
    const ZoomPanTransform &zoom = geometry.transform;
    const QPointF origin = zoom.map(rect.topLeft());
    return QTransform(rect.width() * zoom.scale * ratio, 0, 0, rect.height() * zoom.scale * ratio,
                      origin.x() * ratio, origin.y() * ratio);
}

// Appends the polygon in device pixels to `into`, without corners that add
// nothing at this size; answers how many it appended. The transform only
// scales and moves.
qsizetype mapOutline(const QPolygonF &polygon, const QTransform &transform, std::vector<QPointF> &into)
{
    const size_t first = into.size();
    for (const QPointF &corner : polygon) {
        const QPointF mapped(transform.m11() * corner.x() + transform.dx(),
                             transform.m22() * corner.y() + transform.dy());
        if (into.size() == first || (mapped - into.back()).manhattanLength() >= outlineStep)
            into.push_back(mapped);
    }
    return qsizetype(into.size() - first);
}

struct RegionJob {
    QRectF bounds;      // device pixels, with the outline
    qsizetype first;    // its outline's corners among the outlines (−1 until mapped)
    qsizetype count;
    bool highlighted;
};

// `value` modulo `count`, from 0 to count − 1.
int wrapped(int value, int count)
{
    const int rest = value % count;
    return rest < 0 ? rest + count : rest;
}

struct LeaderLine {
    std::array<QPointF, 3> points; // device pixels: anchor, elbow, label edge
    double top, bottom;
    double left, right; // what it may cover, a pixel to spare
    ShapeRaster::Leader leader;
};

// Columns of device pixels, from `first` to before `end`.
struct Columns {
    int first, end;
};

// An image laid over the frame, whose pixels are kept by the renderer or
// by the frame's drawing while it is drawn: premultiplied ARGB32, or the
// alphas of a white one.
struct Stamp {
    Stamp(const QImage &image, QPoint position)
        : bits(image.constBits())
        , bytesPerLine(image.bytesPerLine())
        , size(image.size())
        , position(position)
        , bottom(position.y() + size.height())
        , white(image.format() == QImage::Format_Alpha8)
    {
    }
    const uchar *bits;
    qsizetype bytesPerLine;
    QSize size;
    QPoint position; // device pixels
    int bottom;
    bool white;
    // The pixel most of it holds, when it has one to speak of (0 else).
    quint32 common = 0;
    // A label's place in the drawing order: its callout's, after the
    // callout's leader line; the highlighted label's after every callout.
    int order = 0;
};

// The stamp `s` laid over `band`: it shows `size` pixels from row `top`
// on, its rows `stride` pixels apart.
void stamp(quint32 *band, qsizetype stride, QSize size, const Stamp &s, int top)
{
    if (s.white)
        stampWhite(band, stride, size, s.position - QPoint(0, top), s.bits, s.bytesPerLine, s.size);
    else if (s.common)
        stampImage(band, stride, size, s.position - QPoint(0, top), reinterpret_cast<const quint32 *>(s.bits),
                   s.bytesPerLine / 4, s.size, s.common);
    else
        stampImage(band, stride, size, s.position - QPoint(0, top), reinterpret_cast<const quint32 *>(s.bits),
                   s.bytesPerLine / 4, s.size);
}

// Runs work(0) ... work(count − 1) on as many painters as are free from
// the start (at most `threads` − 1 of them), and on the thread that calls
// finish() from then on; finish() returns when all have run. Helpers still
// waiting for a worker then are withdrawn, so a busy pool never holds a
// frame up. The items from `firstCount` on start once all those before
// them have run.
class ParallelWork {
public:
    ParallelWork(int count, int firstCount, int threads, std::function<void(int)> work)
        : m_count(count)
        , m_firstCount(firstCount)
        , m_work(std::move(work))
    {
        // One fewer than the threads: the finishing thread joins in.
        const int helperCount = std::clamp(std::min(threads, m_pool->maxThreadCount()) - 1, 0, count - 1);
        for (int i = 0; i < helperCount; ++i) {
            m_helpers.emplace_back(QRunnable::create([this] {
                take();
                m_finished.release();
            }));
            m_helpers.back()->setAutoDelete(false);
            m_pool->start(m_helpers.back().get());
        }
    }
    ParallelWork(const ParallelWork &) = delete;
    ParallelWork &operator=(const ParallelWork &) = delete;
    ~ParallelWork() { finish(); }

    void finish()
    {
        if (m_done)
            return;
        take();
        int started = 0;
        for (const std::unique_ptr<QRunnable> &helper : m_helpers)
            started += m_pool->tryTake(helper.get()) ? 0 : 1;
        m_finished.acquire(started);
        m_done = true;
    }

private:
    void take()
    {
        for (int item = m_next++; item < m_count; item = m_next++) {
            // Items are taken in order: those of the first part that have
            // not run yet are running on other threads.
            if (item >= m_firstCount) {
                for (int done = m_firstDone.load(); done < m_firstCount; done = m_firstDone.load())
                    m_firstDone.wait(done);
            }
            m_work(item);
            if (item < m_firstCount && m_firstDone.fetch_add(1) + 1 == m_firstCount)
                m_firstDone.notify_all();
        }
    }

    QThreadPool *const m_pool = &WorkerPools::computing();
    const int m_count;
    const int m_firstCount;
    const std::function<void(int)> m_work;
    std::atomic<int> m_next{0};
    std::atomic<int> m_firstDone{0};
    QSemaphore m_finished;
    std::vector<std::unique_ptr<QRunnable>> m_helpers;
    bool m_done = false;
};

// Scratch pixels of the thread that draws: at least `count`.
quint32 *scratchPixels(size_t count)
{
    thread_local std::vector<quint32> pixels;
    if (pixels.size() < count)
        pixels.resize(count);
    return pixels.data();
}

// Rows above and below a band's leader lines that a line along the rows
// may write into, and that are thrown away.
constexpr int throughSlack = 4;

// What the leader lines of a band let show through, kept by the thread
// that draws it: the same values each band, so that they stay close at
// hand.
class LineThrough {
public:
    // For a band of `rows` rows of `width`, all 65535 (everything), as
    // each band leaves them once it has laid its lines, with throughSlack
    // rows before and after that the lines may write into.
    quint16 *band(int width, int rows)
    {
        const size_t count = size_t(width) * size_t(rows + 2 * throughSlack);
        if (width != m_width) {
            m_values.assign(std::max(count, m_values.size()), 65535);
            m_width = width;
            m_dirty = {};
        } else if (m_values.size() < count) {
            m_values.resize(count, 65535);
        }
        quint16 *const first = m_values.data() + qsizetype(throughSlack) * width;
        // (What lines wrote past a shorter band, among these rows, set
        // back; what they write before the first row is never read.)
        if (m_dirty.end > m_dirty.first && rows > m_dirty.first) {
            std::fill(first + qsizetype(m_dirty.first) * width, first + qsizetype(m_dirty.end) * width,
                      quint16(65535));
            m_dirty = {};
        }
        m_rows = rows;
        return first;
    }
    // Lines were drawn into the band last asked for.
    void drawn()
    {
        m_dirty = m_dirty.end > m_dirty.first
            ? Rows{std::min(m_dirty.first, m_rows), std::max(m_dirty.end, m_rows + throughSlack)}
            : Rows{m_rows, m_rows + throughSlack};
    }

private:
    std::vector<quint16> m_values;
    int m_width = 0;
    int m_rows = 0;
    // The rows past the bands drawn that the lines may have written into.
    struct Rows {
        int first = 0, end = 0;
    } m_dirty;
};

thread_local LineThrough lineThrough;

// The level's pixel under each of `count` places from `first` on, along
// one axis where the level's `size` pixels span `scale` places from
// `origin`, into `indexes`; answers the range of those that fall on it
// (the others lie on the backdrop). Each place takes the pixel under its
// centre, and the one before where the centre lies on the edge between
// two, as a canvas's painter does.
std::pair<int, int> levelIndexes(int first, int count, double origin, double scale, int size, int *indexes)
{
    int from = count, to = 0;
    const double perPlace = size / scale;
    for (int i = 0; i < count; ++i) {
        const double at = (first + i + 0.5 - origin) * perPlace;
        const double index = std::ceil(at) - 1;
        if (index >= 0 && index < size) {
            indexes[i] = int(index);
            from = std::min(from, i);
            to = i + 1;
        }
    }
    return {from, std::max(from, to)};
}

} // namespace

bool AnnotationRenderer::canDrawUnder(const PictureSource *source)
{
    if (!source || source->isNull())
        return false;
    for (const QImage &level : source->levels()) {
        const QImage::Format format = level.format();
        if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied
            && format != QImage::Format_Grayscale8)
            return false;
    }
    return true;
}

// The region shapes drawn at one scale, kept while the view pans. They are
// drawn on "places": the device pixels of the view they were first drawn
// for, reaching on past it without end. The image holds a window of places
// around the view, wrapping round at its edges so that a pan moves no
// pixels: place (x, y) is kept at (x mod width, y mod height).
struct AnnotationRenderer::RegionCache {
    // What they were drawn for.
    quint64 scene = 0;
    std::optional<QUuid> highlighted;
    // The picture level under them (its cache key) and the backdrop; none
    // when they are drawn alone.
    qint64 picture = 0;
    QRgb backdrop = 0;
    double scaleX = 0, scaleY = 0;
    qreal ratio = 0;
    QSize deviceSize;
    // Unit image coordinates to places: the view's translation less its
    // whole device pixels.
    QTransform toPlaces;
    // Every region of the scene, in its order: bounds in places, and the
    // corners (in `outlines`) of those that came within reach.
    std::vector<RegionJob> regions;
    std::vector<QPointF> outlines;
    QImage image;
    QRect window; // the places the image holds
    QRect drawn;  // those of them drawn
};

// A frame being drawn: what its bands draw, gathered on the GUI thread, and
// the bands under way.
struct AnnotationRenderer::Drawing {
    QSize deviceSize;
    qreal ratio = 1;
    // The layer's pixels, no longer shared with an image handed out.
    uchar *bits = nullptr;
    qsizetype bytesPerLine = 0;
    // The place of the view's top-left pixel; whether the shapes are drawn
    // straight into the bands rather than kept; the kept shapes' pixels and
    // the parts of them to draw first (places, each within one wrap of the
    // image).
    QPoint viewAt;
    bool direct = false;
    uchar *regionBits = nullptr;
    qsizetype regionBytesPerLine = 0;
    QSize regionSize;
    std::vector<QRect> regionParts;
    // With the picture under the shapes: the level drawn, the backdrop
    // (premultiplied) and unit image coordinates to places.
    bool underlay = false;
    QImage level;
    quint32 backdrop = 0;
    QTransform toPlaces;
    std::vector<LeaderLine> lines;
    std::vector<Stamp> markers;
    std::vector<Stamp> labels;
    // The columns the labels reach, where the leader lines are drawn one
    // by one in turn with them; and the others, where no label lies and
    // the lines are gathered and laid at once.
    std::vector<Columns> labelColumns, openColumns;
    // The images stamped that nothing else keeps.
    std::deque<QImage> held;
    std::vector<int> bandTops;
    int bandHeight = 0;
    // By band: the lines, markers and labels that reach its rows, each in
    // its order.
    std::vector<std::vector<int>> bandLines, bandMarkers, bandLabels;
    std::unique_ptr<ParallelWork> work;

    // Made ready for another frame, its lists keeping the room they took
    // (thousands of lines and labels a frame, that would otherwise be
    // asked for anew).
    void reset()
    {
        const auto emptied = [](auto &list) {
            auto kept = std::move(list);
            kept.clear();
            return kept;
        };
        const auto emptiedBands = [](std::vector<std::vector<int>> &bands) {
            auto kept = std::move(bands);
            for (std::vector<int> &band : kept)
                band.clear();
            return kept;
        };
        std::vector<LeaderLine> keptLines = emptied(lines);
        std::vector<Stamp> keptMarkers = emptied(markers), keptLabels = emptied(labels);
        std::vector<std::vector<int>> keptBandLines = emptiedBands(bandLines),
                                      keptBandMarkers = emptiedBands(bandMarkers),
                                      keptBandLabels = emptiedBands(bandLabels);
        *this = Drawing();
        lines = std::move(keptLines);
        markers = std::move(keptMarkers);
        labels = std::move(keptLabels);
        bandLines = std::move(keptBandLines);
        bandMarkers = std::move(keptBandMarkers);
        bandLabels = std::move(keptBandLabels);
    }
};

AnnotationRenderer::ShapeStyle AnnotationRenderer::overlayShapes()
{
    return {fillOpacity, highlightedFillOpacity, 1, strokeWidth, highlightedStrokeWidth};
}

AnnotationRenderer::AnnotationRenderer(const ShapeStyle &shapes)
    : m_shapes(shapes)
    , m_fill(AppStyle::orange(), shapes.fillOpacity)
    , m_highlightedFill(AppStyle::orange(), shapes.highlightedFillOpacity)
    , m_outline(AppStyle::orange(), shapes.strokeOpacity)
    , m_leader(AppStyle::orange(), leaderOpacity)
    , m_images(imageCacheBytes)
{
}

AnnotationRenderer::~AnnotationRenderer()
{
    finish();
}

const QImage &AnnotationRenderer::render(const AnnotationFrame &frame, const AnnotationScene &scene,
                                         const QSize &viewSize, qreal ratio, const CalloutLabelText &text,
                                         const Underlay &under)
{
    start(frame, scene, viewSize, ratio, text, under);
    return finish();
}

const QImage &AnnotationRenderer::finish()
{
    if (m_drawing) {
        m_drawing->work->finish();
        m_drawing->work.reset();
        m_spareDrawing = std::move(m_drawing);
    }
    return m_layer;
}

void AnnotationRenderer::start(const AnnotationFrame &frame, const AnnotationScene &scene, const QSize &viewSize,
                               qreal ratio, const CalloutLabelText &text, const Underlay &under)
{
    finish();
    const QSize deviceSize(int(std::ceil(viewSize.width() * ratio)), int(std::ceil(viewSize.height() * ratio)));
    if (m_layer.size() != deviceSize)
        m_layer = QImage(deviceSize, QImage::Format_ARGB32_Premultiplied);
    m_layer.setDevicePixelRatio(ratio);
    if (deviceSize.isEmpty())
        return;
    const std::optional<QUuid> &highlighted = frame.highlightedID;

    // Everything the bands draw is gathered here, once.
    std::unique_ptr<Drawing> drawing = m_spareDrawing ? std::move(m_spareDrawing) : std::make_unique<Drawing>();
    drawing->reset();
    drawing->deviceSize = deviceSize;
    drawing->ratio = ratio;
    drawing->bits = m_layer.bits();
    drawing->bytesPerLine = m_layer.bytesPerLine();
    const QTransform toDevice = unitToDevice(frame.geometry, ratio);
    if (canDrawUnder(under.source)) {
        if (under.into) {
            drawing->bits = under.into;
            drawing->bytesPerLine = under.bytesPerLine;
        }
        // The level a canvas paints the picture from at this scale.
        const PictureSource &source = *under.source;
        drawing->underlay = true;
        drawing->level = source.levels()[source.levelIndex(toDevice.m11() / source.size().width())];
        drawing->backdrop = qPremultiply(under.backdrop.rgb() | 0xff000000);
    }
    placeRegions(frame, scene, deviceSize, ratio, *drawing);

    std::vector<LeaderLine> &lines = drawing->lines;
    lines.reserve(size_t(frame.callouts.size()));
    for (const AnnotationCallout &callout : frame.callouts) {
        LeaderLine line{{callout.anchor * ratio, callout.elbow * ratio, callout.labelEdge * ratio}, 0, 0, 0, 0, {}};
        line.top = std::min({line.points[0].y(), line.points[1].y(), line.points[2].y()}) - ratio;
        line.bottom = std::max({line.points[0].y(), line.points[1].y(), line.points[2].y()}) + ratio;
        line.left = std::min({line.points[0].x(), line.points[1].x(), line.points[2].x()}) - ratio - 1;
        line.right = std::max({line.points[0].x(), line.points[1].x(), line.points[2].x()}) + ratio + 1;
        lines.push_back(line);
    }

    std::vector<Stamp> &markers = drawing->markers;
    markers.reserve(size_t(scene.points().size()));
    const QImage &marker = drawing->held.emplace_back(markerImage(false, ratio));
    const QImage &highlightedMarker = drawing->held.emplace_back(markerImage(true, ratio));
    // (Each marker a copy of one of two stamps, moved.)
    const Stamp plain(marker, QPoint()), strong(highlightedMarker, QPoint());
    const QRect frameRect(QPoint(0, 0), deviceSize);
    for (const AnnotationMark &mark : scene.points()) {
        const Stamp &shown = highlighted && mark.id == *highlighted ? strong : plain;
        const QPointF centre = toDevice.map(mark.anchor);
        const QPoint position(qRound(centre.x() - shown.size.width() / 2.0),
                              qRound(centre.y() - shown.size.height() / 2.0));
        if (QRect(position, shown.size).intersects(frameRect)) {
            Stamp &placed = markers.emplace_back(shown);
            placed.position = position;
            placed.bottom = position.y() + shown.size.height();
        }
    }

    if (scene.generation() != m_labelScene || ratio != m_labelRatio || text.font() != m_labelFont) {
        m_labelTexts.assign(size_t(scene.points().size() + scene.regions().size()), QImage());
        m_labelScene = scene.generation();
        m_labelRatio = ratio;
        m_labelFont = text.font();
    }
    // Labels in the order of the callouts, each over the leader lines
    // before it and under those after it; the highlighted one on top of
    // all.
    std::vector<Stamp> &labels = drawing->labels;
    std::vector<Stamp> topLabel;
    labels.reserve(size_t(frame.callouts.size()) * 2);
    QSizeF capsule;
    const QImage *capsuleStamp = nullptr;
    // (A capsule is one colour but round its ends.)
    quint32 capsuleColour = 0;
    for (qsizetype i = 0; i < frame.callouts.size(); ++i) {
        const AnnotationCallout &callout = frame.callouts[i];
        const CalloutLabelBox &box = frame.labels[i];
        std::vector<Stamp> &into = box.highlighted ? topLabel : labels;
        const size_t firstStamp = into.size();
        if (callout.kind == AnnotationKind::point) {
            if (capsule != box.capsule.size()) {
                capsule = box.capsule.size();
                capsuleStamp = &drawing->held.emplace_back(capsuleImage(capsule, ratio));
                capsuleColour = reinterpret_cast<const quint32 *>(
                    capsuleStamp->constScanLine(capsuleStamp->height() / 2))[capsuleStamp->width() / 2];
            }
            into.emplace_back(*capsuleStamp, devicePoint(box.capsule.topLeft(), ratio)).common = capsuleColour;
        }
        const QImage &words = labelText(callout, box, text, ratio, drawing->held);
        QPoint position = devicePoint(box.text.topLeft(), ratio);
        // One line is as wide as its text, and lies toward the image.
        if (!box.highlighted && callout.side == AnnotationSide::left)
            position.setX(qRound(box.text.right() * ratio) - words.width());
        into.emplace_back(words, position + words.offset());
        if (box.linkButton)
            into.emplace_back(drawing->held.emplace_back(linkButtonImage(box.linkButton->width(), ratio)),
                              devicePoint(box.linkButton->topLeft(), ratio));
        for (size_t k = firstStamp; k < into.size(); ++k)
            into[k].order = box.highlighted ? std::numeric_limits<int>::max() : int(i);
    }
    labels.insert(labels.end(), topLabel.begin(), topLabel.end());
    // The columns the labels reach, and the others.
    // (The labels of a side reach much the same columns: each joins the
    // few gathered so far that it meets, and those are put in order.)
    std::vector<Columns> reached;
    for (const Stamp &label : labels) {
        const int first = std::max(0, label.position.x());
        const int end = std::min(deviceSize.width(), label.position.x() + label.size.width());
        if (first >= end)
            continue;
        const auto meets = std::find_if(reached.begin(), reached.end(),
                                        [&](const Columns &c) { return c.first <= end && first <= c.end; });
        if (meets == reached.end())
            reached.push_back({first, end});
        else
            *meets = {std::min(meets->first, first), std::max(meets->end, end)};
    }
    std::sort(reached.begin(), reached.end(), [](const Columns &a, const Columns &b) { return a.first < b.first; });
    std::vector<Columns> &labelColumns = drawing->labelColumns;
    for (const Columns &columns : reached) {
        if (!labelColumns.empty() && columns.first <= labelColumns.back().end)
            labelColumns.back().end = std::max(labelColumns.back().end, columns.end);
        else
            labelColumns.push_back(columns);
    }
    int open = 0;
    for (const Columns &columns : labelColumns) {
        if (open < columns.first)
            drawing->openColumns.push_back({open, columns.first});
        open = columns.end;
    }
    if (open < deviceSize.width())
        drawing->openColumns.push_back({open, deviceSize.width()});

    // A frame that pans over the kept picture and shapes costs a few
    // milliseconds, most of it the leader lines and labels: sharing it out
    // costs more processor time than it saves (each thread runs slower
    // beside the others), so it is drawn on one thread, and one more for
    // each further thousand leader lines. Such a frame is drawn in a dozen
    // bands, each a few hundred kilobytes close at hand; other frames in
    // bands of rows, a few per worker so that uneven ones even out.
    const bool panned = drawing->underlay && !drawing->direct;
    const int threads = panned ? 1 + int(lines.size()) / linesPerThread : QThread::idealThreadCount();
    const int bandCount = std::clamp(panned ? std::max(panBands, threads * 3) : threads * 3, 1,
                                     std::max(1, deviceSize.height() / 16));
    drawing->bandHeight = (deviceSize.height() + bandCount - 1) / bandCount;
    for (int top = 0; top < deviceSize.height(); top += drawing->bandHeight)
        drawing->bandTops.push_back(top);
    // What reaches each band, sorted out once rather than looked through
    // by every band.
    const int height = deviceSize.height(), bandHeight = drawing->bandHeight;
    const int lastBand = int(drawing->bandTops.size()) - 1;
    drawing->bandLines.resize(size_t(lastBand + 1));
    for (int i = 0; i < int(lines.size()); ++i) {
        // A band reaches from its top to before the next one's.
        const LeaderLine &line = lines[size_t(i)];
        if (line.top >= height || line.bottom < 0)
            continue;
        const int from = std::max(0, int(std::floor(line.top / bandHeight)));
        const int to = std::min(lastBand, int(std::floor(line.bottom / bandHeight)));
        for (int band = from; band <= to; ++band)
            drawing->bandLines[size_t(band)].push_back(i);
    }
    const auto sortStamps = [&](const std::vector<Stamp> &stamps, std::vector<std::vector<int>> &into) {
        into.resize(size_t(lastBand + 1));
        for (int i = 0; i < int(stamps.size()); ++i) {
            const Stamp &s = stamps[size_t(i)];
            if (s.position.y() >= height || s.bottom <= 0 || s.bottom <= s.position.y())
                continue;
            const int from = std::max(0, s.position.y()) / bandHeight;
            const int to = std::min(lastBand, (s.bottom - 1) / bandHeight);
            for (int band = from; band <= to; ++band)
                into[size_t(band)].push_back(i);
        }
    };
    sortStamps(markers, drawing->bandMarkers);
    sortStamps(labels, drawing->bandLabels);

    // The shapes' parts to draw first, and the leader lines worked out in
    // runs of them, on the workers too; then the bands of the frame over
    // them.
    m_drawing = std::move(drawing);
    Drawing &bands = *m_drawing;
    const int parts = int(bands.regionParts.size());
    constexpr int linesPerRun = 256;
    const int runs = (int(bands.lines.size()) + linesPerRun - 1) / linesPerRun;
    const int first = parts + runs;
    const double lineWidth = ratio;
    m_drawing->work = std::make_unique<ParallelWork>(
        first + int(bands.bandTops.size()), first, threads, [this, &bands, parts, first, lineWidth](int item) {
            if (item < parts) {
                paintRegions(bands, bands.regionParts[size_t(item)]);
            } else if (item < first) {
                const size_t from = size_t(item - parts) * linesPerRun;
                for (size_t i = from; i < std::min(from + linesPerRun, bands.lines.size()); ++i)
                    bands.lines[i].leader = m_leader.leader(bands.lines[i].points, lineWidth);
            } else {
                paintBand(bands, item - first);
            }
        });
}

void AnnotationRenderer::placeRegions(const AnnotationFrame &frame, const AnnotationScene &scene,
                                      const QSize &deviceSize, qreal ratio, Drawing &drawing)
{
    const QTransform toDevice = unitToDevice(frame.geometry, ratio);
    const std::optional<QUuid> &highlighted = frame.highlightedID;
    if (!m_regions)
        m_regions = std::make_unique<RegionCache>();
    RegionCache &cache = *m_regions;
    bool first = false;
    const qint64 picture = drawing.underlay ? drawing.level.cacheKey() : 0;
    if (cache.scene != scene.generation() || cache.highlighted != highlighted || cache.picture != picture
        || cache.backdrop != drawing.backdrop || cache.scaleX != toDevice.m11() || cache.scaleY != toDevice.m22()
        || cache.ratio != ratio || cache.deviceSize != deviceSize) {
        // Another scale, scene or picture: the shapes are drawn anew, on
        // the places of this view.
        cache.scene = scene.generation();
        cache.highlighted = highlighted;
        cache.picture = picture;
        cache.backdrop = drawing.backdrop;
        cache.scaleX = toDevice.m11();
        cache.scaleY = toDevice.m22();
        cache.ratio = ratio;
        cache.deviceSize = deviceSize;
        cache.toPlaces = QTransform(toDevice.m11(), 0, 0, toDevice.m22(), toDevice.dx() - std::floor(toDevice.dx()),
                                    toDevice.dy() - std::floor(toDevice.dy()));
        cache.regions.clear();
        cache.regions.reserve(size_t(scene.regions().size()));
        cache.outlines.clear();
        for (const AnnotationMark &mark : scene.regions()) {
            const bool isHighlighted = highlighted && mark.id == *highlighted;
            const double margin = (isHighlighted ? m_shapes.highlightedStrokeWidth : m_shapes.strokeWidth) * ratio;
            cache.regions.push_back({cache.toPlaces.mapRect(mark.bounds).adjusted(-margin, -margin, margin, margin),
                                     -1, 0, isHighlighted});
        }
        const int margin = int(std::ceil(regionMargin * ratio));
        const QSize size = deviceSize + QSize(2 * margin, 2 * margin);
        if (cache.image.size() != size)
            cache.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        cache.drawn = QRect();
        first = true;
    }

    // The view lies on the places it covers, to the nearest whole device
    // pixel: exactly when it moved by whole device pixels.
    const QPoint viewAt(-int(std::lround(toDevice.dx() - cache.toPlaces.dx())),
                        -int(std::lround(toDevice.dy() - cache.toPlaces.dy())));
    const QRect view(viewAt, deviceSize);
    const int margin = (cache.image.width() - deviceSize.width()) / 2;
    if (!cache.drawn.isEmpty()) {
        // The window follows the view only as far as it needs to keep it
        // half the margin inside: a pan to and fro within that draws
        // nothing.
        const int keep = margin / 2;
        QRect &window = cache.window;
        window.moveLeft(std::clamp(window.left(), view.right() + 1 + keep - window.width(), view.left() - keep));
        window.moveTop(std::clamp(window.top(), view.bottom() + 1 + keep - window.height(), view.top() - keep));
        cache.drawn &= window;
    }
    if (!cache.drawn.intersects(view)) {
        cache.window = view.adjusted(-margin, -margin, margin, margin);
        cache.drawn = QRect();
    }
    // The first frame at a scale (each frame of a pinch) draws the view
    // alone, straight into the frame, and keeps nothing; the frames after
    // it keep what they draw.
    const QRect reach = first ? view : cache.window;

    // The outlines of the shapes within reach, mapped once.
    const QRectF reachBounds(reach);
    for (size_t i = 0; i < cache.regions.size(); ++i) {
        RegionJob &region = cache.regions[i];
        if (region.first < 0 && region.bounds.intersects(reachBounds)) {
            region.first = qsizetype(cache.outlines.size());
            region.count = mapOutline(scene.regions()[qsizetype(i)].polygon, cache.toPlaces, cache.outlines);
        }
    }

    drawing.viewAt = viewAt;
    drawing.direct = first;
    drawing.toPlaces = cache.toPlaces;
    if (first)
        return;

    // What is within reach and not drawn: the whole of it, or the strips
    // around what is drawn (which lies within it).
    std::vector<QRect> strips;
    const QRect &drawn = cache.drawn;
    if (drawn.isEmpty()) {
        strips.push_back(reach);
    } else {
        strips.push_back(QRect(QPoint(reach.left(), reach.top()), QPoint(reach.right(), drawn.top() - 1)));
        strips.push_back(QRect(QPoint(reach.left(), drawn.bottom() + 1), QPoint(reach.right(), reach.bottom())));
        strips.push_back(QRect(QPoint(reach.left(), drawn.top()), QPoint(drawn.left() - 1, drawn.bottom())));
        strips.push_back(QRect(QPoint(drawn.right() + 1, drawn.top()), QPoint(reach.right(), drawn.bottom())));
    }
    cache.drawn = reach;

    // Each cut where the image wraps round, and into parts of a few rows
    // so that the workers share them.
    qint64 area = 0;
    for (const QRect &strip : strips)
        area += strip.isEmpty() ? 0 : qint64(strip.width()) * strip.height();
    const qint64 partArea = std::max<qint64>(area / (QThread::idealThreadCount() * 3), 64 * 1024);
    const QSize size = cache.image.size();
    for (const QRect &strip : strips) {
        if (strip.isEmpty())
            continue;
        const int rows = int(std::clamp<qint64>(partArea / strip.width(), 32, strip.height()));
        for (int top = strip.top(); top <= strip.bottom();) {
            const int height = std::min({rows, strip.bottom() + 1 - top, size.height() - wrapped(top, size.height())});
            for (int left = strip.left(); left <= strip.right();) {
                const int width = std::min(strip.right() + 1 - left, size.width() - wrapped(left, size.width()));
                drawing.regionParts.emplace_back(left, top, width, height);
                left += width;
            }
            top += height;
        }
    }
    drawing.regionBits = cache.image.bits();
    drawing.regionBytesPerLine = cache.image.bytesPerLine();
    drawing.regionSize = size;
}

void AnnotationRenderer::paintRegions(const Drawing &drawing, const QRect &part) const
{
    const qsizetype bytesPerLine = drawing.regionBytesPerLine;
    uchar *const bits = drawing.regionBits + wrapped(part.top(), drawing.regionSize.height()) * bytesPerLine
        + wrapped(part.left(), drawing.regionSize.width()) * 4;
    if (drawing.underlay) {
        paintUnderlay(drawing, reinterpret_cast<quint32 *>(bits), bytesPerLine / 4, part);
        return;
    }
    for (int row = 0; row < part.height(); ++row)
        std::memset(bits + row * bytesPerLine, 0, size_t(part.width()) * 4);
    QImage image(bits, part.width(), part.height(), bytesPerLine, QImage::Format_ARGB32_Premultiplied);
    drawRegions(image, part.topLeft(), drawing.ratio);
}

void AnnotationRenderer::paintUnderlay(const Drawing &drawing, quint32 *bits, qsizetype stride,
                                       const QRect &part) const
{
    // The picture: each place takes the level's pixel under its centre.
    const QImage &level = drawing.level;
    const int width = part.width(), height = part.height();
    thread_local std::vector<int> columns, rows;
    columns.resize(size_t(width));
    rows.resize(size_t(height));
    const QTransform &toPlaces = drawing.toPlaces;
    const auto [from, to] = levelIndexes(part.left(), width, toPlaces.dx(), toPlaces.m11(), level.width(),
                                         columns.data());
    const auto [top, bottom] = levelIndexes(part.top(), height, toPlaces.dy(), toPlaces.m22(), level.height(),
                                            rows.data());
    const quint32 backdrop = drawing.backdrop;
    const QImage::Format format = level.format();
    // A narrow strip takes a few pixels from each of many rows, far apart
    // in memory both here and in the level: the rows a little ahead are
    // asked for early, so that they arrive while these are drawn.
    constexpr int ahead = 8;
    const bool narrow = width < 64 && from < to;
    const uchar *const levelBits = level.constBits();
    const qsizetype levelBytesPerLine = level.bytesPerLine();
    const int levelPixelBytes = format == QImage::Format_Grayscale8 ? 1 : 4;
    for (int y = 0; y < height; ++y) {
        quint32 *out = bits + y * stride;
        if (narrow && y + ahead < height) {
            __builtin_prefetch(out + ahead * stride, 1);
            __builtin_prefetch(out + ahead * stride + width - 1, 1);
            if (y + ahead >= top && y + ahead < bottom) {
                const uchar *next = levelBits + rows[size_t(y + ahead)] * levelBytesPerLine;
                __builtin_prefetch(next + columns[size_t(from)] * levelPixelBytes);
                __builtin_prefetch(next + columns[size_t(to - 1)] * levelPixelBytes);
            }
        }
        if (y < top || y >= bottom || from >= to) {
            std::fill(out, out + width, backdrop);
            continue;
        }
        std::fill(out, out + from, backdrop);
        std::fill(out + to, out + width, backdrop);
        const uchar *line = level.constScanLine(rows[size_t(y)]);
        const int *column = columns.data();
        if (format == QImage::Format_Grayscale8) {
            for (int x = from; x < to; ++x)
                out[x] = 0xff000000u | (line[column[x]] * 0x010101u);
        } else if (format == QImage::Format_RGB32) {
            const auto *pixels = reinterpret_cast<const quint32 *>(line);
            for (int x = from; x < to; ++x)
                out[x] = pixels[column[x]] | 0xff000000u;
        } else {
            // Translucent pixels over the backdrop.
            const auto *pixels = reinterpret_cast<const quint32 *>(line);
            quint32 *picked = scratchPixels(size_t(to - from));
            for (int x = from; x < to; ++x)
                picked[x - from] = pixels[column[x]];
            std::fill(out + from, out + to, backdrop);
            stampImage(out + from, stride, QSize(to - from, 1), QPoint(0, 0), picked, to - from,
                       QSize(to - from, 1));
        }
    }

    // The shapes over it, drawn alone as they are kept without it.
    const size_t area = size_t(width) * size_t(height);
    quint32 *shapes = scratchPixels(area);
    std::memset(shapes, 0, area * 4);
    QImage image(reinterpret_cast<uchar *>(shapes), width, height, qsizetype(width) * 4,
                 QImage::Format_ARGB32_Premultiplied);
    drawRegions(image, part.topLeft(), drawing.ratio);
    stampImage(bits, stride, part.size(), QPoint(0, 0), shapes, width, part.size());
}

void AnnotationRenderer::drawRegions(QImage &image, const QPoint &at, qreal ratio) const
{
    const QPointF origin(at);
    // (Compared inline: a strip looks through every region, and a
    // region's bounds, widened by its outline, are never empty.)
    const double left = at.x(), top = at.y(), right = left + image.width(), bottom = top + image.height();
    const RegionCache &cache = *m_regions;
    thread_local std::vector<ShapeRaster::Edge> edges;
    for (const RegionJob &region : cache.regions) {
        const QRectF &b = region.bounds;
        if (region.first < 0 || !(b.left() < right && left < b.right() && b.top() < bottom && top < b.bottom()))
            continue;
        const QPointF *corners = cache.outlines.data() + region.first;
        (region.highlighted ? m_highlightedFill : m_fill).fillPolygon(image, origin, corners, region.count, edges);
        m_outline.drawPolyline(image, origin, corners, region.count,
                               (region.highlighted ? m_shapes.highlightedStrokeWidth : m_shapes.strokeWidth) * ratio,
                               true);
    }
}

void AnnotationRenderer::paintBand(const Drawing &drawing, int index) const
{
    const int top = drawing.bandTops[size_t(index)];
    const std::vector<int> &lines = drawing.bandLines[size_t(index)];
    const std::vector<int> &markers = drawing.bandMarkers[size_t(index)];
    const int bottom = std::min(top + drawing.bandHeight, drawing.deviceSize.height());
    const qsizetype bytesPerLine = drawing.bytesPerLine;
    uchar *const bits = drawing.bits + top * bytesPerLine;
    auto *const pixels = reinterpret_cast<quint32 *>(bits);
    const qsizetype stride = bytesPerLine / 4;
    const int width = drawing.deviceSize.width();
    const QSize bandSize(width, bottom - top);
    const quint32 colour = m_leader.opaqueColour();
    // The leader lines where no label lies, all of one colour and nothing
    // drawn between them, gathered as what they let show through, to be
    // laid over the shapes and markers at once.
    quint16 *through = nullptr;
    if (!lines.empty()) {
        through = lineThrough.band(width, bandSize.height());
        for (const int i : lines) {
            const LeaderLine &line = drawing.lines[size_t(i)];
            for (const Columns &open : drawing.openColumns) {
                if (line.left < open.end && open.first < line.right)
                    m_leader.drawLeaderThrough(through + open.first, width, QSize(open.end - open.first, bandSize.height()),
                                               QPoint(open.first, top), line.leader, throughSlack);
            }
        }
        lineThrough.drawn();
    }
    if (drawing.direct) {
        if (drawing.underlay) {
            paintUnderlay(drawing, pixels, stride, QRect(drawing.viewAt + QPoint(0, top), bandSize));
        } else {
            std::memset(bits, 0, size_t(bytesPerLine) * size_t(bottom - top));
            QImage band(bits, width, bottom - top, bytesPerLine, QImage::Format_ARGB32_Premultiplied);
            drawRegions(band, drawing.viewAt + QPoint(0, top), drawing.ratio);
        }
        for (const int marker : markers)
            stamp(pixels, stride, bandSize, drawing.markers[size_t(marker)], top);
        for (int row = 0; through && row < bottom - top; ++row)
            layThroughAndClear(pixels + row * stride, pixels + row * stride, through + qsizetype(row) * width, width,
                               colour);
    } else {
        // The kept shapes under the band, in at most two pieces a row
        // where the kept image wraps round, with the markers that cross
        // the row and the lines over them: a row at a time, while it is
        // close at hand, the lines laid on the way where no marker is.
        const int left = wrapped(drawing.viewAt.x(), drawing.regionSize.width());
        const int firstPiece = std::min(width, drawing.regionSize.width() - left);
        thread_local std::vector<int> byTop, crossing;
        byTop.assign(markers.begin(), markers.end());
        std::sort(byTop.begin(), byTop.end(), [&](int a, int b) {
            return drawing.markers[size_t(a)].position.y() < drawing.markers[size_t(b)].position.y();
        });
        crossing.clear();
        size_t nextMarker = 0;
        for (int row = top; row < bottom; ++row) {
            crossing.erase(std::remove_if(crossing.begin(), crossing.end(),
                                          [&](int m) { return drawing.markers[size_t(m)].bottom <= row; }),
                           crossing.end());
            for (; nextMarker < byTop.size() && drawing.markers[size_t(byTop[nextMarker])].position.y() <= row;
                 ++nextMarker) {
                // (Kept in the markers' order.)
                const int marker = byTop[nextMarker];
                crossing.insert(std::upper_bound(crossing.begin(), crossing.end(), marker), marker);
            }
            const auto *kept = reinterpret_cast<const quint32 *>(
                drawing.regionBits
                + wrapped(drawing.viewAt.y() + row, drawing.regionSize.height()) * drawing.regionBytesPerLine);
            quint32 *out = pixels + (row - top) * stride;
            quint16 *rowThrough = through ? through + qsizetype(row - top) * width : nullptr;
            if (rowThrough && crossing.empty()) {
                layThroughAndClear(out, kept + left, rowThrough, firstPiece, colour);
                layThroughAndClear(out + firstPiece, kept, rowThrough + firstPiece, width - firstPiece, colour);
                continue;
            }
            std::memcpy(out, kept + left, size_t(firstPiece) * 4);
            std::memcpy(out + firstPiece, kept, size_t(width - firstPiece) * 4);
            for (const int marker : crossing)
                stamp(out, stride, QSize(width, 1), drawing.markers[size_t(marker)], row);
            if (rowThrough)
                layThroughAndClear(out, out, rowThrough, width, colour);
        }
    }
    // Where the labels lie, each callout's leader line and then its label,
    // in the callouts' order: a later line lies over an earlier label, and
    // the highlighted label over everything.
    const auto drawInTurn = [&](int i) {
        const LeaderLine &line = drawing.lines[size_t(i)];
        for (const Columns &reached : drawing.labelColumns) {
            if (line.left < reached.end && reached.first < line.right)
                m_leader.drawLeaderOver(pixels + reached.first, stride,
                                        QSize(reached.end - reached.first, bandSize.height()),
                                        QPoint(reached.first, top), line.leader);
        }
    };
    size_t nextLine = 0;
    for (const int label : drawing.bandLabels[size_t(index)]) {
        const Stamp &s = drawing.labels[size_t(label)];
        for (; nextLine < lines.size() && lines[nextLine] <= s.order; ++nextLine)
            drawInTurn(lines[nextLine]);
        stamp(pixels, stride, bandSize, s, top);
    }
    for (; nextLine < lines.size() && !drawing.labelColumns.empty(); ++nextLine)
        drawInTurn(lines[nextLine]);
}

const QImage &AnnotationRenderer::labelText(const AnnotationCallout &callout, const CalloutLabelBox &box,
                                            const CalloutLabelText &text, qreal ratio, std::deque<QImage> &held)
{
    // One line per mark, kept while the scene, the ratio and the font stay
    // (a label that changed makes a new scene).
    if (box.highlighted || callout.mark < 0 || callout.mark >= qsizetype(m_labelTexts.size()))
        return held.emplace_back(drawnText(box, callout.kind, callout.side, text, ratio));
    QImage &kept = m_labelTexts[size_t(callout.mark)];
    if (kept.isNull())
        kept = drawnText(box, callout.kind, callout.side, text, ratio);
    return kept;
}

QImage AnnotationRenderer::drawnText(const CalloutLabelBox &box, AnnotationKind kind, AnnotationSide side,
                                     const CalloutLabelText &text, qreal ratio) const
{
    // One line is kept as wide as its text; the highlighted label's lines
    // are laid out in its whole width, toward the image.
    const double width = box.highlighted ? box.text.width()
                                         : QFontMetricsF(text.font()).horizontalAdvance(box.lines.first()) + 1;
    QImage image = blankImage(QSizeF(width, text.lineHeight() * double(box.lines.size())), ratio);
    {
        QPainter painter(&image);
        painter.setFont(text.font());
        painter.setPen(kind == AnnotationKind::point ? QColor(Qt::white) : withOpacity(Qt::white, 0.86));
        const int alignment = !box.highlighted || side == AnnotationSide::right ? Qt::AlignLeft : Qt::AlignRight;
        for (qsizetype i = 0; i < box.lines.size(); ++i) {
            const QRectF line(0, text.lineHeight() * double(i), width, text.lineHeight());
            painter.drawText(line, alignment | Qt::AlignVCenter | Qt::TextSingleLine, box.lines[i]);
        }
    }
    // White text is kept as its alphas: the labels of a frame are read
    // from memory once each, a quarter of the bytes.
    image = asStamp(image);
    QImage alphas = whiteAsAlphas(image);
    if (alphas.isNull())
        return image;
    // Without the clear rows above and below the letters, which change no
    // pixel: where the rest lies is kept as its offset.
    const auto clear = [&](int y) {
        const uchar *row = alphas.constScanLine(y);
        return std::all_of(row, row + alphas.width(), [](uchar alpha) { return alpha == 0; });
    };
    int top = 0, bottom = alphas.height();
    while (top < bottom && clear(top))
        ++top;
    while (bottom > top && clear(bottom - 1))
        --bottom;
    if (top == 0 && bottom == alphas.height())
        return alphas;
    QImage letters = alphas.copy(0, top, alphas.width(), std::max(1, bottom - top));
    letters.setOffset(QPoint(0, top));
    return letters;
}

QImage AnnotationRenderer::cachedImage(const QString &key, const QSizeF &size, qreal ratio,
                                       const std::function<void(QPainter &)> &draw)
{
    const QString fullKey = key + QLatin1Char('|') + QString::number(ratio);
    if (const QImage *cached = m_images.object(fullKey))
        return *cached;
    QImage image = blankImage(size, ratio);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
    }
    image = asStamp(image);
    m_images.insert(fullKey, new QImage(image), int(image.sizeInBytes()));
    return image;
}

QImage AnnotationRenderer::capsuleImage(const QSizeF &size, qreal ratio)
{
    const QString key = QStringLiteral("capsule|%1|%2").arg(size.width()).arg(size.height());
    return cachedImage(key, size, ratio, [size](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(withOpacity(Qt::black, 0.68));
        const double radius = size.height() / 2;
        painter.drawRoundedRect(QRectF(QPointF(0, 0), size), radius, radius);
    });
}

QImage AnnotationRenderer::markerImage(bool highlighted, qreal ratio)
{
    const double diameter = highlighted ? highlightedMarkerDiameter : markerDiameter;
    // Room for the ring around the highlighted marker.
    const double side = highlighted ? diameter + 10 + 4 : diameter + 3;
    return cachedImage(QStringLiteral("marker|%1").arg(highlighted), QSizeF(side, side), ratio,
                       [=](QPainter &painter) {
                           const QPointF centre(side / 2, side / 2);
                           painter.setPen(Qt::NoPen);
                           painter.setBrush(AppStyle::orange());
                           painter.drawEllipse(centre, diameter / 2, diameter / 2);
                           painter.setBrush(Qt::NoBrush);
                           painter.setPen(markerPen(withOpacity(Qt::white, 0.95), 1));
                           painter.drawEllipse(centre, diameter / 2, diameter / 2);
                           if (highlighted) {
                               painter.setPen(markerPen(withOpacity(AppStyle::orange(), 0.6), 2));
                               painter.drawEllipse(centre, (diameter + 10) / 2, (diameter + 10) / 2);
                           }
                       });
}

QImage AnnotationRenderer::linkButtonImage(double side, qreal ratio)
{
    return cachedImage(QStringLiteral("link|%1").arg(side), QSizeF(side, side), ratio, [side](QPainter &painter) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(AppStyle::orange());
        painter.drawEllipse(QRectF(0, 0, side, side));
        const double symbol = side * 0.55;
        SystemSymbol::paint(painter, QStringLiteral("link"),
                            QRectF((side - symbol) / 2, (side - symbol) / 2, symbol, symbol), Qt::white);
    });
}
