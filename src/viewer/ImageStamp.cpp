#include "viewer/ImageStamp.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace {

// Each channel of `x` times `a` ÷ 255, rounded as the painter does.
inline quint32 byteMul(quint32 x, quint32 a)
{
    quint32 t = (x & 0xff00ff) * a;
    t = ((t + ((t >> 8) & 0xff00ff) + 0x800080) >> 8) & 0xff00ff;
    x = ((x >> 8) & 0xff00ff) * a;
    x = (x + ((x >> 8) & 0xff00ff) + 0x800080) & 0xff00ff00;
    return x | t;
}

// Pixels `i` to `count` − 1 laid over, one at a time.
inline void overRest(quint32 *into, const quint32 *from, int i, int count)
{
    for (; i < count; ++i) {
        const quint32 source = from[i];
        if (source >= 0xff000000)
            into[i] = source;
        else if (source >> 24)
            into[i] = source + byteMul(into[i], 255 - (source >> 24));
    }
}

#ifdef __SSE2__
// Four pixels at a time from `i` on; answers where it stopped. None
// covering and all opaque are common.
inline int overFours(quint32 *into, const quint32 *from, int i, int count)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i alphaMask = _mm_set1_epi32(int(0xff000000));
    const __m128i colourMask = _mm_set1_epi32(0x00ff00ff);
    const __m128i half = _mm_set1_epi16(0x80);
    for (; i + 4 <= count; i += 4) {
        const __m128i source = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + i));
        const __m128i alpha = _mm_and_si128(source, alphaMask);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, zero)) == 0xffff)
            continue;
        auto *at = reinterpret_cast<__m128i *>(into + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(alpha, alphaMask)) == 0xffff) {
            _mm_storeu_si128(at, source);
            continue;
        }
        // 255 − alpha in both 16-bit halves of each pixel.
        __m128i inverse = _mm_srli_epi32(_mm_xor_si128(alpha, alphaMask), 24);
        inverse = _mm_or_si128(inverse, _mm_slli_epi32(inverse, 16));
        const __m128i d = _mm_loadu_si128(at);
        __m128i rb = _mm_mullo_epi16(_mm_and_si128(d, colourMask), inverse);
        __m128i ag = _mm_mullo_epi16(_mm_srli_epi16(d, 8), inverse);
        rb = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(rb, _mm_srli_epi16(rb, 8)), half), 8);
        ag = _mm_andnot_si128(colourMask, _mm_add_epi16(_mm_add_epi16(ag, _mm_srli_epi16(ag, 8)), half));
        _mm_storeu_si128(at, _mm_add_epi8(_mm_or_si128(rb, ag), source));
    }
    return i;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
#define VELORAN_STAMP_AVX2 1
// Eight pixels `source` laid over `into`, given 255 − each one's alpha in
// both 16-bit halves of each pixel (`inverse`): each channel of `into`
// times that ÷ 255, rounded, plus the source's.
__attribute__((target("avx2"))) inline void blendEight(quint32 *into, __m256i source, __m256i inverse)
{
    const __m256i colourMask = _mm256_set1_epi32(0x00ff00ff);
    const __m256i half = _mm256_set1_epi16(0x80);
    auto *at = reinterpret_cast<__m256i *>(into);
    const __m256i d = _mm256_loadu_si256(at);
    __m256i rb = _mm256_mullo_epi16(_mm256_and_si256(d, colourMask), inverse);
    __m256i ag = _mm256_mullo_epi16(_mm256_srli_epi16(d, 8), inverse);
    rb = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(rb, _mm256_srli_epi16(rb, 8)), half), 8);
    ag = _mm256_andnot_si256(colourMask, _mm256_add_epi16(_mm256_add_epi16(ag, _mm256_srli_epi16(ag, 8)), half));
    _mm256_storeu_si256(at, _mm256_add_epi8(_mm256_or_si256(rb, ag), source));
}

// Eight pixels `source` laid over `into`, the same arithmetic as four at a
// time. None covering and all opaque are common.
__attribute__((target("avx2"))) inline void overEight(quint32 *into, __m256i source)
{
    const __m256i alphaMask = _mm256_set1_epi32(int(0xff000000));
    const __m256i alpha = _mm256_and_si256(source, alphaMask);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, _mm256_setzero_si256())) == -1)
        return;
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(alpha, alphaMask)) == -1) {
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(into), source);
        return;
    }
    const __m256i inverse = _mm256_srli_epi32(_mm256_xor_si256(alpha, alphaMask), 24);
    blendEight(into, source, _mm256_or_si256(inverse, _mm256_slli_epi32(inverse, 16)));
}

