#include "viewer/ShapeRaster.h"

#include <algorithm>
#include <cmath>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define VELORAN_RASTER_AVX2 1
#endif

namespace {

#ifdef VELORAN_RASTER_AVX2
const bool hasAvx2 = __builtin_cpu_supports("avx2");

// Eight steps at a time of a thin line's run along the rows (its steps a
// pixel apart across, from `bits`, each covering the cells of its column
// that its band of `band` from `centre` − `halfWidth` meets, in 1/256):
// row by row over the few rows the eight steps reach, what shows through
// each of the eight cells times what the step leaves (`leaves`, by the
// step of coverage). The same cells as one step at a time, the same
// values. Answers how many steps it took (a multiple of eight, up to
// `count`).
__attribute__((target("avx2"))) int coverRowsWide(quint16 *bits, qsizetype stride, int count, qint64 centre,
                                                  qint64 slope, int halfWidth, const quint32 *leaves)
{
    const __m256i band = _mm256_set1_epi32(2 * halfWidth);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i two = _mm256_set1_epi32(2);
    const __m256i steps = _mm256_set1_epi32(64);
    const __m256i cell = _mm256_set1_epi32(256);
    int done = 0;
    for (; done + 8 <= count; done += 8) {
        alignas(32) int lows[8];
        for (int k = 0; k < 8; ++k)
            lows[k] = int((centre + k * slope) >> 8) - halfWidth;
        centre += 8 * slope;
        const int first = std::min(lows[0], lows[7]) >> 8;
        const int last = (std::max(lows[0], lows[7]) + 2 * halfWidth - 1) >> 8;
        const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i *>(lows));
        const __m256i high = _mm256_add_epi32(low, band);
        quint16 *row = bits + first * stride + done;
        for (int r = first; r <= last; ++r, row += stride) {
            const __m256i top = _mm256_set1_epi32(r * 256);
            const __m256i part = _mm256_max_epi32(
                _mm256_sub_epi32(_mm256_min_epi32(high, _mm256_add_epi32(top, cell)), _mm256_max_epi32(low, top)),
                zero);
            const __m256i step = _mm256_min_epi32(_mm256_srli_epi32(_mm256_add_epi32(part, two), 2), steps);
            const __m256i left = _mm256_i32gather_epi32(reinterpret_cast<const int *>(leaves), step, 4);
            auto *at = reinterpret_cast<__m128i *>(row);
            const __m256i through = _mm256_cvtepu16_epi32(_mm_loadu_si128(at));
            const __m256i covered = _mm256_srli_epi32(_mm256_mullo_epi32(through, left), 16);
            const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(covered, covered), 0x08);
            _mm_storeu_si128(at, _mm256_castsi256_si128(packed));
        }
    }
    return done;
}

