#include "platform/LocalizedText.h"

#include <QChar>
#include <QList>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {

// Kinds of characters, in the order in which they sort.
enum Kind : quint8 { Ignorable, Space, Punctuation, Symbol, Digit, Letter };

// What comparing and searching see of one character: its case-folded base
// letter and the diacritics that were taken off it.
struct Folded {
    char32_t base = 0; // 0 for ignorable characters
    Kind kind = Ignorable;
    std::array<char16_t, 2> marks{}; // diacritics, 0 where there is none

    // What the first comparison pass orders by: the kind, then the base.
    quint32 weight() const { return (quint32(kind) << 21) | quint32(base); }
};

// Combining diacritical marks: what "ignoring diacritics" removes. Other
// combining characters (vowel signs of Indic scripts and the like) carry
// meaning and stay.
bool isDiacritic(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF)
        || (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F);
}

void addMark(std::array<char16_t, 2> &marks, char32_t mark)
{
    if (marks[0] == 0)
        marks[0] = char16_t(mark);
    else if (marks[1] == 0)
        marks[1] = char16_t(mark);
}

Kind kindOf(char32_t c)
{
    if (isWhitespaceOrNewline(c))
        return Space;
    switch (QChar::category(c)) {
    case QChar::Other_Format:
        return Ignorable;
    case QChar::Other_Control:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return Space;
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
        return Punctuation;
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
    case QChar::Other_Surrogate:
        return Symbol;
    case QChar::Number_DecimalDigit:
        return Digit;
    default:
        return Letter;
    }
}

Folded computeFolded(char32_t c)
{
    if (isDiacritic(c)) {
        Folded mark;
        mark.marks[0] = char16_t(c);
        return mark;
    }
    Folded f;
    f.kind = kindOf(c);
    if (f.kind == Ignorable)
        return f;

    // Take canonical decompositions apart as long as what follows the base
    // is only diacritics ("ǖ" is "ü" and a macron, "ü" is "u" and a
    // diaeresis). Hangul syllables and the like keep their form.
    char32_t base = c;
    std::array<char16_t, 4> marks{};
    int markCount = 0;
    for (int depth = 0; depth < 4 && QChar::decompositionTag(base) == QChar::Canonical; ++depth) {
        const QList<uint> parts = QChar::decomposition(base).toUcs4();
        if (parts.isEmpty())
            break;
        bool onlyDiacritics = true;
        for (qsizetype i = 1; i < parts.size(); ++i)
            onlyDiacritics = onlyDiacritics && isDiacritic(parts[i]);
        if (!onlyDiacritics || markCount + parts.size() - 1 > qsizetype(marks.size()))
            break;
        // Inner decompositions come first: their marks precede the outer ones.
        std::array<char16_t, 4> merged{};
        int n = 0;
        for (qsizetype i = 1; i < parts.size(); ++i)
            merged[n++] = char16_t(parts[i]);
        for (int i = 0; i < markCount; ++i)
            merged[n++] = marks[i];
        marks = merged;
        markCount = n;
        base = parts[0];
    }
    f.base = QChar::toCaseFolded(base);
    f.kind = kindOf(f.base);
    if (f.kind == Ignorable)
        f.kind = Letter;
    for (int i = 0; i < markCount; ++i)
        addMark(f.marks, marks[i]);
    return f;
}

// Folded forms of the Basic Multilingual Plane, built a block of 256
// characters at a time when first needed.
struct FoldedBlock {
    std::array<Folded, 256> entries;
};

std::atomic<FoldedBlock *> foldedBlocks[256];

const FoldedBlock *buildBlock(unsigned index)
{
    auto block = std::make_unique<FoldedBlock>();
    for (unsigned i = 0; i < 256; ++i) {
        const char32_t c = (index << 8) | i;
        block->entries[i] = QChar::isSurrogate(c) ? Folded{c, Symbol, {}} : computeFolded(c);
    }
    FoldedBlock *expected = nullptr;
    if (foldedBlocks[index].compare_exchange_strong(expected, block.get(), std::memory_order_acq_rel))
        return block.release(); // kept for the life of the process
    return expected; // another thread was first
}

inline const Folded &foldedBmp(char16_t c)
{
    const FoldedBlock *block = foldedBlocks[c >> 8].load(std::memory_order_acquire);
    if (!block)
        block = buildBlock(c >> 8);
    return block->entries[c & 0xFF];
}

// A character that starts with a high surrogate: a pair, or a lone one.
Q_NEVER_INLINE Folded foldedPair(QStringView s, qsizetype i, qsizetype &length)
{
    const char16_t c = s[i].unicode();
    if (i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
        length = 2;
        return computeFolded(QChar::surrogateToUcs4(c, s[i + 1].unicode()));
    }
    length = 1;
    return foldedBmp(c);
}

