#include "archive/LibraryImportSummary.h"

#include "foundation/Strings.h"

#include <QStringList>

namespace {

// "1 image", "3 images" and "1 series", "3 series"; nothing for none.
QStringList parts(qint64 images, qint64 series)
{
    QStringList result;
    if (images >= 1)
        result << QString::number(images) + (images == 1 ? QStringLiteral(" image") : QStringLiteral(" images"));
    if (series >= 1)
        result << QString::number(series) + QStringLiteral(" series");
    return result;
}

} // namespace

QString LibraryImportSummary::message() const
{
    const QStringList added = parts(addedImages, addedSeries);
    if (added.isEmpty())
        return QStringLiteral("Nothing new to add \u2014 the library already has everything in this archive.");
    QString text = QStringLiteral("Added ") + formattedAndList(added) + QLatin1Char('.');
    const QStringList skipped = parts(skippedImages, skippedSeries);
    if (!skipped.isEmpty())
        text += QStringLiteral(" Skipped ") + formattedAndList(skipped) + QStringLiteral(" already in the library.");
    return text;
}
