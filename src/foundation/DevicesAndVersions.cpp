#include "foundation/DevicesAndVersions.h"

#include "foundation/DeviceNameTable.h"
#include "foundation/Strings.h"

#include <QHash>
#include <QStringList>

namespace {

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// -1, 0 or 1 as `a` orders before, with or after `b`, runs of digits by value.
int numericCompare(const QString &a, const QString &b)
{
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            // Compare the values: drop leading zeros, then longer is larger.
            QStringView x = QStringView(a).mid(i, endA - i);
            QStringView y = QStringView(b).mid(j, endB - j);
            while (x.size() > 1 && x.front() == u'0')
                x = x.mid(1);
            while (y.size() > 1 && y.front() == u'0')
                y = y.mid(1);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int order = x.compare(y); order != 0)
                return order < 0 ? -1 : 1;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    if (j < b.size())
        return -1;
    return 0;
}

} // namespace

QString mapToDeviceName(const QString &identifier)
{
    static const QHash<QString, QString> names = [] {
        QHash<QString, QString> table;
        for (const DeviceNameRow &row : deviceNameTable)
            table.insert(QString::fromLatin1(row.identifier.data(), qsizetype(row.identifier.size())),
                         QString::fromUtf8(row.name.data(), qsizetype(row.name.size())));
        return table;
    }();
    return names.value(identifier, identifier);
}

bool atLeastVersion(const QString &version, const QString &other)
{
    return numericCompare(version, other) >= 0;
}

bool asVersionIsAtLeast(const QString &version, const QString &other)
{
    const QStringList mine = version.split(QLatin1Char('.'));
    const QStringList theirs = other.split(QLatin1Char('.'));
    const qsizetype n = std::min(mine.size(), theirs.size());
    if (mine.mid(0, n) == theirs.mid(0, n))
        return true;
    for (qsizetype i = 0; i < n; ++i) {
        const auto a = wholeNumber(mine[i]);
        const auto b = wholeNumber(theirs[i]);
        if (!a || !b)
            continue;
        if (*b < *a)
            return true;
        if (*a < *b)
            return false;
    }
    return false;
}
