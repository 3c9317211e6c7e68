#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Pattern-based text helpers: acronyms, regular-expression matches and
// groups, and validators of telephone numbers, e-mail addresses and NHI
// health-index identifiers. An unusable pattern is reported on the "UI"
// log channel where the comment says so.

// An NHI identifier: three letters (the first neither I nor O), four digits.
const QString &nhiRegEx();
// A web address: "http" or "https", "://", then anything but white space.
const QString &urlRegEx();

// The distinct acronyms in `text`: `minimum` capitals, an optional "-", up
// to `maximum - minimum` more capitals, and an optional suffix of an
// optional "-" and one or two small letters, digits or Greek small letters
// ("IL-6", "TNFα", "MRIs"). Sorted when asked; a maximum below the minimum
// logs a warning and finds nothing.
QStringList acronyms(const QString &text, int minimum, int maximum, bool sorted);
// The text of every match of `pattern`; nothing when it is unusable.
QStringList extractStrings(const QString &text, const QString &pattern);
// For every match of `pattern` (case-insensitive), the whole match and then
// each group that took part, as one list; an unusable pattern is logged.
QStringList groups(const QString &text, const QString &pattern);

// New Zealand numbers, by their digits: a telephone number is 0, one of
// 3 4 6 7 9, and 7 to 10 digits more; a mobile number 02, one of 0 1 2 6 7
// 8 9, and 6 to 10 digits more.
bool isValidPhoneNumber(const QString &text);
bool isValidMobileNumber(const QString &text);
bool isValidEmail(const QString &text);
// The first NHI identifier in `text` (upper-cased) whose check digit is right.
std::optional<QString> validNHI(const QString &text);