// coverRowsWide() sixteen steps at a time, in 16-bit lanes, when what a
// step of coverage k leaves is 65536 − k × `perStep`: the same values.
__attribute__((target("avx2"))) int coverRowsWider(quint16 *bits, qsizetype stride, int count, qint64 centre,
                                                   qint64 slope, int halfWidth, int perStep)
{
    const __m256i band = _mm256_set1_epi16(short(2 * halfWidth));
    const __m256i zero = _mm256_setzero_si256();
    const __m256i two = _mm256_set1_epi16(2);
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i steps = _mm256_set1_epi16(64);
    const __m256i cell = _mm256_set1_epi16(256);
    const __m256i factor = _mm256_set1_epi16(short(perStep));
    int done = 0;
    for (; done + 16 <= count; done += 16) {
        int lows[16];
        for (int k = 0; k < 16; ++k)
            lows[k] = int((centre + k * slope) >> 8) - halfWidth;
        centre += 16 * slope;
        // Counted from the first row the sixteen reach, which keeps them
        // within 16 bits.
        const int first = std::min(lows[0], lows[15]) >> 8;
        const int last = (std::max(lows[0], lows[15]) + 2 * halfWidth - 1) >> 8;
        alignas(32) qint16 relative[16];
        for (int k = 0; k < 16; ++k)
            relative[k] = qint16(lows[k] - first * 256);
        const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i *>(relative));
        const __m256i high = _mm256_add_epi16(low, band);
        quint16 *row = bits + first * stride + done;
        for (int r = 0; r <= last - first; ++r, row += stride) {
            const __m256i top = _mm256_set1_epi16(short(r * 256));
            const __m256i part = _mm256_max_epi16(
                _mm256_sub_epi16(_mm256_min_epi16(high, _mm256_add_epi16(top, cell)), _mm256_max_epi16(low, top)),
                zero);
            const __m256i step = _mm256_min_epi16(_mm256_srli_epi16(_mm256_add_epi16(part, two), 2), steps);
            const __m256i taken = _mm256_mullo_epi16(step, factor);
            auto *at = reinterpret_cast<__m256i *>(row);
            const __m256i through = _mm256_loadu_si256(at);
            // through × (65536 − taken) ÷ 65536, rounded down: through less
            // through × taken ÷ 65536 rounded up.
            const __m256i upper = _mm256_mulhi_epu16(through, taken);
            const __m256i exact = _mm256_cmpeq_epi16(_mm256_mullo_epi16(through, taken), zero);
            const __m256i rest = _mm256_andnot_si256(exact, one);
            _mm256_storeu_si256(at, _mm256_sub_epi16(_mm256_sub_epi16(through, upper), rest));
        }
    }
    return done;
}
#endif

int floorToInt(double value)
{
    const int truncated = int(value);
    return truncated > value ? truncated - 1 : truncated;
}

int ceilToInt(double value)
{
    const int truncated = int(value);
    return truncated < value ? truncated + 1 : truncated;
}

qint64 roundToInt64(double value)
{
    return qRound64(value);
}

// Far outside any image (or not finite): nothing is drawn, and nothing
// overflows the arithmetic.
bool isDrawable(const QPointF &point)
{
    constexpr double limit = 1 << 20;
    return std::abs(point.x()) < limit && std::abs(point.y()) < limit;
}

} // namespace

ShapeRaster::ShapeRaster(const QColor &colour, double opacity)
    : m_covered(size_t(coverageSteps + 1) * 256)
    , m_leaves(size_t(coverageSteps + 1))
{
    QColor ink = colour;
    std::array<quint32, 256> pixel{};
    for (int alpha = 0; alpha < 256; ++alpha) {
        ink.setAlpha(alpha);
        pixel[size_t(alpha)] = qPremultiply(ink.rgba());
    }
    const double strength = std::clamp(opacity, 0.0, 1.0);
    for (int step = 0; step <= coverageSteps; ++step) {
        const double added = strength * step / coverageSteps;
        for (int alpha = 0; alpha < 256; ++alpha)
            m_covered[size_t(step * 256 + alpha)] = pixel[size_t(std::lround(alpha + added * (255 - alpha)))];
        m_leaves[size_t(step)] = quint32(std::lround((1 - added) * 65536));
    }
    // What a step leaves, when it falls by the same for each step.
    // (Covered all over, a step must leave something, within 16 bits.)
    m_leavesPerStep = m_leaves[size_t(coverageSteps)] > 0 ? int(65536 - m_leaves[1]) : 0;
    for (int step = 0; step <= coverageSteps; ++step) {
        if (m_leaves[size_t(step)] != quint32(65536 - step * m_leavesPerStep))
            m_leavesPerStep = 0;
    }
    m_fullSource = pixel[size_t(std::lround(strength * 255))];
    m_opaque = pixel[255];
    m_fullInverseAlpha = 255 - qAlpha(m_fullSource);
}

inline void ShapeRaster::cover(quint32 *pixel, int step) const
{
    *pixel = m_covered[size_t(step * 256) + (*pixel >> 24)];
}

