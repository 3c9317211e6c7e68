#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

#include <array>
#include <optional>
#include <vector>

// Lines and polygons of one colour and opacity drawn straight into a
// premultiplied ARGB32 image that holds nothing but that colour (at any
// opacity), composited over what is there. Made for the thousands of small
// outlines and leader lines an annotation overlay draws every frame, where
// QPainter spends most of its time setting each one up; that the image
// holds one colour lets a pixel be covered by two table lookups.
//
// Lines have any width and antialiased edges: each pixel gets the share of
// its height (or width) that the line covers. A line alone ends cut
// square across its longer axis; lines drawn joined (drawPolyline) have
// round joins, and an open one round caps: round a corner, each pixel gets
// the most of what the lines and a disc of the line's width there cover of
// it, once. Polygons are filled by
// the non-zero rule, a pixel being inside when its centre is (no
// antialiasing: their edge lies under an outline). Coordinates are device
// pixels; `origin` is where the image's top-left pixel lies in them, so
// that one picture can be drawn in bands, each into its own image. A
// ShapeRaster may be used from several threads at once, on different images.
class ShapeRaster {
public:
    // `colour` is taken as opaque.
    ShapeRaster(const QColor &colour, double opacity);

    void drawLine(QImage &image, const QPointF &origin, QPointF from, QPointF to, double width) const;
    // Each point joined to the next (and the last to the first, when
    // `closed` and there are more than two), with round joins, and round
    // caps at the ends of an open line.
    void drawPolyline(QImage &image, const QPointF &origin, const QPointF *points, qsizetype count, double width,
                      bool closed) const;
    // drawPolyline() (open) into an image of what shows through lines of
    // this colour, from 65535 (all) down to 0 (nothing), `stride` values a
    // row, for the lines to be laid over other pixels at once later
    // (layThrough()): each pixel keeps the product of what each line
    // leaves showing through, so that laying them at once is laying them
    // one after another, to within rounding.
    void drawPolylineThrough(quint16 *through, qsizetype stride, QSize size, const QPointF &origin,
                             const QPointF *points, qsizetype count, double width) const;

private:
    // A line as it is walked, one pixel at a time along its longer axis
    // ("major"), covering across it ("minor") a band of `half` on either
    // side of its centre. Image coordinates.
    struct Band {
        bool steep;           // the major axis is y
        bool forward;         // it runs the way the major axis grows
        double a0, b0;        // its end with the lower major coordinate
        double a1, b1;        // and the other
        double slope;         // minor per major
        double half;          // across, minor
        int start, end;       // the first and last pixel centres along it (none when end < start)
        qint64 slopeFixed;    // 1/65536 of a pixel per step
        qint64 centreAtStart; // the centre across at `start`, in 1/65536
        int halfWidth;        // `half` in 1/256
    };

public:
    // An open line through three points (a callout's leader line) worked
    // out once, the bands of its two lines and which of its corners are
    // joined round, for drawing in many pieces (each placed on whole
    // pixels): drawn so, it gives the pixels drawPolyline() gives.
    class Leader {
    public:
        Leader() = default;

    private:
        friend class ShapeRaster;
        std::array<QPointF, 3> m_points{};
        double m_width = 0;
        std::array<std::optional<Band>, 2> m_bands;
        std::array<bool, 3> m_joined{};
    };
    Leader leader(const std::array<QPointF, 3> &points, double width) const;
    // The leader line into an image of what shows through, as
    // drawPolylineThrough(), its top-left value at `origin`. `slack` rows
    // above and below it may be written too, and are to be thrown away:
    // the steps of a line along the rows that its edges cut then take the
    // way of those it does not.
    void drawLeaderThrough(quint16 *through, qsizetype stride, QSize size, QPoint origin, const Leader &line,
                           int slack = 0) const;
    // The leader line over premultiplied ARGB32 pixels of any colours,
    // `stride` a row, its top-left pixel at `origin`: a pixel it covers
    // comes out as laying what drawLeaderThrough() gathers of it gives it.
    void drawLeaderOver(quint32 *pixels, qsizetype stride, QSize size, QPoint origin, const Leader &line) const;
    // The colour, opaque and premultiplied.
    quint32 opaqueColour() const { return m_opaque; }