// The folded form of the character at `i`; `length` is its number of
// UTF-16 units.
inline Folded foldedAt(QStringView s, qsizetype i, qsizetype &length)
{
    const char16_t c = s[i].unicode();
    if (Q_UNLIKELY(QChar::isHighSurrogate(c)))
        return foldedPair(s, i, length);
    length = 1;
    return foldedBmp(c);
}

// The first-pass weights of ASCII characters (digits get the weight of a
// digit run).
constexpr quint32 digitRunWeight = quint32(Digit) << 21;
const std::array<quint32, 128> asciiWeights = [] {
    std::array<quint32, 128> table{};
    for (char16_t c = 0; c < 128; ++c) {
        const Folded f = computeFolded(c);
        table[c] = f.kind == Digit ? digitRunWeight : f.weight();
    }
    return table;
}();

inline bool isAsciiDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

inline char16_t asciiFolded(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
}

#ifdef __SSE2__
// Eight UTF-16 units at a time.

inline bool isAllAscii(__m128i units)
{
    const __m128i high = _mm_and_si128(units, _mm_set1_epi16(short(0xFF80)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) == 0xFFFF;
}

// asciiFolded of each unit, for units that are all ASCII.
inline __m128i asciiFolded(__m128i units)
{
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(units, _mm_set1_epi16(u'A' - 1)),
                                        _mm_cmplt_epi16(units, _mm_set1_epi16(u'Z' + 1)));
    return _mm_add_epi16(units, _mm_and_si128(upper, _mm_set1_epi16(0x20)));
}
#endif

// The value of the decimal digit at `p`, or -1 when it is none; `length`
// is the number of UTF-16 units it takes.
inline int digitAt(const char16_t *p, const char16_t *end, qsizetype &length)
{
    if (isAsciiDigit(*p)) {
        length = 1;
        return *p - u'0';
    }
    const Folded f = foldedAt(QStringView(p, end), 0, length);
    if (f.kind != Digit)
        return -1;
    return QChar::digitValue(length == 2 ? QChar::surrogateToUcs4(p[0], p[1]) : char32_t(p[0]));
}

// Compares the runs of digits that start at `a` and `b` by numeric value,
// of any length, and moves both past their runs.
int compareDigitRuns(const char16_t *&a, const char16_t *aEnd, const char16_t *&b, const char16_t *bEnd)
{
    qsizetype la = 1;
    qsizetype lb = 1;
    // Leading zeros do not count.
    while (a < aEnd && digitAt(a, aEnd, la) == 0)
        a += la;
    while (b < bEnd && digitAt(b, bEnd, lb) == 0)
        b += lb;
    // More significant digits make the bigger number; for as many, the
    // first differing digit decides.
    int firstDifference = 0;
    for (;;) {
        const int da = a < aEnd ? digitAt(a, aEnd, la) : -1;
        const int db = b < bEnd ? digitAt(b, bEnd, lb) : -1;
        if (da < 0 || db < 0) {
            if (da >= 0 || db >= 0) {
                // One run is longer: it is the bigger number; finish both runs.
                const int result = da >= 0 ? 1 : -1;
                while (a < aEnd && digitAt(a, aEnd, la) >= 0)
                    a += la;
                while (b < bEnd && digitAt(b, bEnd, lb) >= 0)
                    b += lb;
                return result;
            }
            return firstDifference;
        }
        if (firstDifference == 0 && da != db)
            firstDifference = da < db ? -1 : 1;
        a += la;
        b += lb;
    }
}

// Moves `p` past ignorable characters.
inline void skipIgnorables(const char16_t *&p, const char16_t *end)
{
    qsizetype length = 1;
    while (p < end && *p >= 0x80 && foldedAt(QStringView(p, end), 0, length).kind == Ignorable)
        p += length;
}

// The first pass: base letters and numbers only, case and diacritics
// ignored. `plainAscii` tells whether both texts were read as plain ASCII
// all through, which leaves nothing for the second pass to find.
int comparePrimary(QStringView textA, QStringView textB, bool &plainAscii)
{
    plainAscii = true;
    const char16_t *a = textA.utf16();
    const char16_t *b = textB.utf16();
    const char16_t *const aEnd = a + textA.size();
    const char16_t *const bEnd = b + textB.size();
#ifdef __SSE2__
    // Step over an identical beginning eight units at a time (texts that
    // sort next to each other often share one), then back to the start of
    // a number it ends in, so that the number is compared whole.
    const char16_t *const aStart = a;
    while (aEnd - a >= 8 && bEnd - b >= 8) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(va, vb)) != 0xFFFF)
            break;
        a += 8;
        b += 8;
    }
    while (a > aStart && (isAsciiDigit(a[-1]) || a[-1] >= 0x80)) {
        --a;
        --b;
    }