inline void ShapeRaster::coverOrKeep(quint32 *pixel, int step) const
{
    // Step 0 keeps the pixel (the colour looked up for its alpha may differ
    // from it in the last bit).
    const quint32 kept = *pixel;
    const quint32 covered = m_covered[size_t(step * 256) + (kept >> 24)];
    *pixel = step > 0 ? covered : kept;
}

inline void ShapeRaster::cover(quint16 *through, int step) const
{
    // What shows through is what showed through times what the step
    // leaves (step 0 leaves all).
    *through = quint16((*through * m_leaves[size_t(step)]) >> 16);
}

inline void ShapeRaster::coverOrKeep(quint16 *through, int step) const
{
    cover(through, step);
}

inline int ShapeRaster::coverageStep(int part)
{
    // `part` in 1/256 of the pixel; steps of 1/64.
    return std::min((part + 2) >> 2, coverageSteps);
}

template <typename Pixel> inline void ShapeRaster::coverPart(Pixel *pixel, int part) const
{
    const int step = coverageStep(part);
    if (step > 0)
        cover(pixel, step);
}

void ShapeRaster::fillSpan(quint32 *pixels, int count) const
{
    int i = 0;
#ifdef __SSE2__
    // Four pixels at a time: each channel times (255 − alpha) ÷ 255, plus
    // the source.
    const __m128i source = _mm_set1_epi32(int(m_fullSource));
    const __m128i inverse = _mm_set1_epi16(short(m_fullInverseAlpha));
    const __m128i half = _mm_set1_epi16(0x80);
    const __m128i zero = _mm_setzero_si128();
    const auto times = [&](__m128i channels) {
        channels = _mm_add_epi16(_mm_mullo_epi16(channels, inverse), half);
        return _mm_srli_epi16(_mm_add_epi16(channels, _mm_srli_epi16(channels, 8)), 8);
    };
    for (; i + 4 <= count; i += 4) {
        auto *at = reinterpret_cast<__m128i *>(pixels + i);
        const __m128i d = _mm_loadu_si128(at);
        const __m128i low = times(_mm_unpacklo_epi8(d, zero));
        const __m128i high = times(_mm_unpackhi_epi8(d, zero));
        _mm_storeu_si128(at, _mm_add_epi8(_mm_packus_epi16(low, high), source));
    }
#endif
    // The rest the same way, one at a time, so that a pixel comes out the
    // same wherever the span starts.
    const auto scaled = [this](quint32 channel) {
        channel = channel * m_fullInverseAlpha + 0x80;
        return ((channel + (channel >> 8)) >> 8) & 0xff;
    };
    for (; i < count; ++i) {
        const quint32 d = pixels[i];
        quint32 result = 0;
        for (int shift = 0; shift < 32; shift += 8)
            result |= ((scaled((d >> shift) & 0xff) + ((m_fullSource >> shift) & 0xff)) & 0xff) << shift;
        pixels[i] = result;
    }
}

ShapeRaster::Target<quint32> ShapeRaster::targetOf(QImage &image)
{
    return {reinterpret_cast<quint32 *>(image.bits()), image.bytesPerLine() / 4, image.width(), image.height()};
}

void ShapeRaster::drawLine(QImage &image, const QPointF &origin, QPointF from, QPointF to, double width) const
{
    if (!image.isNull())
        drawLine(targetOf(image), origin, from, to, width);
}

