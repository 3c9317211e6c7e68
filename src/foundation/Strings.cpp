#include "foundation/Strings.h"

#include "foundation/DataHelpers.h"
#include "foundation/DateFormatter.h"
#include "foundation/IcuBridge.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextBoundaryFinder>

#include <limits>
#include <memory>
#include <vector>
#include <pwd.h>

#include <unicode/listformatter.h>
#include <unicode/unistr.h>

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

namespace {

// Where the extension's dot is in `name`, or -1 when it has none.
qsizetype extensionDot(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return (dot <= 0 || dot == name.size() - 1) ? -1 : dot;
}

} // namespace

QString lastPathComponent(const QString &text)
{
    QString path = text;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    if (path == u"/")
        return path;
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString deletingPathExtension(const QString &text)
{
    const QString name = lastPathComponent(text);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? name : name.left(dot);
}

QString pathExtension(const QString &text)
{
    const QString name = lastPathComponent(text);
    const qsizetype dot = extensionDot(name);
    return dot < 0 ? QString() : name.mid(dot + 1);
}

qsizetype countOccurrences(const QString &text, const QString &target)
{
    if (target.isEmpty())
        return 0;
    qsizetype count = 0;
    for (qsizetype at = text.indexOf(target); at >= 0; at = text.indexOf(target, at + target.size()))
        ++count;
    return count;
}

QString replacingOccurrences(const QString &text, const QString &target, const QString &replacement, qsizetype count)
{
    if (target.isEmpty() || count <= 0)
        return text;
    QString result;
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(target); at >= 0 && count > 0; at = text.indexOf(target, from), --count) {
        result += text.mid(from, at - from) + replacement;
        from = at + target.size();
    }
    return result + text.mid(from);
}

std::optional<QDateTime> dateFromShortNZDateFormat(const QString &text)
{
    DateFormatter formatter;
    formatter.locale = QStringLiteral("en_US_POSIX");
    formatter.dateFormat = QStringLiteral("d/M/yy");
    return formatter.date(text);
}

void appendLineToURL(const QString &text, const QUrl &file)
{
    append((text + QLatin1Char('\n')).toUtf8(), file);
}

void appendToURL(const QString &text, const QUrl &file)
{
    append(text.toUtf8(), file);
}

QString abbreviatedToHyphen(const QString &text)
{
    QStringList kept;
    for (const QString &word : text.split(QLatin1Char(' '))) {
        const qsizetype hyphen = word.indexOf(QLatin1Char('-'));
        if (hyphen < 0) {
            kept.append(word);
            continue;
        }
        kept.append(word.left(hyphen));
        if (hyphen == word.size() - 1)
            break;
    }
    return kept.join(QLatin1Char(' '));
}

QString deletingHyphens(const QString &text)
{
    return QString(text).remove(QLatin1Char('-'));
}

QString excludingCharactersInSet(const QString &text, const CharacterSet &set)
{
    QString kept;
    for (const uint codePoint : text.toUcs4()) {
        if (!set.contains(codePoint))
            kept += QChar::fromUcs4(codePoint);
    }
    return kept;
}

QString numbersOnly(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (c >= u'0' && c <= u'9')
            digits += c;
    }
    return digits;
}

QString firstCharacter(const QString &text)
{
    return character(text, 0);
}

QString character(const QString &text, qsizetype offset)
{
    if (offset < 0)
        return {};
    return characters(text).value(offset);
}

QString firstWord(const QString &text)
{
    return text.section(QLatin1Char(' '), 0, 0);
}

QString lastWord(const QString &text)
{
    return text.mid(text.lastIndexOf(QLatin1Char(' ')) + 1);
}

QString initials(const QString &text)
{
    QString result;
    for (const QString &word : QString(text).replace(QLatin1Char('-'), QLatin1Char(' ')).split(QLatin1Char(' '))) {
        if (!word.isEmpty())
            result += firstCharacter(word);
    }
    return result;
}

QStringList arrayOfCommaDelimitedStrings(const QString &text)
{
    return QString(text).remove(QLatin1Char(' ')).split(QLatin1Char(','));
}

