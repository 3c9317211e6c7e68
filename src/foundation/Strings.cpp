#include "foundation/Strings.h"

#include <QTextBoundaryFinder>

#include <limits>

QStringList characters(const QString &text)
{
    QStringList result;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (finder.toNextBoundary() != -1) {
        const qsizetype end = finder.position();
        if (end > start)
            result.append(text.mid(start, end - start));
        start = end;
    }
    return result;
}

qsizetype characterCount(const QString &text)
{
    qsizetype count = 0;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    while (finder.toNextBoundary() != -1) {
        if (finder.position() > 0)
            ++count;
    }
    return count;
}

std::optional<qint64> wholeNumber(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        if (value > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

HourAndMinute hourAndMinute(const QString &text)
{
    const QStringList parts = characters(text);
    if (parts.size() != 4)
        return {};
    const auto hour = wholeNumber(QString(parts[0] + parts[1]));
    const auto minute = wholeNumber(QString(parts[2] + parts[3]));
    if (!hour || !minute)
        return {};
    return {int(*hour), int(*minute)};
}
