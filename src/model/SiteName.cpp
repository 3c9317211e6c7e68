#include "model/SiteName.h"

#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace {

// Number of user-perceived characters of `text`, and the length in UTF-16
// units of its first one.
qsizetype graphemeCount(const QString &text, qsizetype *firstLength)
{
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    *firstLength = text.size();
    while (finder.toNextBoundary() != -1) {
        if (count == 0)
            *firstLength = finder.position();
        ++count;
    }
    return count;
}

bool containsLetter(const QString &text)
{
    const QList<uint> codePoints = text.toUcs4();
    return std::any_of(codePoints.begin(), codePoints.end(), [](uint c) { return QChar::isLetter(c); });
}

} // namespace

const QSet<QString> &genericDomainLabels()
{
    static const QSet<QString> labels{
        QStringLiteral("ac"),  QStringLiteral("app"), QStringLiteral("co"),   QStringLiteral("com"),
        QStringLiteral("dev"), QStringLiteral("edu"), QStringLiteral("gov"),  QStringLiteral("info"),
        QStringLiteral("int"), QStringLiteral("io"),  QStringLiteral("me"),   QStringLiteral("net"),
        QStringLiteral("nhs"), QStringLiteral("org"), QStringLiteral("sch"),  QStringLiteral("tv"),
        QStringLiteral("uk"),  QStringLiteral("us")};
    return labels;
}

std::optional<QString> siteName(const QUrl &url)
{
    // Internationalised hosts in their readable form, whatever the top-level
    // domain.
    const QString host =
        QUrl::fromAce(url.host(QUrl::FullyEncoded).toLatin1(), QUrl::IgnoreIDNWhitelist).toLower();
    if (host.isEmpty())
        return std::nullopt;

    QStringList labels = host.split(u'.', Qt::SkipEmptyParts);
    if (!labels.isEmpty() && labels.first() == QLatin1String("www"))
        labels.removeFirst();
    while (labels.size() >= 2 && genericDomainLabels().contains(labels.last()))
        labels.removeLast();
    if (labels.isEmpty())
        return host;

    const QString &label = labels.last();
    if (!containsLetter(label))
        return host;
    qsizetype firstLength = 0;
    if (graphemeCount(label, &firstLength) < 5)
        return label.toUpper();
    return label.left(firstLength).toUpper() + label.mid(firstLength);
}
