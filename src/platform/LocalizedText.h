#pragma once

#include <QString>
#include <QStringView>

#include <compare>
#include <span>

// Text operations that follow the desktop's conventions for names shown to
// people. They behave the same in every process locale (also "C"/POSIX), so
// lists order and searches match identically wherever the program runs.

// The order in which file browsers list names: letters compare without
// regard to case, accented letters sort with their base letter (the plain
// letter first when everything else is equal), and runs of digits compare
// by numeric value ("slice2" before "slice10"). Between kinds of
// character, white space sorts before punctuation, punctuation before
// symbols, symbols before digits and digits before letters. Texts that
// differ only in letter case, or in leading zeros of a number, are
// equivalent.
std::weak_ordering localizedStandardCompare(QStringView a, QStringView b);

// Whether `haystack` contains `needle`, ignoring letter case and
// diacritics ("crane" is found in "Crâne"). An empty needle is found
// nowhere.
bool localizedStandardContains(QStringView haystack, QStringView needle);

// The form in which searching compares text: letters case-folded, accents
// and other diacritics removed, invisible formatting characters dropped.
QString foldedForSearch(QStringView text);
// The same, appended to `out` (with no string of its own in between).
void appendFoldedForSearch(QString &out, QStringView text);

// A search text folded once, to be looked for in many texts. Matching is
// that of localizedStandardContains.
class LocalizedSearchNeedle {
public:
    explicit LocalizedSearchNeedle(QStringView needle);

    // True when the folded needle holds nothing, so it matches nothing.
    bool isEmpty() const { return m_folded.isEmpty(); }
    bool isFoundIn(QStringView haystack) const;
    // The same as isFoundIn on the parts joined with one space between
    // neighbours, without the caller building the joined text (nothing is
    // allocated once an internal buffer has grown). An empty part still
    // takes its place (two neighbouring spaces).
    bool isFoundInJoined(std::span<const QStringView> parts) const;
    const QString &folded() const { return m_folded; }

private:
    QString m_folded;
};

// Unicode white space, line and paragraph separators included (tab, line
// feed, U+0085, U+00A0, U+2028, U+3000 and the rest of White_Space).
bool isWhitespaceOrNewline(char32_t c);

// `text` without white space and newlines (as isWhitespaceOrNewline) at
// both ends.
QString trimmingWhitespaceAndNewlines(const QString &text);
