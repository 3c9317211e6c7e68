#include "viewer/ShapeRaster.h"

#include <algorithm>
#include <cmath>
#include <optional>
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

// Four centres of steps, in 1/65536, as whole 1/256 in the low four dwords
// (the others picked by `pick`): the low dword of each shifted, which is
// the same shifted either way.
__attribute__((target("avx2"))) inline __m256i centresIn(__m256i centres, __m256i pick)
{
    return _mm256_permutevar8x32_epi32(_mm256_srli_epi64(centres, 8), pick);
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
    // The centres of sixteen steps, four at a time, and the low dwords of
    // four such picked into the lower half.
    const __m256i along = _mm256_setr_epi64x(0, slope, 2 * slope, 3 * slope);
    const __m256i fourOn = _mm256_set1_epi64x(4 * slope);
    const __m256i lowDwords = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    int done = 0;
    for (; done + 16 <= count; done += 16) {
        const int firstLow = int(centre >> 8) - halfWidth;
        const int lastLow = int((centre + 15 * slope) >> 8) - halfWidth;
        // Counted from the first row the sixteen reach, which keeps them
        // within 16 bits.
        const int first = std::min(firstLow, lastLow) >> 8;
        const int last = (std::max(firstLow, lastLow) + 2 * halfWidth - 1) >> 8;
        const __m256i c0 = _mm256_add_epi64(_mm256_set1_epi64x(centre), along);
        const __m256i c1 = _mm256_add_epi64(c0, fourOn), c2 = _mm256_add_epi64(c1, fourOn);
        const __m256i c3 = _mm256_add_epi64(c2, fourOn);
        centre += 16 * slope;
        const __m256i from = _mm256_set1_epi32(halfWidth + first * 256);
        const __m256i lows0 = _mm256_sub_epi32(_mm256_permute2x128_si256(centresIn(c0, lowDwords), centresIn(c1, lowDwords), 0x20), from);
        const __m256i lows1 = _mm256_sub_epi32(_mm256_permute2x128_si256(centresIn(c2, lowDwords), centresIn(c3, lowDwords), 0x20), from);
        const __m256i low = _mm256_permute4x64_epi64(_mm256_packs_epi32(lows0, lows1), 0xd8);
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

// How far from a corner its round join (or cap) reaches: half the line's
// width, and half a pixel for the edge.
double joinReach(double width)
{
    return width / 2 + 0.5;
}

// Whether the line from `a` through `b` to `c` is walked along the same
// axis the same way on both sides of `b`: the bands of its two lines then
// join whole (see drawJoin()).
bool goesOn(const QPointF &a, const QPointF &b, const QPointF &c)
{
    const QPointF in = b - a, out = c - b;
    const bool steepIn = std::abs(in.y()) > std::abs(in.x());
    const bool steepOut = std::abs(out.y()) > std::abs(out.x());
    if (steepIn != steepOut)
        return false;
    const double alongIn = steepIn ? in.y() : in.x(), alongOut = steepOut ? out.y() : out.x();
    return (alongIn > 0 && alongOut > 0) || (alongIn < 0 && alongOut < 0);
}

} // namespace

// The band of the line from `from` to `to`; none for a line of no length
// or width, or one out of reach.
std::optional<ShapeRaster::Band> ShapeRaster::bandOf(const QPointF &from, const QPointF &to, double width)
{
    if (!(width > 0) || !isDrawable(from) || !isDrawable(to))
        return std::nullopt;
    Band band{};
    band.steep = std::abs(to.y() - from.y()) > std::abs(to.x() - from.x());
    double a0 = band.steep ? from.y() : from.x(), b0 = band.steep ? from.x() : from.y();
    double a1 = band.steep ? to.y() : to.x(), b1 = band.steep ? to.x() : to.y();
    band.forward = a0 <= a1;
    if (!band.forward) {
        std::swap(a0, a1);
        std::swap(b0, b1);
    }
    if (!(a1 > a0))
        return std::nullopt;
    band.a0 = a0;
    band.b0 = b0;
    band.a1 = a1;
    band.b1 = b1;
    band.start = ceilToInt(a0 - 0.5);
    band.end = floorToInt(a1 - 0.5);
    band.slope = (b1 - b0) / (a1 - a0);
    band.half = std::min(width * std::sqrt(1 + band.slope * band.slope) / 2, 1024.0);
    // The centre moves in 1/65536 of a pixel, so that it does not drift
    // along a long line; the band's edges are taken in 1/256. It is counted
    // from the line's own first pixel, so that a pixel comes out the same
    // wherever the image cuts the line (a picture drawn in pieces shows no
    // seams).
    band.slopeFixed = roundToInt64(band.slope * 65536);
    band.centreAtStart = roundToInt64((b0 + band.slope * (band.start + 0.5 - a0)) * 65536);
    band.halfWidth = int(band.half * 256 + 0.5);
    return band;
}

// How much of the pixel at `major`, `minor` the band covers, in 1/256: what
// drawing the line gives it.
int ShapeRaster::bandPart(const Band &band, int major, int minor)
{
    if (major < band.start || major > band.end)
        return 0;
    const qint64 centre = band.centreAtStart + qint64(major - band.start) * band.slopeFixed;
    const int middle = int(centre >> 8);
    return std::max(0, std::min(middle + band.halfWidth, (minor + 1) << 8) - std::max(middle - band.halfWidth, minor << 8));
}

bool ShapeRaster::passesBy(const QSize &size, const QPointF &origin, const QPointF &from, const QPointF &to)
{
    // (Before the band is worked out: a line wholly before or past the
    // image along its longer axis draws nothing.)
    const QPointF along = to - from;
    const bool steep = std::abs(along.y()) > std::abs(along.x());
    const double shift = steep ? origin.y() : origin.x();
    const double a0 = (steep ? std::min(from.y(), to.y()) : std::min(from.x(), to.x())) - shift;
    const double a1 = (steep ? std::max(from.y(), to.y()) : std::max(from.x(), to.x())) - shift;
    return a1 < 0.5 || a0 - 0.5 > (steep ? size.height() : size.width()) - 1;
}

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
    for (int step = 0; step <= coverageSteps; ++step) {
        const quint32 through = (65535 * m_leaves[size_t(step)]) >> 16;
        const quint32 weight = 255 - ((through * 255 + 32768) >> 16);
        Laid &laid = m_laid[size_t(step)];
        laid.kept = 255 - weight;
        laid.redBlue = (pixel[255] & 0xff00ff) * weight + 0x800080;
        laid.alphaGreen = ((pixel[255] >> 8) & 0xff00ff) * weight + 0x800080;
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

inline void ShapeRaster::cover(Over *pixel, int step) const
{
    // Each channel weighed as layThrough() does: (kept × (255 − w) +
    // colour × w) ÷ 255, rounded, two channels at a time.
    const Laid &laid = m_laid[size_t(step)];
    const quint32 d = pixel->pixel;
    const auto divided = [](quint32 x) { return ((x + ((x >> 8) & 0xff00ff)) >> 8) & 0xff00ff; };
    const quint32 rb = divided((d & 0xff00ff) * laid.kept + laid.redBlue);
    const quint32 ag = divided(((d >> 8) & 0xff00ff) * laid.kept + laid.alphaGreen);
    pixel->pixel = rb | (ag << 8);
}

inline void ShapeRaster::coverOrKeep(Over *pixel, int step) const
{
    if (step > 0)
        cover(pixel, step);
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
                           double width, bool joinedAtFrom, bool joinedAtTo, const std::optional<Band> *known) const
{
    if (!known && passesBy(QSize(image.width, image.height), origin, from, to))
        return;
    const std::optional<Band> worked = known ? std::nullopt : bandOf(from - origin, to - origin, width);
    const std::optional<Band> &segment = known ? *known : worked;
    if (!segment)
        return;
    const bool steep = segment->steep;
    const double a0 = segment->a0, b0 = segment->b0, b1 = segment->b1;
    const double slope = segment->slope, half = segment->half;
    const int majorCount = steep ? image.height : image.width;
    const int minorCount = steep ? image.width : image.height;
    // The first pixel centre along the line, before the image cuts it.
    const int start = segment->start;
    int first = std::max(0, start);
    int last = std::min(majorCount - 1, segment->end);
    if (first > last)
        return;
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
    const qint64 slopeFixed = segment->slopeFixed;
    qint64 centre = segment->centreAtStart + qint64(first - start) * slopeFixed;
    const int halfWidth = segment->halfWidth;
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
    // Near an end whose round join (or cap) is drawn, the pixels within
    // its reach are the join's: the steps there are taken one at a time,
    // leaving those pixels alone.
    if (joinedAtFrom || joinedAtTo) {
        const double reach = joinReach(width);
        const bool lowJoined = segment->forward ? joinedAtFrom : joinedAtTo;
        const bool highJoined = segment->forward ? joinedAtTo : joinedAtFrom;
        const QPointF &lowEnd = segment->forward ? from : to;
        const QPointF &highEnd = segment->forward ? to : from;
        const auto joins = [&](int a, int cell) {
            // (In the whole picture's coordinates, as drawJoin() reckons.)
            const double x = origin.x() + (steep ? cell : a) + 0.5, y = origin.y() + (steep ? a : cell) + 0.5;
            const auto near = [&](const QPointF &end) {
                const double dx = x - end.x(), dy = y - end.y();
                return dx * dx + dy * dy < reach * reach;
            };
            return (lowJoined && near(lowEnd)) || (highJoined && near(highEnd));
        };
        const auto stepAround = [&](int a) {
            const int middle = int((segment->centreAtStart + qint64(a - start) * slopeFixed) >> 8);
            const int low = std::max(middle - halfWidth, 0);
            const int high = std::min(middle + halfWidth, minorEnd);
            Pixel *line = bits + a * majorStep;
            for (int cell = low >> 8; (cell << 8) < high; ++cell) {
                if (!joins(a, cell))
                    coverPart(line + cell * minorStep, std::min(high, (cell + 1) << 8) - std::max(low, cell << 8));
            }
        };
        // The steps within the reach of such an end (a hair more).
        const int below = lowJoined ? std::min(last + 1, ceilToInt(segment->a0 + reach - 0.5 + 1e-6)) : first;
        const int above = highJoined ? std::max(below - 1, floorToInt(segment->a1 - reach - 0.5 - 1e-6)) : last;
        for (int a = first; a < below; ++a)
            stepAround(a);
        for (int a = std::max({above + 1, below, first}); a <= last; ++a)
            stepAround(a);
        first = std::max(first, below);
        last = std::min(last, above);
        if (first > last)
            return;
        centre = segment->centreAtStart + qint64(first - start) * slopeFixed;
    }
    if (halfWidth > 384) {
        for (int a = first; a <= last; ++a, centre += slopeFixed)
            cutStep(a, centre);
        return;
    }
    // The steps whose band lies inside the image, with the cells it may
    // reach from its first inside too, a run of them (the centre moves one
    // way), take those cells a step, without a branch: a thin band (two
    // pixels at most; three for a slanted one) from `low`, `into` its first
    // cell, covers that cell up to its end, the next up to the band's end
    // or its own end, and so on; cells it misses are left as they are (the
    // same pixels as the cut band gives where both could be used).
    const int band = 2 * halfWidth;
    const bool fourCells = halfWidth > 256;
    const int reached = fourCells ? 4 : 3;
    // (Into the slack, for a line along the rows.)
    const int slack = steep ? 0 : image.slack * 256;
    const qint64 lowest = qint64(halfWidth - slack) * 256;                                         // centre from here
    const qint64 highest = qint64(minorEnd + slack - (reached - 1) * 256 + halfWidth) * 256 - 1; // up to here
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
                    cover(pixel + 2 * minorStep, coverageStep(std::min(band - 512 + into, 256)));
            } else {
                coverOrKeep(pixel + 2 * minorStep, coverageStep(std::clamp(band - 512 + into, 0, 256)));
            }
            if (fourCells && band - 768 + into > 1)
                cover(pixel + 3 * minorStep, coverageStep(band - 768 + into));
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

inline ShapeRaster::Band ShapeRaster::shifted(Band band, QPoint by)
{
    // (Whole pixels: the centre moves by whole 1/65536, and the line's
    // pixels come out the same.)
    const int major = band.steep ? by.y() : by.x(), minor = band.steep ? by.x() : by.y();
    band.a0 -= major;
    band.a1 -= major;
    band.b0 -= minor;
    band.b1 -= minor;
    band.start -= major;
    band.end -= major;
    band.centreAtStart -= qint64(minor) << 16;
    return band;
}

ShapeRaster::Leader ShapeRaster::leader(const std::array<QPointF, 3> &points, double width) const
{
    Leader line;
    line.m_points = points;
    line.m_width = width;
    for (size_t i = 0; i < 2; ++i)
        line.m_bands[i] = bandOf(points[i], points[i + 1], width);
    // Both ends capped; the corner joined round unless the line goes on
    // along the same axis the same way there.
    line.m_joined = {true, !goesOn(points[0], points[1], points[2]), true};
    return line;
}

void ShapeRaster::drawLeaderThrough(quint16 *through, qsizetype stride, QSize size, QPoint origin,
                                    const Leader &line, int slack) const
{
    if (through && !size.isEmpty())
        drawLeader(Target<quint16>{through, stride, size.width(), size.height(), std::max(0, slack)}, origin, line);
}

void ShapeRaster::drawLeaderOver(quint32 *pixels, qsizetype stride, QSize size, QPoint origin,
                                 const Leader &line) const
{
    if (pixels && !size.isEmpty())
        drawLeader(Target<Over>{reinterpret_cast<Over *>(pixels), stride, size.width(), size.height()}, origin, line);
}

template <typename Pixel>
void ShapeRaster::drawLeader(const Target<Pixel> &target, QPoint at, const Leader &line) const
{
    // What drawPolyline() does for an open line of three points, with the
    // bands and joins worked out already.
    const QPointF origin(at);
    const std::array<QPointF, 3> &points = line.m_points;
    const double width = line.m_width;
    const double top = origin.y() - width, bottom = origin.y() + target.height + width;
    const double left = origin.x() - width, right = origin.x() + target.width + width;
    // The bands placed in the image, as they are asked for (a piece meets
    // few of a line's parts).
    std::array<std::optional<Band>, 2> bands;
    std::array<bool, 2> placed{};
    const auto bandOfLine = [&](size_t i) -> const std::optional<Band> & {
        if (!placed[i] && line.m_bands[i])
            bands[i] = shifted(*line.m_bands[i], at);
        placed[i] = true;
        return bands[i];
    };
    for (size_t i = 0; i < 2; ++i) {
        const QPointF &a = points[i], &b = points[i + 1];
        if (!line.m_bands[i] || (a.y() < top && b.y() < top) || (a.y() > bottom && b.y() > bottom)
            || (a.x() < left && b.x() < left) || (a.x() > right && b.x() > right))
            continue;
        drawLine(target, origin, a, b, width, line.m_joined[i], line.m_joined[i + 1], &bandOfLine(i));
    }
    const double reach = joinReach(width) + 1;
    for (qsizetype i = 0; i < 3; ++i) {
        const QPointF &corner = points[size_t(i)];
        if (!line.m_joined[size_t(i)] || corner.y() < origin.y() - reach
            || corner.y() > origin.y() + target.height + reach || corner.x() < origin.x() - reach
            || corner.x() > origin.x() + target.width + reach)
            continue;
        static const std::optional<Band> none;
        const qsizetype from = i - 1, to = i < 2 ? i + 1 : -1;
        drawJoin(target, origin, {&corner, i, true},
                 {from < 0 ? nullptr : &points[size_t(from)], from, from >= 0 && line.m_joined[size_t(from)]},
                 {to < 0 ? nullptr : &points[size_t(to)], to, to >= 0 && line.m_joined[size_t(to)]},
                 from < 0 ? none : bandOfLine(size_t(from)), to < 0 ? none : bandOfLine(size_t(i)), width);
    }
}

template <typename Pixel>
void ShapeRaster::drawPolyline(const Target<Pixel> &target, const QPointF &origin, const QPointF *points,
                               qsizetype count, double width, bool closed) const
{
    // Which corners are joined round (or capped, at the ends of an open
    // line): all but those where the line goes on along the same axis the
    // same way, whose lines join whole as they are. (Asked only of the
    // corners within reach: a strip of a few rows or columns meets few of
    // a shape's.)
    const bool loop = closed && count > 2;
    const auto before = [&](qsizetype i) { return i > 0 ? i - 1 : loop ? count - 1 : -1; };
    const auto after = [&](qsizetype i) { return i + 1 < count ? i + 1 : loop ? 0 : -1; };
    thread_local std::vector<signed char> known;
    known.assign(size_t(std::max<qsizetype>(count, 0)), -1);
    const auto joined = [&](qsizetype i) {
        signed char &flag = known[size_t(i)];
        if (flag < 0) {
            const qsizetype from = before(i), to = after(i);
            flag = count > 1 && (from < 0 || to < 0 || !goesOn(points[from], points[i], points[to]));
        }
        return flag != 0;
    };
    // The band of the line from each corner to the next, worked out once
    // for the line and the joins at its ends.
    thread_local std::vector<std::optional<Band>> bands;
    thread_local std::vector<char> banded;
    bands.resize(size_t(std::max<qsizetype>(count, 0)));
    banded.assign(size_t(std::max<qsizetype>(count, 0)), 0);
    const auto bandFrom = [&](qsizetype i) -> const std::optional<Band> & {
        if (!banded[size_t(i)]) {
            bands[size_t(i)] = bandOf(points[i] - origin, points[after(i)] - origin, width);
            banded[size_t(i)] = 1;
        }
        return bands[size_t(i)];
    };

    // Segments wholly above, below or beside the image are passed over at
    // once (a strip of a few rows or columns meets few of a shape's).
    const double top = origin.y() - width, bottom = origin.y() + target.height + width;
    const double left = origin.x() - width, right = origin.x() + target.width + width;
    const auto draw = [&](qsizetype from, qsizetype to) {
        const QPointF &a = points[from], &b = points[to];
        if ((a.y() < top && b.y() < top) || (a.y() > bottom && b.y() > bottom) || (a.x() < left && b.x() < left)
            || (a.x() > right && b.x() > right))
            return;
        // (A line between corners that are not joined works out its own
        // band.)
        const bool joinedAtFrom = joined(from), joinedAtTo = joined(to);
        if (!joinedAtFrom && !joinedAtTo)
            drawLine(target, origin, a, b, width);
        else if (!passesBy(QSize(target.width, target.height), origin, a, b))
            drawLine(target, origin, a, b, width, joinedAtFrom, joinedAtTo, &bandFrom(from));
    };
    for (qsizetype i = 0; i + 1 < count; ++i)
        draw(i, i + 1);
    if (loop)
        draw(count - 1, 0);

    // Then the joins within reach.
    const double reach = joinReach(width) + 1;
    for (qsizetype i = 0; i < count; ++i) {
        const QPointF &corner = points[i];
        if (corner.y() < origin.y() - reach || corner.y() > origin.y() + target.height + reach
            || corner.x() < origin.x() - reach || corner.x() > origin.x() + target.width + reach || !joined(i))
            continue;
        const qsizetype from = before(i), to = after(i);
        static const std::optional<Band> none;
        drawJoin(target, origin, {&corner, i, true}, {from < 0 ? nullptr : &points[from], from, from >= 0 && joined(from)},
                 {to < 0 ? nullptr : &points[to], to, to >= 0 && joined(to)}, from < 0 ? none : bandFrom(from),
                 to < 0 ? none : bandFrom(i), width);
    }
}

template <typename Pixel>
void ShapeRaster::drawJoin(const Target<Pixel> &target, const QPointF &origin, const Corner &corner,
                           const Corner &before, const Corner &after, const std::optional<Band> &in,
                           const std::optional<Band> &out, double width) const
{
    const QPointF &place = *corner.point;
    const QPointF at = place - origin;
    if (!(width > 0) || !isDrawable(at))
        return;

    // The pixels within reach of the corner, which the lines on either
    // side leave to it (but those nearer a joined corner next to it, which
    // are that one's), get the most of what the lines cover of them and
    // what a disc of the line's width round the corner does: covered once,
    // whatever overlaps. The distance is reckoned in the whole picture's
    // coordinates, so that a pixel comes out the same in whatever piece it
    // is drawn.
    const double half = width / 2;
    const double reach = joinReach(width);
    // The pixels whose centres may lie within reach (a pixel to spare).
    const int left = std::max(0, floorToInt(at.x() - reach - 0.5));
    const int right = std::min(target.width - 1, ceilToInt(at.x() + reach - 0.5));
    const int top = std::max(0, floorToInt(at.y() - reach - 0.5));
    const int bottom = std::min(target.height - 1, ceilToInt(at.y() + reach - 0.5));
    const auto lineStep = [](const std::optional<Band> &band, int x, int y) {
        return band ? coverageStep(band->steep ? bandPart(*band, y, x) : bandPart(*band, x, y)) : 0;
    };
    const auto squaredTo = [](const QPointF &point, double x, double y) {
        const double dx = x - point.x(), dy = y - point.y();
        return dx * dx + dy * dy;
    };
    // (A joined corner next to this one can be the nearer only to pixels
    // within reach of both.)
    const auto mayShare = [&](const Corner &other) {
        return other.joined && squaredTo(*other.point, place.x(), place.y()) < 4 * reach * reach;
    };
    const bool shareBefore = mayShare(before), shareAfter = mayShare(after);
    const auto theirs = [&](bool share, const Corner &other, double x, double y, double squared) {
        if (!share)
            return false;
        const double otherSquared = squaredTo(*other.point, x, y);
        return otherSquared < squared || (otherSquared == squared && other.index < corner.index);
    };
    const double within = reach * reach;
    for (int y = top; y <= bottom; ++y) {
        const double centreY = origin.y() + y + 0.5;
        const double dy = centreY - place.y();
        if (dy * dy >= within)
            continue;
        Pixel *row = target.bits + y * target.stride;
        for (int x = left; x <= right; ++x) {
            const double centreX = origin.x() + x + 0.5;
            const double dx = centreX - place.x();
            const double squared = dx * dx + dy * dy;
            if (squared >= within || theirs(shareBefore, before, centreX, centreY, squared)
                || theirs(shareAfter, after, centreX, centreY, squared))
                continue;
            const double distance = std::sqrt(squared);
            // Of the pixel's breadth towards the corner, the part within
            // the disc, as a line's band covers a pixel across it.
            const int part = int((std::min(distance + 0.5, half) - std::max(distance - 0.5, -half)) * 256 + 0.5);
            int step = coverageStep(std::max(part, 0));
            // (The lines cover no more than all of it.)
            if (step < coverageSteps)
                step = std::max({step, lineStep(in, x, y), lineStep(out, x, y)});
            if (step > 0)
                cover(row + x, step);
        }
    }
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
