#include "platform/LocalizedText.h"

#include <QChar>
#include <QList>
#include <QVarLengthArray>

#include <array>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <algorithm>
#include <atomic>
#include <memory>

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

// The folded form of the character at `i`; `length` is its number of
// UTF-16 units.
inline Folded foldedAt(QStringView s, qsizetype i, qsizetype &length)
{
    const char16_t c = s[i].unicode();
    if (QChar::isHighSurrogate(c) && i + 1 < s.size() && QChar::isLowSurrogate(s[i + 1].unicode())) {
        length = 2;
        return computeFolded(QChar::surrogateToUcs4(c, s[i + 1].unicode()));
    }
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
// ignored.
int comparePrimary(QStringView textA, QStringView textB)
{
    const char16_t *a = textA.utf16();
    const char16_t *b = textB.utf16();
    const char16_t *const aEnd = a + textA.size();
    const char16_t *const bEnd = b + textB.size();
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
    Folded f;
    for (;;) {
        if (p == end)
            return false;
        f = foldedAt(QStringView(p, end), 0, length);
        if (f.kind != Ignorable)
            break;
        p += length; // nothing before it to belong to
    }
    p += length;
    std::array<char16_t, 2> found = f.marks;
    if (f.kind == Digit) {
        // A whole number counts as one character without diacritics.
        found = {};
        while (p < end && digitAt(p, end, length) >= 0)
            p += length;
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

// Writes the folded form of `text` to `out`, which has room for twice its
// length, and returns the end of what was written.
char16_t *foldInto(QStringView text, char16_t *out)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    qsizetype length = 1;
    while (p < end) {
#ifdef __SSE2__
        // Eight ASCII characters at a time.
        const __m128i nonAscii = _mm_set1_epi16(short(0xFF80));
        const __m128i beforeA = _mm_set1_epi16(u'A' - 1);
        const __m128i afterZ = _mm_set1_epi16(u'Z' + 1);
        const __m128i caseBit = _mm_set1_epi16(0x20);
        while (end - p >= 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
            if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, nonAscii), _mm_setzero_si128())) != 0xFFFF)
                break;
            const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
            _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_add_epi16(v, _mm_and_si128(upper, caseBit)));
            p += 8;
            out += 8;
        }
#endif
        for (; p < end && *p < 0x80; ++p) {
            const char16_t c = *p;
            *out++ = (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        }
        if (p == end)
            break;
        const Folded f = foldedAt(QStringView(p, end), 0, length);
        p += length;
        if (f.kind == Ignorable)
            continue;
        if (f.base > 0xFFFF) {
            *out++ = QChar::highSurrogate(f.base);
            *out++ = QChar::lowSurrogate(f.base);
        } else {
            *out++ = char16_t(f.base);
        }
    }
    return out;
}

// Whether `needle` occurs in `haystack`; both folded.
bool containsFolded(QStringView haystack, QStringView needle)
{
    const qsizetype m = needle.size();
    if (m == 0 || haystack.size() < m)
        return false;
    const char16_t first = needle.front().unicode();
    const QStringView rest = needle.sliced(1);
    const qsizetype lastStart = haystack.size() - m;
    qsizetype from = 0;
    while (from <= lastStart) {
        const qsizetype at = haystack.indexOf(QChar(first), from);
        if (at < 0 || at > lastStart)
            return false;
        if (haystack.sliced(at + 1, m - 1) == rest)
            return true;
        from = at + 1;
    }
    return false;
}

} // namespace

std::weak_ordering localizedStandardCompare(QStringView a, QStringView b)
{
    int c = comparePrimary(a, b);
    if (c == 0)
        c = compareDiacritics(a, b);
    if (c < 0)
        return std::weak_ordering::less;
    return c > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent;
}

QString foldedForSearch(QStringView text)
{
    QString result(text.size() * 2, Qt::Uninitialized);
    char16_t *begin = reinterpret_cast<char16_t *>(result.data());
    result.truncate(foldInto(text, begin) - begin);
    return result;
}

LocalizedSearchNeedle::LocalizedSearchNeedle(QStringView needle) : m_folded(foldedForSearch(needle)) {}

bool LocalizedSearchNeedle::isFoundIn(QStringView haystack) const
{
    return isFoundInJoined(std::span(&haystack, 1));
}

bool LocalizedSearchNeedle::isFoundInJoined(std::span<const QStringView> parts) const
{
    const qsizetype m = m_folded.size();
    if (m == 0 || parts.empty())
        return false;
    qsizetype total = qsizetype(parts.size()) - 1;
    for (QStringView part : parts)
        total += part.size();
    if (total * 2 < m)
        return false;

    // One buffer per thread, reused, so that testing many texts allocates
    // nothing once it has grown. The text is folded a piece at a time and
    // searched as it grows, so that an early match ends the work.
    thread_local QVarLengthArray<char16_t, 1024> buffer;
    buffer.resize(total * 2);
    char16_t *const begin = buffer.data();
    char16_t *end = begin;
    qsizetype searched = 0; // what has been searched; a match may still end past it
    constexpr qsizetype pieceSize = 128;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            *end++ = u' ';
        const QStringView part = parts[i];
        for (qsizetype from = 0; from < part.size();) {
            qsizetype length = std::min(pieceSize, part.size() - from);
            if (from + length < part.size() && QChar::isHighSurrogate(part[from + length - 1].unicode()))
                ++length; // keep a surrogate pair together
            end = foldInto(part.sliced(from, length), end);
            from += length;
            if (end - begin - searched < pieceSize)
                continue;
            const qsizetype start = std::max<qsizetype>(0, searched - (m - 1));
            if (containsFolded(QStringView(begin + start, end), m_folded))
                return true;
            searched = end - begin;
        }
    }
    const qsizetype start = std::max<qsizetype>(0, searched - (m - 1));
    return containsFolded(QStringView(begin + start, end), m_folded);
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
