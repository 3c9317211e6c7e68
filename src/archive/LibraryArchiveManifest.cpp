#include "archive/LibraryArchiveManifest.h"

#include "foundation/Bundle.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cmath>

namespace {

// The running application, from the main bundle's Info dictionary; each
// value falls back on its own.
LibraryArchiveManifest::Application applicationInformation()
{
    const Bundle bundle = Bundle::main();
    return LibraryArchiveManifest::Application{
        bundle.stringForKey(QStringLiteral("CFBundleName")).value_or(QStringLiteral("Veloran")),
        bundle.stringForKey(QStringLiteral("CFBundleShortVersionString")).value_or(QString()),
        bundle.stringForKey(QStringLiteral("CFBundleVersion")).value_or(QString()),
    };
}

QString child(const QString &path, const char *key)
{
    return path.isEmpty() ? QLatin1String(key) : path + QLatin1Char('.') + QLatin1String(key);
}

QString element(const QString &path, qsizetype index)
{
    return path + QLatin1Char('[') + QString::number(index) + QLatin1Char(']');
}

// ---- Writing

struct EncodeFailure {
    ManifestEncodingError error;
};

QString uuidText(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

QJsonValue number(double value, const QString &path)
{
    if (!std::isfinite(value))
        throw EncodeFailure{{path, QStringLiteral("isn't a finite number")}};
    return value;
}

QJsonValue dateText(const Date &date, const QString &path)
{
    const double seconds = date.secondsSince1970();
    const QDateTime time = std::isfinite(seconds) && std::abs(seconds) < 1e15
        ? QDateTime::fromSecsSinceEpoch(qint64(std::floor(seconds)), Qt::UTC)
        : QDateTime();
    if (!time.isValid() || time.date().year() < 1 || time.date().year() > 9999)
        throw EncodeFailure{{path, QStringLiteral("is a date outside the years 1 to 9999")}};
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z');
}

template <typename Record, typename Encode>
QJsonArray array(const QList<Record> &records, const QString &path, Encode encode)
{
    QJsonArray result;
    for (qsizetype i = 0; i < records.size(); ++i)
        result.append(encode(records[i], element(path, i)));
    return result;
}

QJsonObject encodeLink(const LibraryArchiveManifest::LinkRecord &r, const QString &)
{
    return {{"id", uuidText(r.id)}, {"label", r.label}, {"url", r.url}};
}

QJsonObject encodeVertex(const LibraryArchiveManifest::VertexRecord &r, const QString &path)
{
    return {{"x", number(r.x, child(path, "x"))}, {"y", number(r.y, child(path, "y"))}};
}

QJsonObject encodePoint(const LibraryArchiveManifest::PointRecord &r, const QString &path)
{
    return {{"id", uuidText(r.id)},
            {"label", r.label},
            {"group", r.group},
            {"x", number(r.x, child(path, "x"))},
            {"y", number(r.y, child(path, "y"))},
            {"links", array(r.links, child(path, "links"), encodeLink)}};
}

QJsonObject encodeRegion(const LibraryArchiveManifest::RegionRecord &r, const QString &path)
{
    return {{"id", uuidText(r.id)},
            {"label", r.label},
            {"group", r.group},
            {"vertices", array(r.vertices, child(path, "vertices"), encodeVertex)},
            {"links", array(r.links, child(path, "links"), encodeLink)}};
}

QJsonObject encodeImage(const LibraryArchiveManifest::ImageRecord &r, const QString &path)
{
    QJsonObject age{{"kind", r.metadata.age.kind}};
    if (r.metadata.age.value)
        age.insert("value", *r.metadata.age.value);
    QJsonObject object{{"id", uuidText(r.id)},
                       {"title", r.title},
                       {"metadata",
                        QJsonObject{{"modality", r.metadata.modality},
                                    {"region", r.metadata.region},
                                    {"plane", r.metadata.plane},
                                    {"sex", r.metadata.sex},
                                    {"age", age}}},
                       {"createdAt", dateText(r.createdAt, child(path, "createdAt"))},
                       {"sortIndex", r.sortIndex},
                       {"points", array(r.points, child(path, "points"), encodePoint)},
                       {"regions", array(r.regions, child(path, "regions"), encodeRegion)}};
    if (r.seriesID)
        object.insert("seriesID", uuidText(*r.seriesID));
    if (r.imagePath)
        object.insert("imagePath", *r.imagePath);
    return object;
}

QJsonObject encodeSeries(const LibraryArchiveManifest::SeriesRecord &r, const QString &path)
{
    return {{"id", uuidText(r.id)}, {"title", r.title}, {"createdAt", dateText(r.createdAt, child(path, "createdAt"))}};
}

// ---- Reading

struct DecodeFailure {
    ManifestDecodingError error;
};

[[noreturn]] void fail(ManifestDecodingError::Kind kind, const QString &path, const QString &detail = {})
{
    throw DecodeFailure{{kind, path, detail}};
}

// Qt's JSON parser turns every number into a double or a 64-bit integer as
// it sees fit, so an integer beyond 64 bits can round into range unseen.
// Before parsing, each number literal is therefore rewritten as a string
// that carries its text behind a marker, and the fields read the literal
// themselves. A string that really begins with U+0000 gets a marker of its
// own, so nothing is taken for what it is not.
const QString numberMarker = QStringLiteral("\u0000N");
const QString stringMarker = QStringLiteral("\u0000S");

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The length of the JSON number literal at `at`, or 0 when it is malformed.
qsizetype numberLiteralLength(const QByteArray &json, qsizetype at)
{
    const qsizetype n = json.size();
    qsizetype i = at;
    auto digits = [&] {
        const qsizetype start = i;
        while (i < n && isDigit(json[i]))
            ++i;
        return i - start;
    };
    if (i < n && json[i] == '-')
        ++i;
    if (i < n && json[i] == '0')
        ++i;
    else if (digits() == 0)
        return 0;
    if (i < n && json[i] == '.') {
        ++i;
        if (digits() == 0)
            return 0;
    }
    if (i < n && (json[i] == 'e' || json[i] == 'E')) {
        ++i;
        if (i < n && (json[i] == '+' || json[i] == '-'))
            ++i;
        if (digits() == 0)
            return 0;
    }
    if (i < n && (isDigit(json[i]) || json[i] == '.'))
        return 0; // such as 01 or 1.2.3
    return i - at;
}

std::optional<QByteArray> markNumbers(const QByteArray &json, qsizetype *errorOffset)
{
    QByteArray out;
    out.reserve(json.size() + json.size() / 4);
    const qsizetype n = json.size();
    for (qsizetype i = 0; i < n;) {
        const char c = json[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < n && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            if (end >= n) {
                *errorOffset = i;
                return std::nullopt;
            }
            const QByteArrayView content(json.constData() + i + 1, end - i - 1);
            out += '"';
            if (content.startsWith("\\u0000") || content.startsWith('\0'))
                out += stringMarker.toLatin1();
            out += content;
            out += '"';
            i = end + 1;
        } else if (c == '-' || isDigit(c)) {
            const qsizetype length = numberLiteralLength(json, i);
            if (length == 0) {
                *errorOffset = i;
                return std::nullopt;
            }
            out += '"';
            out += numberMarker.toLatin1();
            out += QByteArrayView(json.constData() + i, length);
            out += '"';
            i += length;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

// One JSON object being read, with the path that names it in errors.
class Reader {
public:
    Reader(const QJsonValue &value, QString path) : m_path(std::move(path))
    {
        if (!value.isObject())
            fail(ManifestDecodingError::Kind::typeMismatch, m_path, QStringLiteral("an object"));
        m_object = value.toObject();
    }

    qint64 integer(const char *key) const { return toInteger(required(key), child(m_path, key)); }
    std::optional<qint64> optionalInteger(const char *key) const { return optional(key, toInteger); }
    double number(const char *key) const
    {
        const QString path = child(m_path, key);
        bool ok = false;
        const double value = literal(required(key), path, QStringLiteral("a number")).toDouble(&ok);
        if (!ok || !std::isfinite(value))
            fail(ManifestDecodingError::Kind::dataCorrupted, path, QStringLiteral("a number within the range of a double"));
        return value;
    }
    QString text(const char *key) const { return toText(required(key), child(m_path, key)); }
    std::optional<QString> optionalText(const char *key) const { return optional(key, toText); }
    QUuid identifier(const char *key) const { return toIdentifier(required(key), child(m_path, key)); }
    std::optional<QUuid> optionalIdentifier(const char *key) const { return optional(key, toIdentifier); }
    Date date(const char *key) const
    {
        const QString path = child(m_path, key);
        const QString text = toText(required(key), path);
        const auto parsed = parseDate(text);
        if (!parsed)
            fail(ManifestDecodingError::Kind::dataCorrupted, path,
                 QStringLiteral("an ISO 8601 date such as 2025-03-14T09:26:53Z"));
        return *parsed;
    }
    Reader object(const char *key) const { return Reader(required(key), child(m_path, key)); }

    template <typename Decode>
    auto list(const char *key, Decode decode) const
    {
        const QString path = child(m_path, key);
        const QJsonValue v = required(key);
        if (!v.isArray())
            fail(ManifestDecodingError::Kind::typeMismatch, path, QStringLiteral("an array"));
        const QJsonArray items = v.toArray();
        QList<decltype(decode(Reader(QJsonObject(), QString())))> result;
        result.reserve(items.size());
        for (qsizetype i = 0; i < items.size(); ++i)
            result.append(decode(Reader(items.at(i), element(path, i))));
        return result;
    }

private:
    // An optional field: absent or null is no value.
    template <typename Convert>
    auto optional(const char *key, Convert convert) const -> std::optional<decltype(convert(QJsonValue(), QString()))>
    {
        const QJsonValue v = m_object.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return std::nullopt;
        return convert(v, child(m_path, key));
    }

    QJsonValue required(const char *key) const
    {
        const auto found = m_object.constFind(QLatin1String(key));
        if (found == m_object.constEnd())
            fail(ManifestDecodingError::Kind::keyNotFound, m_path, QLatin1String(key));
        if (found->isNull())
            fail(ManifestDecodingError::Kind::valueNotFound, child(m_path, key));
        return *found;
    }

    // The text of a number literal (see markNumbers()).
    static QString literal(const QJsonValue &v, const QString &path, const QString &expected)
    {
        const QString text = v.toString();
        if (!v.isString() || !text.startsWith(QLatin1String("\0N", 2)))
            fail(ManifestDecodingError::Kind::typeMismatch, path, expected);
        return text.mid(2);
    }

    static qint64 toInteger(const QJsonValue &v, const QString &path)
    {
        const QString text = literal(v, path, QStringLiteral("an integer"));
        bool ok = false;
        if (!text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')) && !text.contains(QLatin1Char('E'))) {
            const qint64 value = text.toLongLong(&ok);
            if (ok)
                return value;
        } else {
            // A whole number written with a fraction or an exponent, taken
            // only where a double holds it exactly.
            const double d = text.toDouble(&ok);
            constexpr double exactLimit = 9007199254740992.0; // 2^53
            if (ok && std::abs(d) <= exactLimit && d == std::trunc(d))
                return qint64(d);
        }
        fail(ManifestDecodingError::Kind::dataCorrupted, path, QStringLiteral("a whole number that fits in 64 bits"));
    }

    static QString toText(const QJsonValue &v, const QString &path)
    {
        const QString text = v.toString();
        if (!v.isString() || text.startsWith(QLatin1String("\0N", 2)))
            fail(ManifestDecodingError::Kind::typeMismatch, path, QStringLiteral("a string"));
        return text.startsWith(QLatin1String("\0S", 2)) ? text.mid(2) : text;
    }

    static QUuid toIdentifier(const QJsonValue &v, const QString &path)
    {
        const QString text = toText(v, path);
        bool canonical = text.size() == 36;
        for (qsizetype i = 0; canonical && i < text.size(); ++i) {
            const char16_t c = text.at(i).unicode();
            canonical = (i == 8 || i == 13 || i == 18 || i == 23)
                ? c == u'-'
                : (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        }
        if (!canonical)
            fail(ManifestDecodingError::Kind::dataCorrupted, path,
                 QStringLiteral("an identifier such as 3F2504E0-4F89-41D3-9A0C-0305E82C3301"));
        return QUuid::fromString(text);
    }

    // Exactly the written form: yyyy-MM-ddTHH:mm:ssZ.
    static std::optional<Date> parseDate(const QString &text)
    {
        if (text.size() != 20)
            return std::nullopt;
        static constexpr const char pattern[] = "dddd-dd-ddTdd:dd:ddZ";
        for (int i = 0; i < 20; ++i) {
            const char16_t c = text.at(i).unicode();
            if (pattern[i] == 'd' ? (c < u'0' || c > u'9') : c != char16_t(pattern[i]))
                return std::nullopt;
        }
        auto field = [&](int from, int length) { return QStringView(text).mid(from, length).toInt(); };
        const QDate day(field(0, 4), field(5, 2), field(8, 2));
        const QTime time(field(11, 2), field(14, 2), field(17, 2));
        if (!day.isValid() || !time.isValid())
            return std::nullopt;
        return Date::fromSecondsSince1970(double(QDateTime(day, time, Qt::UTC).toSecsSinceEpoch()));
    }

    QJsonObject m_object;
    QString m_path;
};

LibraryArchiveManifest::LinkRecord decodeLink(const Reader &r)
{
    return {r.identifier("id"), r.text("label"), r.text("url")};
}

LibraryArchiveManifest::VertexRecord decodeVertex(const Reader &r)
{
    return {r.number("x"), r.number("y")};
}

LibraryArchiveManifest::PointRecord decodePoint(const Reader &r)
{
    LibraryArchiveManifest::PointRecord point;
    point.id = r.identifier("id");
    point.label = r.text("label");
    point.group = r.text("group");
    point.x = r.number("x");
    point.y = r.number("y");
    point.links = r.list("links", decodeLink);
    return point;
}

LibraryArchiveManifest::RegionRecord decodeRegion(const Reader &r)
{
    LibraryArchiveManifest::RegionRecord region;
    region.id = r.identifier("id");
    region.label = r.text("label");
    region.group = r.text("group");
    region.vertices = r.list("vertices", decodeVertex);
    region.links = r.list("links", decodeLink);
    return region;
}

LibraryArchiveManifest::MetadataRecord decodeMetadata(const Reader &r)
{
    LibraryArchiveManifest::MetadataRecord metadata;
    metadata.modality = r.integer("modality");
    metadata.region = r.integer("region");
    metadata.plane = r.integer("plane");
    metadata.sex = r.integer("sex");
    const Reader age = r.object("age");
    metadata.age.kind = age.integer("kind");
    metadata.age.value = age.optionalInteger("value");
    return metadata;
}

LibraryArchiveManifest::ImageRecord decodeImage(const Reader &r)
{
    LibraryArchiveManifest::ImageRecord image;
    image.id = r.identifier("id");
    image.title = r.text("title");
    image.metadata = decodeMetadata(r.object("metadata"));
    image.createdAt = r.date("createdAt");
    image.sortIndex = r.integer("sortIndex");
    image.seriesID = r.optionalIdentifier("seriesID");
    image.imagePath = r.optionalText("imagePath");
    image.points = r.list("points", decodePoint);
    image.regions = r.list("regions", decodeRegion);
    return image;
}

LibraryArchiveManifest::SeriesRecord decodeSeries(const Reader &r)
{
    return {r.identifier("id"), r.text("title"), r.date("createdAt")};
}

} // namespace

LibraryArchiveManifest::Application LibraryArchiveManifest::Application::current()
{
    return applicationInformation();
}

Result<QByteArray, ManifestEncodingError> LibraryArchiveManifest::encoded() const
{
    try {
        const QJsonObject root{
            {"formatVersion", formatVersion},
            {"exportedAt", dateText(exportedAt, QStringLiteral("exportedAt"))},
            {"application",
             QJsonObject{{"name", application.name}, {"version", application.version}, {"build", application.build}}},
            {"series", array(series, QStringLiteral("series"), encodeSeries)},
            {"images", array(images, QStringLiteral("images"), encodeImage)},
        };
        // QJsonObject keeps its keys sorted, and the writer leaves "/" as is.
        return QJsonDocument(root).toJson(QJsonDocument::Indented);
    } catch (const EncodeFailure &failure) {
        return failure.error;
    }
}

Result<LibraryArchiveManifest, ManifestDecodingError> LibraryArchiveManifest::decoded(const QByteArray &json)
{
    qsizetype errorOffset = 0;
    const std::optional<QByteArray> marked = markNumbers(json, &errorOffset);
    if (!marked)
        return ManifestDecodingError{ManifestDecodingError::Kind::invalidJson, QString(),
                                     QStringLiteral("malformed number or string at offset %1").arg(errorOffset)};
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*marked, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return ManifestDecodingError{ManifestDecodingError::Kind::invalidJson, QString(), parseError.errorString()};
    try {
        const Reader root(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), QString());
        LibraryArchiveManifest manifest;
        manifest.formatVersion = root.integer("formatVersion");
        manifest.exportedAt = root.date("exportedAt");
        const Reader application = root.object("application");
        manifest.application = {application.text("name"), application.text("version"), application.text("build")};
        manifest.series = root.list("series", decodeSeries);
        manifest.images = root.list("images", decodeImage);
        return manifest;
    } catch (const DecodeFailure &failure) {
        return failure.error;
    }
}
