#include "viewer/ImageStamp.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
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

void overRow(quint32 *into, const quint32 *from, int count)
{
    int i = 0;
#ifdef __SSE2__
    // Four pixels at a time: none covering and all opaque are common.
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
#endif
    for (; i < count; ++i) {
        const quint32 source = from[i];
        if (source >= 0xff000000)
            into[i] = source;
        else if (source >> 24)
            into[i] = source + byteMul(into[i], 255 - (source >> 24));
    }
}

} // namespace

void stampImage(QImage &into, QPoint position, const QImage &image)
{
    Q_ASSERT(into.format() == QImage::Format_ARGB32_Premultiplied
             && image.format() == QImage::Format_ARGB32_Premultiplied);
    const int left = std::max(0, position.x()), right = std::min(into.width(), position.x() + image.width());
    const int top = std::max(0, position.y()), bottom = std::min(into.height(), position.y() + image.height());
    if (left >= right || top >= bottom)
        return;
    const qsizetype intoStride = into.bytesPerLine() / 4, imageStride = image.bytesPerLine() / 4;
    auto *intoBits = reinterpret_cast<quint32 *>(into.bits());
    const auto *imageBits = reinterpret_cast<const quint32 *>(image.constBits());
    for (int y = top; y < bottom; ++y)
        overRow(intoBits + y * intoStride + left,
                imageBits + (y - position.y()) * imageStride + (left - position.x()), right - left);
}