template <typename Pixel>
void ShapeRaster::drawLine(const Target<Pixel> &image, const QPointF &origin, QPointF from, QPointF to,
                           double width) const
{
    if (!(width > 0))
        return;
    from -= origin;
    to -= origin;
    if (!isDrawable(from) || !isDrawable(to))
        return;

    // Walk the longer axis ("major") one pixel centre at a time; across it
    // the line covers a band of `half` on either side of its centre.
    const bool steep = std::abs(to.y() - from.y()) > std::abs(to.x() - from.x());
    double a0 = steep ? from.y() : from.x(), b0 = steep ? from.x() : from.y();
    double a1 = steep ? to.y() : to.x(), b1 = steep ? to.x() : to.y();
    if (a0 > a1) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    const int majorCount = steep ? image.height : image.width;
    const int minorCount = steep ? image.width : image.height;
    // The first pixel centre along the line, before the image cuts it.
    const int start = ceilToInt(a0 - 0.5);
    int first = std::max(0, start);
    int last = std::min(majorCount - 1, floorToInt(a1 - 0.5));
    if (first > last)
        return;
    const double slope = (b1 - b0) / (a1 - a0);
    const double half = std::min(width * std::sqrt(1 + slope * slope) / 2, 1024.0);
    // Only the stretch whose band meets the image across (all of it, when
    // the band stays inside the image).
    const bool inside = std::min(b0, b1) - half >= 0 && std::max(b0, b1) + half <= minorCount;
    if (!inside && slope != 0) {
        const double enter = a0 - 0.5 + ((slope > 0 ? -half - 1 : minorCount + half + 1) - b0) / slope;
        const double leave = a0 - 0.5 + ((slope > 0 ? minorCount + half + 1 : -half - 1) - b0) / slope;
        // (Limited before they are made whole numbers: a line all but
        // level enters and leaves far beyond any int.)
        first = std::max(first, floorToInt(std::max(std::min(enter, leave), double(first))));
        last = std::min(last, ceilToInt(std::min(std::max(enter, leave), double(last))));
        if (first > last)
            return;
    } else if (!inside && (b0 + half < 0 || b0 - half > minorCount)) {
        return;
    }

    Pixel *const bits = image.bits;
    const qsizetype majorStep = steep ? image.stride : 1;
    const qsizetype minorStep = steep ? 1 : image.stride;
    // The centre moves in 1/65536 of a pixel, so that it does not drift
    // along a long line; the band's edges are taken in 1/256. It is counted
    // from the line's own first pixel, so that a pixel comes out the same
    // wherever the image cuts the line (a picture drawn in pieces shows no
    // seams).
    const qint64 slopeFixed = roundToInt64(slope * 65536);
    qint64 centre = roundToInt64((b0 + slope * (start + 0.5 - a0)) * 65536) + qint64(first - start) * slopeFixed;
    const int halfWidth = int(half * 256 + 0.5);
    const int minorEnd = minorCount << 8;
    // A band cut by the image's edges.
    const auto cutStep = [&](int a, qint64 at) {
        const int middle = int(at >> 8);
        const int low = std::max(middle - halfWidth, 0);
        const int high = std::min(middle + halfWidth, minorEnd);
        if (low >= high)
            return;
        Pixel *line = bits + a * majorStep;
        const int lowCell = low >> 8;
        const int highCell = (high - 1) >> 8;
        if (lowCell == highCell) {
            coverPart(line + lowCell * minorStep, high - low);
            return;
        }
        coverPart(line + lowCell * minorStep, ((lowCell + 1) << 8) - low);
        for (int cell = lowCell + 1; cell < highCell; ++cell)
            cover(line + cell * minorStep, coverageSteps);
        coverPart(line + highCell * minorStep, high - (highCell << 8));
    };
    if (halfWidth > 256) {
        for (int a = first; a <= last; ++a, centre += slopeFixed)
            cutStep(a, centre);
        return;
    }
    // The steps whose band lies a pixel inside the image and three short of
    // its far edge, a run of them (the centre moves one way), take three
    // cells a step, without a branch: a thin band (two pixels at most)
    // from `low`, `into` its first cell, covers that cell up to its end,
    // the next up to the band's end and the third with what is left; cells
    // it misses are left as they are (the same pixels as the cut band gives
    // where both could be used).
    const int band = 2 * halfWidth;
    const qint64 lowest = qint64(256 + halfWidth) << 8;                     // centre from here
    const qint64 highest = (qint64(minorEnd - 3 * 256 - halfWidth + 1) << 8) - 1; // up to here
    for (int a = first; a <= last;) {
        if (centre < lowest || centre > highest) {
            cutStep(a, centre);
            ++a;
            centre += slopeFixed;
            continue;
        }
        qint64 run = last - a;
        if (slopeFixed > 0)
            run = std::min(run, (highest - centre) / slopeFixed);
        else if (slopeFixed < 0)
            run = std::min(run, (centre - lowest) / -slopeFixed);
        const int end = a + int(run);
#ifdef VELORAN_RASTER_AVX2
        if constexpr (std::is_same_v<Pixel, quint16>) {
            if (!steep && hasAvx2) {
                int taken = 0;
                if (m_leavesPerStep > 0) {
                    taken = coverRowsWider(bits + a, image.stride, end + 1 - a, centre, slopeFixed, halfWidth,
                                           m_leavesPerStep);
                    a += taken;
                    centre += taken * slopeFixed;
                }
                taken = coverRowsWide(bits + a, image.stride, end + 1 - a, centre, slopeFixed, halfWidth,
                                      m_leaves.data());
                a += taken;
                centre += taken * slopeFixed;
            }
        }
#endif
        Pixel *line = bits + a * majorStep;
        for (; a <= end; ++a, centre += slopeFixed, line += majorStep) {
            const int low = int(centre >> 8) - halfWidth;
            const int into = low & 255;
            Pixel *pixel = line + (low >> 8) * minorStep;
            coverOrKeep(pixel, coverageStep(std::min(band, 256 - into)));
            coverOrKeep(pixel + minorStep, coverageStep(std::clamp(band - 256 + into, 0, 256)));
            if constexpr (std::is_same_v<Pixel, quint16>) {
                // A thin line seldom reaches a third cell, which is left
                // alone where it does not (the same as covering it by
                // nothing).
                if (band - 512 + into > 1)
                    cover(pixel + 2 * minorStep, coverageStep(band - 512 + into));
            } else {
                coverOrKeep(pixel + 2 * minorStep, coverageStep(std::max(band - 512 + into, 0)));
            }
        }
    }
}

