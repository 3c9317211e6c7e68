#include "platform/updater/SUVersionComparator.h"

#include <QList>

namespace {

enum class PartType { Number, Letters, Separator };

struct Part {
    PartType type;
    QString text;
};

PartType typeOf(QChar c)
{
    if (c.isDigit())
        return PartType::Number;
    if (c.isLetter())
        return PartType::Letters;
    return PartType::Separator;
}

QList<Part> split(const QString &version)
{
    QList<Part> parts;
    for (const QChar c : version) {
        const PartType type = typeOf(c);
        // Each separator is a part of its own; digits and letters run on.
        if (!parts.isEmpty() && parts.last().type == type && type != PartType::Separator)
            parts.last().text += c;
        else
            parts.append({type, QString(c)});
    }
    return parts;
}

// Numbers of any length, compared without converting them.
int compareNumbers(QString a, QString b)
{
    while (a.size() > 1 && a.startsWith(QLatin1Char('0')))
        a.remove(0, 1);
    while (b.size() > 1 && b.startsWith(QLatin1Char('0')))
        b.remove(0, 1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

int sign(int value)
{
    return (value > 0) - (value < 0);
}

} // namespace

int SUVersionComparator::compareVersions(const QString &a, const QString &b)
{
    const QList<Part> left = split(a);
    const QList<Part> right = split(b);
    const qsizetype common = std::min(left.size(), right.size());
    for (qsizetype i = 0; i < common; ++i) {
        const Part &l = left[i];
        const Part &r = right[i];
        if (l.type == r.type) {
            int result = 0;
            if (l.type == PartType::Number)
                result = compareNumbers(l.text, r.text);
            else if (l.type == PartType::Letters)
                result = l.text.compare(r.text);
            if (result != 0)
                return sign(result);
            continue;
        }
        // Letters mark a pre-release, so anything else is newer than them;
        // a number is newer than a separator.
        if (l.type == PartType::Letters)
            return -1;
        if (r.type == PartType::Letters)
            return 1;
        return l.type == PartType::Number ? 1 : -1;
    }
    if (left.size() == right.size())
        return 0;
    // The longer text is newer unless what it adds starts with letters
    // (a pre-release suffix); a trailing separator alone changes nothing.
    const bool leftLonger = left.size() > right.size();
    const QList<Part> &longer = leftLonger ? left : right;
    qsizetype next = common;
    while (next < longer.size() && longer[next].type == PartType::Separator)
        ++next;
    if (next == longer.size())
        return 0;
    const int longerIsNewer = longer[next].type == PartType::Letters ? -1 : 1;
    return leftLonger ? longerIsNewer : -longerIsNewer;
}