QString abbreviatingWithTilde(const QString &text)
{
    const QString home = QDir::homePath();
    if (home.isEmpty() || home == u"/")
        return text;
    if (text == home)
        return QStringLiteral("~");
    if (text.startsWith(home + QLatin1Char('/')))
        return QLatin1Char('~') + text.mid(home.size());
    return text;
}

QString expandingTilde(const QString &text)
{
    if (!text.startsWith(QLatin1Char('~')))
        return text;
    const qsizetype slash = text.indexOf(QLatin1Char('/'));
    const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
    QString home;
    if (user.isEmpty()) {
        home = QDir::homePath();
    } else {
        passwd entry{};
        passwd *found = nullptr;
        char buffer[4096];
        if (::getpwnam_r(user.toLocal8Bit().constData(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
            return text;
        home = QFile::decodeName(found->pw_dir);
    }
    return slash < 0 ? home : home + text.mid(slash);
}

QString folderPathFromUUID(const QString &text, bool usingEntireString)
{
    const QStringList pieces = text.split(QLatin1Char('-'));
    if (usingEntireString)
        return pieces.join(QLatin1Char('/'));
    const QString first = pieces.value(0);
    QString path;
    for (qsizetype i = 0; i < first.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            path += QLatin1Char('/');
        path += first[i];
    }
    return path;
}

TextRange fullRange(const QString &text)
{
    return {0, text.size()};
}

QString truncated(const QString &text, qsizetype length, const QString &indicator)
{
    if (length < 0)
        return text;
    const QStringList parts = characters(text);
    if (parts.size() < length)
        return text;
    return parts.mid(0, length).join(QString()) + indicator;
}

QString truncatedToWords(const QString &text, qsizetype maximumCharacters)
{
    QStringList words;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\t' || text[i].category() == QChar::Separator_Space) {
            words.append(text.mid(start, i - start));
            start = i + 1;
        }
    }
    while (!words.isEmpty()) {
        const QString joined = words.join(QLatin1Char(' '));
        if (characterCount(joined) <= maximumCharacters)
            return joined;
        words.removeLast();
    }
    return text;
}

QString deletingPrefix(const QString &text, const QString &prefix)
{
    return text.startsWith(prefix) ? text.mid(prefix.size()) : text;
}

QString deletingSuffix(const QString &text, const QString &suffix)
{
    return text.endsWith(suffix) ? text.chopped(suffix.size()) : text;
}

std::optional<QString> slice(const QString &text, const QString &from, const QString &to)
{
    const qsizetype start = text.indexOf(from);
    if (start < 0)
        return std::nullopt;
    const qsizetype begin = start + from.size();
    const qsizetype end = text.indexOf(to, begin);
    if (end < 0)
        return std::nullopt;
    return text.mid(begin, end - begin);
}

QString condensedWhiteSpace(const QString &text)
{
    static const QRegularExpression whiteSpace(QStringLiteral("[\\s\\n]+"), QRegularExpression::UseUnicodePropertiesOption);
    return QString(text).replace(whiteSpace, QStringLiteral(" "));
}

QString removingTrailingWhiteSpace(const QString &text)
{
    static const QRegularExpression trailing(QStringLiteral("\\s+$"), QRegularExpression::UseUnicodePropertiesOption);
    return QString(text).remove(trailing);
}

QString formattedAndList(const QStringList &items, const std::optional<QString> &locale)
{
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<icu::ListFormatter> formatter(icu::ListFormatter::createInstance(
        icu::Locale(icubridge::localeId(locale).constData()), ULISTFMT_TYPE_AND, ULISTFMT_WIDTH_WIDE, status));
    if (U_FAILURE(status) || !formatter)
        return items.join(QStringLiteral(", "));
    std::vector<icu::UnicodeString> parts;
    parts.reserve(size_t(items.size()));
    for (const QString &item : items)
        parts.emplace_back(icubridge::uchars(item), int32_t(item.size()));
    icu::UnicodeString text;
    formatter->format(parts.data(), int32_t(parts.size()), text, status);
    if (U_FAILURE(status))
        return items.join(QStringLiteral(", "));
    return icubridge::fromUChars(text.getBuffer(), text.length());
}
