#include "model/ImageSearchValues.h"

#include "model/AtlasImage.h"
#include "model/PointAnnotation.h"
#include "model/RegionAnnotation.h"
#include "model/Series.h"
#include "platform/objectstore/StoreStatement.h"

#include <limits>

namespace {

// Labels of one annotation table, read alongside the images: rows ordered
// by their image's key, then their own.
class LabelCursor {
public:
    LabelCursor(sqlite3 *database, const char *table)
        : m_query(database, QStringLiteral("SELECT imageKey, label FROM %1 WHERE imageKey IS NOT NULL "
                                           "ORDER BY imageKey, rowKey")
                                .arg(QLatin1String(table)))
    {
        advance();
    }

    // The labels of the image with `key`, joined with one space, into
    // `labels` (whose room is kept); rows of images before it (whose image
    // is gone) are passed over.
    void collect(qint64 key, QString &labels)
    {
        labels.resize(0);
        while (m_key < key)
            advance();
        for (bool first = true; m_key == key; first = false) {
            if (!first)
                labels.append(QLatin1Char(' '));
            m_query.row().appendText(1, labels);
            advance();
        }
    }

    const StoreStatement &query() const { return m_query; }

private:
    void advance()
    {
        m_key = m_query.next() ? m_query.row().integer(0) : std::numeric_limits<qint64>::max();
    }

    StoreStatement m_query;
    qint64 m_key = std::numeric_limits<qint64>::min();
};

} // namespace

ImageSearchValues searchValues(const AtlasImage &image)
{
    ImageSearchValues values;
    values.key = image.storeKey();
    values.createdAt = image.createdAt();
    values.title = image.title();
    values.seriesTitle = image.series() ? image.series()->title() : QString();
    values.modalityRaw = image.modalityRaw();
    values.regionRaw = image.regionRaw();
    values.planeRaw = image.planeRaw();
    values.age = image.age();
    values.sexRaw = image.sexRaw();
    QStringList labels;
    for (const PointAnnotation *point : image.points())
        labels.append(point->label());
    values.pointLabels = labels.join(QLatin1Char(' '));
    labels.clear();
    for (const RegionAnnotation *region : image.regions())
        labels.append(region->label());
    values.regionLabels = labels.join(QLatin1Char(' '));
    return values;
}

std::optional<QString> readImageSearchValues(sqlite3 *database,
                                             const std::function<bool(const ImageSearchValues &)> &visit)
{
    StoreStatement images(database,
                          QStringLiteral("SELECT i.rowKey, i.createdAt, i.title, s.title, i.modalityRaw, i.regionRaw, "
                                         "i.planeRaw, i.ageKindRaw, i.ageValue, i.sexRaw FROM AtlasImage i "
                                         "LEFT JOIN Series s ON s.rowKey = i.seriesKey ORDER BY i.rowKey"));
    LabelCursor points(database, "PointAnnotation");
    LabelCursor regions(database, "RegionAnnotation");
    ImageSearchValues values;
    while (images.next()) {
        const StoreRow row = images.row();
        values.key = row.integer(0);
        values.createdAt = Date{row.real(1)};
        values.title = row.text(2);
        values.seriesTitle = row.text(3);
        values.modalityRaw = row.integer(4);
        values.regionRaw = row.integer(5);
        values.planeRaw = row.integer(6);
        values.age = AgeSpec{row.integer(7), row.optionalInteger(8)};
        values.sexRaw = row.integer(9);
        points.collect(values.key, values.pointLabels);
        regions.collect(values.key, values.regionLabels);
        if (!visit(values))
            break;
    }
    for (const StoreStatement *query : {static_cast<const StoreStatement *>(&images), &points.query(), &regions.query()}) {
        if (query->failed())
            return query->errorMessage();
    }
    return std::nullopt;
}