void ShapeRaster::drawPolyline(QImage &image, const QPointF &origin, const QPointF *points, qsizetype count,
                               double width, bool closed) const
{
    if (!image.isNull())
        drawPolyline(targetOf(image), origin, points, count, width, closed);
}

void ShapeRaster::drawPolylineThrough(quint16 *through, qsizetype stride, QSize size, const QPointF &origin,
                                      const QPointF *points, qsizetype count, double width) const
{
    if (through && !size.isEmpty())
        drawPolyline(Target<quint16>{through, stride, size.width(), size.height()}, origin, points, count, width,
                     false);
}

template <typename Pixel>
void ShapeRaster::drawPolyline(const Target<Pixel> &target, const QPointF &origin, const QPointF *points,
                               qsizetype count, double width, bool closed) const
{
    // Segments wholly above, below or beside the image are passed over at
    // once (a strip of a few rows or columns meets few of a shape's).
    const double top = origin.y() - width, bottom = origin.y() + target.height + width;
    const double left = origin.x() - width, right = origin.x() + target.width + width;
    const auto draw = [&](const QPointF &from, const QPointF &to) {
        if ((from.y() < top && to.y() < top) || (from.y() > bottom && to.y() > bottom)
            || (from.x() < left && to.x() < left) || (from.x() > right && to.x() > right))
            return;
        drawLine(target, origin, from, to, width);
    };
    for (qsizetype i = 0; i + 1 < count; ++i)
        draw(points[i], points[i + 1]);
    if (closed && count > 2)
        draw(points[count - 1], points[0]);
}