#endif
    for (;;) {
        if (a < aEnd && b < bEnd && *a < 0x80 && *b < 0x80) {
            const quint32 wa = asciiWeights[*a];
            const quint32 wb = asciiWeights[*b];
            if (wa != wb)
                return wa < wb ? -1 : 1;
            if (wa != digitRunWeight) {
                ++a;
                ++b;
                continue;
            }
            if (const int c = compareDigitRuns(a, aEnd, b, bEnd))
                return c;
            continue;
        }
        plainAscii = plainAscii && (a == aEnd || *a < 0x80) && (b == bEnd || *b < 0x80);
        skipIgnorables(a, aEnd);
        skipIgnorables(b, bEnd);
        if (a == aEnd || b == bEnd)
            return a != aEnd ? 1 : (b != bEnd ? -1 : 0);
        qsizetype la = 1;
        qsizetype lb = 1;
        const Folded fa = foldedAt(QStringView(a, aEnd), 0, la);
        const Folded fb = foldedAt(QStringView(b, bEnd), 0, lb);
        if (fa.kind == Digit && fb.kind == Digit) {
            if (const int c = compareDigitRuns(a, aEnd, b, bEnd))
                return c;
            continue;
        }
        if (fa.weight() != fb.weight())
            return fa.weight() < fb.weight() ? -1 : 1;
        a += la;
        b += lb;
    }
}

// Reads the diacritics of the next character (or number) at `p`, and
// moves past it and the separate diacritics that follow it. False at the
// end of the text.
bool nextDiacritics(const char16_t *&p, const char16_t *end, quint32 &marks)
{
    qsizetype length = 1;
    std::array<char16_t, 2> found{};
    for (;;) {
        if (p == end)
            return false;
        if (*p < 0x80 && !isAsciiDigit(*p)) {
            ++p;
            break;
        }
        const Folded f = foldedAt(QStringView(p, end), 0, length);
        if (f.kind == Ignorable) {
            p += length; // nothing before it to belong to
            continue;
        }
        if (f.kind == Digit) {
            // A whole number counts as one character without diacritics.
            while (p < end && digitAt(p, end, length) >= 0)
                p += length;
        } else {
            found = f.marks;
            p += length;
        }
        break;
    }
    while (p < end && *p >= 0x80) {
        const Folded g = foldedAt(QStringView(p, end), 0, length);
        if (g.kind != Ignorable)
            break;
        if (g.marks[0] != 0)
            addMark(found, g.marks[0]);
        p += length;
    }
    marks = (quint32(found[0]) << 16) | found[1];
    return true;
}

// The second pass, for texts whose first pass ties: the first character
// whose diacritics differ decides; a character without any goes first.
int compareDiacritics(QStringView textA, QStringView textB)
{
    const char16_t *a = textA.utf16();
    const char16_t *b = textB.utf16();
    const char16_t *const aEnd = a + textA.size();
    const char16_t *const bEnd = b + textB.size();
    quint32 ma = 0;
    quint32 mb = 0;
    while (nextDiacritics(a, aEnd, ma) && nextDiacritics(b, bEnd, mb)) {
        if (ma != mb)
            return ma < mb ? -1 : 1;
    }
    return 0;
}

// Writes the UTF-16 units of a folded character (none when it is
// ignorable) and returns their number.
inline qsizetype unitsOf(const Folded &f, char16_t *out)
{
    if (f.kind == Ignorable)
        return 0;
    if (f.base > 0xFFFF) {
        out[0] = QChar::highSurrogate(f.base);
        out[1] = QChar::lowSurrogate(f.base);
        return 2;
    }
    out[0] = char16_t(f.base);
    return 1;
}

// Writes the folded form of `text` to `out`, which has room for twice its
// length, and returns the end of what was written.
char16_t *foldInto(QStringView text, char16_t *out)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    qsizetype length = 1;
    while (p < end) {
#ifdef __SSE2__
        for (; end - p >= 8; p += 8, out += 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            if (!isAllAscii(units))
                break;
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), asciiFolded(units));
        }
#endif
        for (; p < end && *p < 0x80; ++p)
            *out++ = asciiFolded(*p);
        if (p == end)
            break;
        const Folded f = foldedAt(QStringView(p, end), 0, length);
        p += length;
        out += unitsOf(f, out);
    }
    return out;
}

// Whether the folded `needle` starts at `p` in the unfolded text that ends
// at `end`. `p` is at a character that is not ignorable.
bool matchesAt(const char16_t *p, const char16_t *end, QStringView needle)
{
    const char16_t *n = needle.utf16();
    const char16_t *const nEnd = n + needle.size();
    qsizetype length = 1;
    while (n < nEnd) {
        if (p == end)
            return false;
        if (*p < 0x80) {
            if (asciiFolded(*p) != *n)
                return false;
            ++p;
            ++n;
            continue;
        }
        const Folded f = foldedAt(QStringView(p, end), 0, length);
        p += length;
        char16_t units[2];
        const qsizetype count = unitsOf(f, units);
        if (nEnd - n < count || !std::equal(units, units + count, n))
            return false;
        n += count;
    }
    return true;
}

