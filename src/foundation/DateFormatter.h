#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

#include <optional>

// Turns dates into text and back, either in one of a locale's styles or
// with a fixed pattern in the Unicode date-field notation ("yyyy-MM-dd").
// Settings that are not given take the user's defaults: the current locale
// and time zone. Two-digit years are read in the window that starts 80
// years before today.
struct DateFormatter {
    enum class Style { None, Short, Medium, Long, Full };

    // A locale identifier such as "en_US_POSIX"; none is the user's locale.
    std::optional<QString> locale;
    Style dateStyle = Style::None;
    Style timeStyle = Style::None;
    // When set, the styles are ignored.
    QString dateFormat;
    // Invalid is the user's current time zone.
    QTimeZone timeZone;

    // Empty when neither a style nor a pattern is set, or the date is invalid.
    QString string(const QDateTime &date) const;
    // The date that the whole of `text` describes; none when it does not parse.
    std::optional<QDateTime> date(const QString &text) const;
};
