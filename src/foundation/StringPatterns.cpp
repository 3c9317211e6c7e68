#include "foundation/StringPatterns.h"

#include "foundation/Logger.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

bool wholeMatch(const QString &text, const QString &pattern)
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern),
                                        QRegularExpression::UseUnicodePropertiesOption);
    return expression.match(text).hasMatch();
}

QString digitsOf(const QString &text)
{
    return QString(text).remove(QRegularExpression(QStringLiteral("[^0-9]")));
}

// The value of an NHI letter: A is 1 … H 8, I 8 … N 13, O 13 … Z 24.
int letterValue(QChar letter)
{
    const int c = letter.unicode();
    if (c < 'A' || c > 'Z')
        return 0;
    return c < 73 ? c - 64 : c <= 78 ? c - 65 : c - 66;
}

// Standard order: code points after canonical composition.
bool codePointLess(const QString &a, const QString &b)
{
    const QList<uint> x = a.normalized(QString::NormalizationForm_C).toUcs4();
    const QList<uint> y = b.normalized(QString::NormalizationForm_C).toUcs4();
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end());
}

} // namespace

const QString &nhiRegEx()
{
    static const QString pattern = QStringLiteral("(?=[^OI])[A-Z]{3}[0-9]{4}");
    return pattern;
}

const QString &urlRegEx()
{
    static const QString pattern = QStringLiteral("https?://\\S+");
    return pattern;
}

QStringList acronyms(const QString &text, int minimum, int maximum, bool sorted)
{
    if (maximum < minimum) {
        Logger::ui().errorPublic(QStringLiteral("String.acronyms warning: maximum not >= minimum"));
        return {};
    }
    if (minimum < 0)
        return {};
    const QRegularExpression expression(
        QStringLiteral("\\b[A-Z]{%1}-?[A-Z]{0,%2}(?:-?[a-z0-9\u03B1-\u03C9]{1,2})?\\b").arg(minimum).arg(maximum - minimum),
        QRegularExpression::UseUnicodePropertiesOption);
    QStringList found;
    QSet<QString> seen;
    for (auto it = expression.globalMatch(text); it.hasNext();) {
        const QString match = it.next().captured(0);
        if (!seen.contains(match)) {
            seen.insert(match);
            found.append(match);
        }
    }
    if (sorted)
        std::sort(found.begin(), found.end(), codePointLess);
    return found;
}

QStringList extractStrings(const QString &text, const QString &pattern)
{
    const QRegularExpression expression(pattern);
    if (!expression.isValid())
        return {};
    QStringList matches;
    for (auto it = expression.globalMatch(text); it.hasNext();)
        matches.append(it.next().captured(0));
    return matches;
}

QStringList groups(const QString &text, const QString &pattern)
{
    const QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
    if (!expression.isValid()) {
        Logger::ui().errorPublic(QStringLiteral("Invalid regEx: ") + expression.errorString());
        return {};
    }
    QStringList parts;
    for (auto it = expression.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        for (int i = 0; i <= match.lastCapturedIndex(); ++i) {
            if (match.capturedStart(i) >= 0)
                parts.append(match.captured(i));
        }
    }
    return parts;
}

bool isValidPhoneNumber(const QString &text)
{
    return wholeMatch(digitsOf(text), QStringLiteral("0[34679][0-9]{7,10}"));
}

bool isValidMobileNumber(const QString &text)
{
    return wholeMatch(digitsOf(text), QStringLiteral("02[0126789][0-9]{6,10}"));
}

bool isValidEmail(const QString &text)
{
    return wholeMatch(text, QStringLiteral("^[a-zA-Z0-9_.+-]+@[a-zA-Z0-9-]+\\.[a-zA-Z0-9-.]+$"));
}

std::optional<QString> validNHI(const QString &text)
{
    const QRegularExpressionMatch match = QRegularExpression(nhiRegEx()).match(text.toUpper());
    if (!match.hasMatch())
        return std::nullopt;
    const QString candidate = match.captured(0);
    const int sum = 7 * letterValue(candidate[0]) + 6 * letterValue(candidate[1]) + 5 * letterValue(candidate[2])
        + 4 * candidate[3].digitValue() + 3 * candidate[4].digitValue() + 2 * candidate[5].digitValue();
    const int remainder = sum % 11;
    if (remainder == 0)
        return std::nullopt;
    const int check = remainder == 1 ? 0 : 11 - remainder;
    if (candidate[6].digitValue() != check)
        return std::nullopt;
    return candidate;
}