// Eight pixels at a time on processors that have it; the rest four and
// then one at a time.
__attribute__((target("avx2"))) void overRowWide(quint32 *into, const quint32 *from, int count)
{
    int i = 0;
    for (; i + 8 <= count; i += 8)
        overEight(into + i, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + i)));
    overRest(into, from, overFours(into, from, i, count), count);
}

// overRowWide() for a row most of whose pixels are `common` (neither clear
// nor opaque): eight of them all `common` are laid with its weight worked
// out once, the same arithmetic.
__attribute__((target("avx2"))) void overRowMostlyWide(quint32 *into, const quint32 *from, int count, quint32 common)
{
    const __m256i same = _mm256_set1_epi32(int(common));
    const __m256i inverse = _mm256_set1_epi16(short(255 - (common >> 24)));
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i source = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(from + i));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(source, same)) != -1)
            overEight(into + i, source);
        else
            blendEight(into + i, same, inverse);
    }
    overRest(into, from, overFours(into, from, i, count), count);
}

// overRowWide() for a white image given by its alphas.
__attribute__((target("avx2"))) void overWhiteRowWide(quint32 *into, const uchar *alphas, int count)
{
    int i = 0;
    const __m256i spread = _mm256_set1_epi32(0x01010101);
    for (; i + 8 <= count; i += 8) {
        const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(alphas + i));
        overEight(into + i, _mm256_mullo_epi32(_mm256_cvtepu8_epi32(eight), spread));
    }
    for (; i < count; ++i) {
        const quint32 source = alphas[i] * 0x01010101u;
        overRest(into + i, &source, 0, 1);
    }
}

// x ÷ 255 in each 16-bit lane, rounded.
__attribute__((target("avx2"))) inline __m256i divided(__m256i x)
{
    x = _mm256_add_epi16(x, _mm256_set1_epi16(0x80));
    return _mm256_srli_epi16(_mm256_add_epi16(x, _mm256_srli_epi16(x, 8)), 8);
}

// layThrough() for one row, eight pixels at a time; answers where it
// stopped.
template <bool clear>
__attribute__((target("avx2"))) int layThroughWide(quint32 *into, const quint32 *under, quint16 *through, int count,
                                                    quint32 colour)
{
    const __m256i colourMask = _mm256_set1_epi32(0x00ff00ff);
    const __m256i colourRB = _mm256_set1_epi32(int(colour & 0x00ff00ff));
    const __m256i colourAG = _mm256_set1_epi32(int((colour >> 8) & 0x00ff00ff));
    const __m256i full = _mm256_set1_epi32(255);
    int i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i *>(through + i));
        auto *pixels = reinterpret_cast<__m256i *>(into + i);
        const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(under + i));
        if (_mm_test_all_ones(eight)) {
            if (under != into)
                _mm256_storeu_si256(pixels, d);
            continue;
        }
        if constexpr (clear)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(through + i), _mm_set1_epi16(-1));
        // The weights of what shows through and of the colour, 0 to 255, in
        // both halves of each pixel.
        __m256i inverse = _mm256_cvtepu16_epi32(eight);
        inverse = _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(inverse, full), _mm256_set1_epi32(32768)), 16);
        __m256i weight = _mm256_sub_epi32(full, inverse);
        weight = _mm256_or_si256(weight, _mm256_slli_epi32(weight, 16));
        const __m256i kept = _mm256_or_si256(inverse, _mm256_slli_epi32(inverse, 16));
        __m256i rb = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(d, colourMask), kept),
                                      _mm256_mullo_epi16(colourRB, weight));
        __m256i ag = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_and_si256(_mm256_srli_epi16(d, 8), colourMask), kept),
                                      _mm256_mullo_epi16(colourAG, weight));
        rb = divided(rb);
        ag = _mm256_slli_epi16(divided(ag), 8);
        _mm256_storeu_si256(pixels, _mm256_or_si256(rb, ag));
    }
    return i;
}

const bool hasAvx2 = __builtin_cpu_supports("avx2");
#endif

void overRow(quint32 *into, const quint32 *from, int count)
{
#ifdef VELORAN_STAMP_AVX2
    if (hasAvx2) {
        overRowWide(into, from, count);
        return;
    }
#endif
    int i = 0;
#ifdef __SSE2__
    i = overFours(into, from, i, count);
#endif
    overRest(into, from, i, count);
}

} // namespace

void stampImage(QImage &into, QPoint position, const QImage &image)
{
    Q_ASSERT(into.format() == QImage::Format_ARGB32_Premultiplied
             && image.format() == QImage::Format_ARGB32_Premultiplied);
    stampImage(reinterpret_cast<quint32 *>(into.bits()), into.bytesPerLine() / 4, into.size(), position,
               reinterpret_cast<const quint32 *>(image.constBits()), image.bytesPerLine() / 4, image.size());
}

