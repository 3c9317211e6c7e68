#pragma once

#include "foundation/CharacterSet.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Text helpers. A "character" is what a reader sees as one character (a
// grapheme cluster), not a UTF-16 code unit.

// The characters of `text`, in order.
QStringList characters(const QString &text);
qsizetype characterCount(const QString &text);

// A whole decimal integer: an optional "+" or "-", then ASCII digits only.
std::optional<qint64> wholeNumber(QStringView text);

struct HourAndMinute {
    int hour = 0;
    int minute = 0;
    friend bool operator==(const HourAndMinute &, const HourAndMinute &) = default;
};

// A four-character time such as "0930": hour from the first two characters,
// minute from the last two, no range check. Anything else reads as 0, 0.
HourAndMinute hourAndMinute(const QString &text);

// `text` read as a file path: its last component ("/tmp/a.tar.gz" gives
// "a.tar.gz"), that component without its extension ("a.tar") and its
// extension ("gz"; "" when none). A leading dot does not start an extension.
QString lastPathComponent(const QString &text);
QString deletingPathExtension(const QString &text);
QString pathExtension(const QString &text);

// Non-overlapping occurrences of `target`, counted from the left.
qsizetype countOccurrences(const QString &text, const QString &target);
// `text` with its first `count` occurrences of `target` replaced; a
// negative count replaces none.
QString replacingOccurrences(const QString &text, const QString &target, const QString &replacement, qsizetype count);
// A day/month/two-digit-year date such as "5/3/24", at the start of that day
// in the user's time zone; two-digit years fall within the 100 years that
// begin 80 years ago.
std::optional<QDateTime> dateFromShortNZDateFormat(const QString &text);
// Append `text` (with a line feed) as UTF-8 to the file; see append().
void appendLineToURL(const QString &text, const QUrl &file);
void appendToURL(const QString &text, const QUrl &file);

// Each word up to its first "-"; a word that ends in "-" ends the text:
// "Ultra-sound guided biopsy" gives "Ultra guided biopsy".
QString abbreviatedToHyphen(const QString &text);
QString deletingHyphens(const QString &text);
QString excludingCharactersInSet(const QString &text, const CharacterSet &set);
QString numbersOnly(const QString &text);
QString firstCharacter(const QString &text);
// The character at `offset`; empty when there is none.
QString character(const QString &text, qsizetype offset);
// The text before the first (after the last) space.
QString firstWord(const QString &text);
QString lastWord(const QString &text);
// The first character of each word, words being split at spaces and hyphens.
QString initials(const QString &text);
// Spaces removed, then split at commas.
QStringList arrayOfCommaDelimitedStrings(const QString &text);
// The home folder written as "~", and back.
QString abbreviatingWithTilde(const QString &text);
QString expandingTilde(const QString &text);
// Folders from a UUID text: every "-" a "/" with `usingEntireString`, else
// its first group cut into pairs ("1A2B3C4D-…" gives "1A/2B/3C/4D").
QString folderPathFromUUID(const QString &text, bool usingEntireString);

// A range of UTF-16 units of a text.
struct TextRange {
    qsizetype location = 0;
    qsizetype length = 0;
    friend bool operator==(const TextRange &, const TextRange &) = default;
};
TextRange fullRange(const QString &text);

// The first `length` characters and `indicator` when the text has at least
// `length` characters; otherwise (and for a negative length) the text.
QString truncated(const QString &text, qsizetype length, const QString &indicator);
// As many whole words (split at spaces and tabs, joined with a space) as fit
// in `maximumCharacters`; the text unchanged when not even the first fits.
QString truncatedToWords(const QString &text, qsizetype maximumCharacters);
QString deletingPrefix(const QString &text, const QString &prefix);
QString deletingSuffix(const QString &text, const QString &suffix);
// The text between the first `from` and the first `to` after it.
std::optional<QString> slice(const QString &text, const QString &from, const QString &to);
// Every run of white space and line breaks as one space; nothing trimmed.
QString condensedWhiteSpace(const QString &text);
QString removingTrailingWhiteSpace(const QString &text);

// `items` as a list of type "and" in the standard (wide) width, in the
// user's current locale or in `locale` when one is given, as ICU's list
// formatter words it: "2 images and 1 series" in English, "2 images und
// 1 series" in German; one item alone as it is, none as "". Should ICU
// fail, the items are joined with ", ".
QString formattedAndList(const QStringList &items, const std::optional<QString> &locale = std::nullopt);