// Whether the folded `needle` occurs in the unfolded `haystack`: the same
// as searching the folded haystack, without writing it anywhere.
bool containsFolding(QStringView haystack, QStringView needle)
{
    if (needle.isEmpty())
        return false;
    const char16_t *p = haystack.utf16();
    const char16_t *const end = p + haystack.size();
    const char16_t first = needle.front().unicode();
    // What a character must fold to, to start a match. An ASCII character
    // only ever folds to ASCII.
    const char32_t firstCodePoint = QChar::isHighSurrogate(first) && needle.size() > 1
        ? QChar::surrogateToUcs4(first, needle[1].unicode())
        : char32_t(first);
    const bool firstIsAscii = first < 0x80;
    qsizetype length = 1;
    while (p < end) {
#ifdef __SSE2__
        // Blocks of eight ASCII characters: lower-case them and look for the
        // first character of the needle in one go.
        const __m128i wanted = _mm_set1_epi16(short(first));
        for (; end - p >= 8; p += 8) {
            const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            if (!isAllAscii(units))
                break;
            if (!firstIsAscii)
                continue;
            unsigned mask = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi16(asciiFolded(units), wanted)));
            while (mask != 0) {
                const int index = __builtin_ctz(mask) / 2;
                if (matchesAt(p + index, end, needle))
                    return true;
                mask &= ~(3u << (index * 2));
            }
        }
#endif
        // Then character by character, up to eight of them.
        const char16_t *const stop = std::min(end, p + 8);
        while (p < stop) {
            const char16_t c = *p;
            if (c < 0x80) {
                if (asciiFolded(c) == first && matchesAt(p, end, needle))
                    return true;
                ++p;
                continue;
            }
            const Folded f = foldedAt(QStringView(p, end), 0, length);
            if (f.kind != Ignorable && f.base == firstCodePoint && matchesAt(p, end, needle))
                return true;
            p += length;
        }
    }
    return false;
}

} // namespace

std::weak_ordering localizedStandardCompare(QStringView a, QStringView b)
{
    bool plainAscii = true;
    int c = comparePrimary(a, b, plainAscii);
    if (c == 0 && !plainAscii && a != b)
        c = compareDiacritics(a, b);
    if (c < 0)
        return std::weak_ordering::less;
    return c > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

QString foldedForSearch(QStringView text)
{
    QString result;
    appendFoldedForSearch(result, text);
    return result;
}

void appendFoldedForSearch(QString &out, QStringView text)
{
    // A character folds to at most two.
    const qsizetype size = out.size();
    out.resize(size + text.size() * 2);
    char16_t *begin = reinterpret_cast<char16_t *>(out.data());
    out.truncate(foldInto(text, begin + size) - begin);
}

LocalizedSearchNeedle::LocalizedSearchNeedle(QStringView needle) : m_folded(foldedForSearch(needle)) {}

bool LocalizedSearchNeedle::isFoundIn(QStringView haystack) const
{
    return containsFolding(haystack, m_folded);
}

bool LocalizedSearchNeedle::isFoundInJoined(std::span<const QStringView> parts) const
{
    if (m_folded.isEmpty() || parts.empty())
        return false;
    qsizetype total = qsizetype(parts.size()) - 1;
    for (QStringView part : parts)
        total += part.size();
    // Joined in a buffer per thread, reused, so that testing many texts
    // allocates nothing once it has grown.
    thread_local QVarLengthArray<char16_t, 1024> buffer;
    buffer.resize(total);
    char16_t *end = buffer.data();
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            *end++ = u' ';
        end = std::copy(parts[i].utf16(), parts[i].utf16() + parts[i].size(), end);
    }
    return containsFolding(QStringView(buffer.constData(), end), m_folded);
}

bool localizedStandardContains(QStringView haystack, QStringView needle)
{
    return LocalizedSearchNeedle(needle).isFoundIn(haystack);
}

bool isWhitespaceOrNewline(char32_t c)
{
    switch (c) {
    case 0x0009: case 0x000A: case 0x000B: case 0x000C: case 0x000D:
    case 0x0020: case 0x0085: case 0x00A0: case 0x1680:
    case 0x2028: case 0x2029: case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

QString trimmingWhitespaceAndNewlines(const QString &text)
{
    // Every such character is a single UTF-16 unit.
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isWhitespaceOrNewline(text[begin].unicode()))
        ++begin;
    while (end > begin && isWhitespaceOrNewline(text[end - 1].unicode()))
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.sliced(begin, end - begin);
}