void ShapeRaster::fillPolygon(QImage &image, const QPointF &origin, const QPointF *points, qsizetype count,
                              std::vector<Edge> &edges) const
{
    if (image.isNull() || count < 3)
        return;
    // The edges, each with the rows whose centres it spans (a corner is
    // counted once: rows from its upper end to before its lower end), in
    // the order they start.
    //
    // A pixel is filled when the edges crossing its row at or left of its
    // centre wind round it, so an edge wholly right of the image's last
    // centre changes no pixel: it is left out, and the last span of a row
    // runs on to the image's edge while the winding is not yet back to
    // nothing. (A narrow strip meets few of a shape's edges.)
    edges.clear();
    const int height = image.height();
    const int width = image.width();
    const double beyond = width + 0.5; // clear of the last centre, rounding and all
    for (qsizetype i = 0; i < count; ++i) {
        QPointF a = points[i] - origin;
        QPointF b = points[i + 1 < count ? i + 1 : 0] - origin;
        if (!isDrawable(a) || !isDrawable(b)) {
            edges.clear();
            return;
        }
        const int direction = b.y() > a.y() ? 1 : -1;
        if (direction < 0)
            std::swap(a, b);
        const int firstRow = std::max(0, ceilToInt(a.y() - 0.5));
        const int lastRow = std::min(height - 1, ceilToInt(b.y() - 0.5) - 1);
        if (firstRow > lastRow || (a.x() > beyond && b.x() > beyond))
            continue;
        const double step = (b.x() - a.x()) / (b.y() - a.y());
        edges.push_back({0, a.x(), a.y(), step, firstRow, lastRow, direction});
    }
    if (edges.empty())
        return;
    std::sort(edges.begin(), edges.end(), [](const Edge &a, const Edge &b) { return a.firstRow < b.firstRow; });

    auto *bits = reinterpret_cast<quint32 *>(image.bits());
    const qsizetype stride = image.bytesPerLine() / 4;
    // Active edges sit at the front of `edges`, sorted by x on each row.
    size_t active = 0, next = 0;
    for (int row = edges.front().firstRow; row < height && (active > 0 || next < edges.size()); ++row) {
        // Drop the edges that ended, take those that start.
        size_t kept = 0;
        for (size_t k = 0; k < active; ++k) {
            if (edges[k].lastRow >= row)
                edges[kept++] = edges[k];
        }
        active = kept;
        for (; next < edges.size() && edges[next].firstRow <= row; ++next) {
            if (edges[next].lastRow >= row) {
                std::swap(edges[active], edges[next]);
                ++active;
            }
        }
        if (active == 0) {
            if (next < edges.size())
                row = edges[next].firstRow - 1;
            continue;
        }
        // Where each crosses the row's centre, reckoned from its end rather
        // than from the row before, so that a pixel comes out the same
        // wherever the image cuts the polygon. Few edges are active at once:
        // an insertion sort by x.
        for (size_t k = 0; k < active; ++k)
            edges[k].x = edges[k].topX + (row + 0.5 - edges[k].topY) * edges[k].step;
        for (size_t k = 1; k < active; ++k) {
            for (size_t j = k; j > 0 && edges[j].x < edges[j - 1].x; --j)
                std::swap(edges[j], edges[j - 1]);
        }
        quint32 *line = bits + row * stride;
        int winding = 0;
        for (size_t k = 0; k < active; ++k) {
            winding += edges[k].direction;
            if (winding == 0)
                continue;
            // Pixels whose centres lie between this edge and the next (or
            // the image's edge, the edges beyond it left out).
            const int from = std::max(0, ceilToInt(edges[k].x - 0.5));
            const int to = k + 1 < active ? std::min(width - 1, ceilToInt(edges[k + 1].x - 0.5) - 1) : width - 1;
            if (from <= to)
                fillSpan(line + from, to - from + 1);
        }
    }
}