void stampImage(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const quint32 *image,
                qsizetype imageStride, QSize imageSize)
{
    const int left = std::max(0, position.x()), right = std::min(intoSize.width(), position.x() + imageSize.width());
    const int top = std::max(0, position.y()), bottom = std::min(intoSize.height(), position.y() + imageSize.height());
    if (left >= right || top >= bottom)
        return;
    for (int y = top; y < bottom; ++y)
        overRow(into + y * intoStride + left, image + (y - position.y()) * imageStride + (left - position.x()),
                right - left);
}

void stampImage(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const quint32 *image,
                qsizetype imageStride, QSize imageSize, quint32 common)
{
#ifdef VELORAN_STAMP_AVX2
    const quint32 alpha = common >> 24;
    if (hasAvx2 && alpha > 0 && alpha < 255) {
        const int left = std::max(0, position.x());
        const int right = std::min(intoSize.width(), position.x() + imageSize.width());
        const int top = std::max(0, position.y());
        const int bottom = std::min(intoSize.height(), position.y() + imageSize.height());
        for (int y = top; left < right && y < bottom; ++y)
            overRowMostlyWide(into + y * intoStride + left,
                              image + (y - position.y()) * imageStride + (left - position.x()), right - left, common);
        return;
    }
#endif
    stampImage(into, intoStride, intoSize, position, image, imageStride, imageSize);
}

QImage whiteAsAlphas(const QImage &image)
{
    if (image.format() != QImage::Format_ARGB32_Premultiplied || image.isNull())
        return {};
    QImage alphas(image.size(), QImage::Format_Alpha8);
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        uchar *out = alphas.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const quint32 alpha = row[x] >> 24;
            if (row[x] != alpha * 0x01010101u)
                return {};
            out[x] = uchar(alpha);
        }
    }
    alphas.setDevicePixelRatio(image.devicePixelRatio());
    return alphas;
}

void stampWhite(quint32 *into, qsizetype intoStride, QSize intoSize, QPoint position, const uchar *alphas,
                qsizetype alphaStride, QSize imageSize)
{
    const int left = std::max(0, position.x()), right = std::min(intoSize.width(), position.x() + imageSize.width());
    const int top = std::max(0, position.y()), bottom = std::min(intoSize.height(), position.y() + imageSize.height());
    if (left >= right || top >= bottom)
        return;
    for (int y = top; y < bottom; ++y) {
        quint32 *row = into + y * intoStride + left;
        const uchar *from = alphas + (y - position.y()) * alphaStride + (left - position.x());
#ifdef VELORAN_STAMP_AVX2
        if (hasAvx2) {
            overWhiteRowWide(row, from, right - left);
            continue;
        }
#endif
        for (int x = 0; x < right - left; ++x) {
            const quint32 source = from[x] * 0x01010101u;
            overRest(row + x, &source, 0, 1);
        }
    }
}

namespace {

template <bool clear> void layThroughRow(quint32 *into, const quint32 *under, quint16 *through, int count, quint32 colour)
{
    int x = 0;
#ifdef VELORAN_STAMP_AVX2
    if (hasAvx2)
        x = layThroughWide<clear>(into, under, through, count, colour);
#endif
    // The rest the same way, one at a time.
    for (; x < count; ++x) {
        const quint32 pixel = under[x];
        if (through[x] == 65535) {
            into[x] = pixel;
            continue;
        }
        const quint32 weight = 255 - ((quint32(through[x]) * 255 + 32768) >> 16);
        if constexpr (clear)
            through[x] = 65535;
        quint32 result = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            quint32 channel = ((pixel >> shift) & 0xff) * (255 - weight) + ((colour >> shift) & 0xff) * weight;
            channel += 0x80;
            result |= (((channel + (channel >> 8)) >> 8) & 0xff) << shift;
        }
        into[x] = result;
    }
}

} // namespace

void layThroughAndClear(quint32 *into, const quint32 *under, quint16 *through, int count, quint32 colour)
{
    layThroughRow<true>(into, under, through, count, colour);
}

void layThrough(quint32 *into, qsizetype intoStride, QSize size, const quint16 *through, qsizetype throughStride,
                quint32 colour)
{
    for (int y = 0; y < size.height(); ++y) {
        quint32 *row = into + y * intoStride;
        // (Not cleared, so the values are only read.)
        layThroughRow<false>(row, row, const_cast<quint16 *>(through + y * throughStride), size.width(), colour);
    }
}