    // One edge of a polygon being filled, over the rows it spans.
    struct Edge {
        double x;          // at the centre of the current row
        double topX, topY; // its upper end
        double step;       // per row
        int firstRow, lastRow;
        int direction; // +1 downwards, −1 upwards
    };

    // Fills the polygon closing from the last point back to the first.
    // `edges` is scratch space, kept by the caller between calls.
    void fillPolygon(QImage &image, const QPointF &origin, const QPointF *points, qsizetype count,
                     std::vector<Edge> &edges) const;

    static constexpr int coverageSteps = 64;

private:
    // The pixels of the image drawn into, read once per call.
    template <typename Pixel> struct Target {
        Pixel *bits;
        qsizetype stride; // pixels
        int width, height;
        // Rows above the first and below the last that a line along the
        // rows may write, which are thrown away.
        int slack = 0;
    };
    static Target<quint32> targetOf(QImage &image);
    // A pixel of any colour, covered as a line gathered alone and laid
    // over it.
    struct Over {
        quint32 pixel;
    };
    // The band of the line from `from` to `to` (image coordinates); none
    // for a line of no length or width, or one out of reach.
    static std::optional<Band> bandOf(const QPointF &from, const QPointF &to, double width);
    // `band` in an image whose top-left pixel lies `by` further on.
    static Band shifted(Band band, QPoint by);
    template <typename Pixel> void drawLeader(const Target<Pixel> &target, QPoint origin, const Leader &line) const;
    // How much of the pixel at `major`, `minor` the band covers, in 1/256:
    // what drawing the line gives it.
    static int bandPart(const Band &band, int major, int minor);
    // Whether the line lies wholly before or past an image of `size` along
    // its longer axis, and so draws nothing there.
    static bool passesBy(const QSize &size, const QPointF &origin, const QPointF &from, const QPointF &to);
    // `joinedAtFrom`, `joinedAtTo`: the pixels within reach of that end are
    // left to its join. `known`: the line's band, when the caller has it
    // (and has seen that it does not pass by).
    template <typename Pixel>
    void drawLine(const Target<Pixel> &target, const QPointF &origin, QPointF from, QPointF to, double width,
                  bool joinedAtFrom = false, bool joinedAtTo = false, const std::optional<Band> *known = nullptr) const;
    template <typename Pixel>
    void drawPolyline(const Target<Pixel> &target, const QPointF &origin, const QPointF *points, qsizetype count,
                      double width, bool closed) const;
    // A corner of a polyline: where it is, its place in the line, and
    // whether it is joined round.
    struct Corner {
        const QPointF *point;
        qsizetype index;
        bool joined;
    };
    // The round join at `corner` of the line `in` from `before` and the
    // line `out` to `after` (a round cap where one of them has no point).
    template <typename Pixel>
    void drawJoin(const Target<Pixel> &target, const QPointF &origin, const Corner &corner, const Corner &before,
                  const Corner &after, const std::optional<Band> &in, const std::optional<Band> &out,
                  double width) const;

    void cover(quint32 *pixel, int step) const;
    void coverOrKeep(quint32 *pixel, int step) const;
    void cover(quint16 *through, int step) const;
    void coverOrKeep(quint16 *through, int step) const;
    void cover(Over *pixel, int step) const;
    void coverOrKeep(Over *pixel, int step) const;
    template <typename Pixel> void coverPart(Pixel *pixel, int part) const;
    static int coverageStep(int part);
    // Whole coverage of `count` pixels in a row.
    void fillSpan(quint32 *pixels, int count) const;

    // The pixel (the colour, premultiplied) a pixel of alpha a becomes when
    // covered by k steps, at k × 256 + a.
    std::vector<quint32> m_covered;
    // What a pixel covered by k steps leaves showing through, in 1/65536.
    std::vector<quint32> m_leaves;
    // By how much that falls from one step to the next, when always by the
    // same (else 0).
    int m_leavesPerStep = 0;
    // A pixel covered by k steps, gathered alone and laid over it: what of
    // it is kept (of 255), and the colour's part in its red and blue, and
    // alpha and green, with the rounding.
    struct Laid {
        quint32 kept, redBlue, alphaGreen;
    };
    std::array<Laid, coverageSteps + 1> m_laid{};
    quint32 m_opaque = 0;
    quint32 m_fullSource = 0;
    quint32 m_fullInverseAlpha = 0;
};
