#include "archive/LibraryArchiveManifest.h"

#include "foundation/Bundle.h"
#include "model/JsonCoding.h"

#include <QDateTime>
#include <QRegularExpression>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstring>
#include <istream>
#include <memory>
#include <streambuf>
#include <type_traits>
#include <vector>
#include <limits>

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
//
// nlohmann::json keeps an object's keys sorted and never escapes "/".

using Json = nlohmann::json;

struct EncodeFailure {
    ManifestEncodingError error;
};

Json text(const QString &value)
{
    return value.toStdString();
}

Json identifier(const QUuid &id)
{
    return text(uuidText(id));
}

Json number(double value, const QString &path)
{
    if (!std::isfinite(value))
        throw EncodeFailure{{path, QStringLiteral("isn't a finite number")}};
    return value;
}

Json dateText(const Date &date, const QString &path)
{
    const double seconds = date.secondsSince1970();
    const QDateTime time = std::isfinite(seconds) && std::abs(seconds) < 1e15
        ? QDateTime::fromSecsSinceEpoch(qint64(std::floor(seconds)), Qt::UTC)
        : QDateTime();
    if (!time.isValid() || time.date().year() < 1 || time.date().year() > 9999)
        throw EncodeFailure{{path, QStringLiteral("is a date outside the years 1 to 9999")}};
    return text(time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QLatin1Char('Z'));
}

template <typename Record, typename Encode>
Json array(const QList<Record> &records, const QString &path, Encode encode)
{
    Json result = Json::array();
    for (qsizetype i = 0; i < records.size(); ++i)
        result.push_back(encode(records[i], element(path, i)));
    return result;
}

Json encodeLink(const LibraryArchiveManifest::LinkRecord &r, const QString &)
{
    return {{"id", identifier(r.id)}, {"label", text(r.label)}, {"url", text(r.url)}};
}

Json encodeVertex(const LibraryArchiveManifest::VertexRecord &r, const QString &path)
{
    return {{"x", number(r.x, child(path, "x"))}, {"y", number(r.y, child(path, "y"))}};
}

Json encodePoint(const LibraryArchiveManifest::PointRecord &r, const QString &path)
{
    return {{"id", identifier(r.id)},
            {"label", text(r.label)},
            {"group", text(r.group)},
            {"x", number(r.x, child(path, "x"))},
            {"y", number(r.y, child(path, "y"))},
            {"links", array(r.links, child(path, "links"), encodeLink)}};
}

Json encodeRegion(const LibraryArchiveManifest::RegionRecord &r, const QString &path)
{
    return {{"id", identifier(r.id)},
            {"label", text(r.label)},
            {"group", text(r.group)},
            {"vertices", array(r.vertices, child(path, "vertices"), encodeVertex)},
            {"links", array(r.links, child(path, "links"), encodeLink)}};
}

Json encodeImage(const LibraryArchiveManifest::ImageRecord &r, const QString &path)
{
    Json age{{"kind", r.metadata.age.kind}};
    if (r.metadata.age.value)
        age["value"] = *r.metadata.age.value;
    Json object{{"id", identifier(r.id)},
                {"title", text(r.title)},
                {"metadata",
                 {{"modality", r.metadata.modality},
                  {"region", r.metadata.region},
                  {"plane", r.metadata.plane},
                  {"sex", r.metadata.sex},
                  {"age", age}}},
                {"createdAt", dateText(r.createdAt, child(path, "createdAt"))},
                {"sortIndex", r.sortIndex},
                {"points", array(r.points, child(path, "points"), encodePoint)},
                {"regions", array(r.regions, child(path, "regions"), encodeRegion)}};
    if (r.seriesID)
        object["seriesID"] = identifier(*r.seriesID);
    if (r.imagePath)
        object["imagePath"] = text(*r.imagePath);
    return object;
}

Json encodeSeries(const LibraryArchiveManifest::SeriesRecord &r, const QString &path)
{
    return {{"id", identifier(r.id)},
            {"title", text(r.title)},
            {"createdAt", dateText(r.createdAt, child(path, "createdAt"))}};
}

// ---- Reading

struct DecodeFailure {
    ManifestDecodingError error;
};

[[noreturn]] void fail(ManifestDecodingError::Kind kind, const QString &path, const QString &detail = {})
{
    throw DecodeFailure{{kind, path, detail}};
}

// One JSON object being read, with the path that names it in errors.
class Reader {
public:
    Reader(const Json &value, QString path) : m_path(std::move(path))
    {
        if (!value.is_object())
            fail(ManifestDecodingError::Kind::typeMismatch, m_path, QStringLiteral("an object"));
        m_object = &value;
    }

    qint64 integer(const char *key) const { return toInteger(required(key), child(m_path, key)); }
    std::optional<qint64> optionalInteger(const char *key) const { return optional(key, toInteger); }
    double number(const char *key) const
    {
        const Json &v = required(key);
        if (!v.is_number())
            fail(ManifestDecodingError::Kind::typeMismatch, child(m_path, key), QStringLiteral("a number"));
        return v.get<double>(); // the parser refuses numbers beyond a double's range
    }
    QString text(const char *key) const { return toText(required(key), child(m_path, key)); }
    std::optional<QString> optionalText(const char *key) const { return optional(key, toText); }
    QUuid identifier(const char *key) const { return toIdentifier(required(key), child(m_path, key)); }
    std::optional<QUuid> optionalIdentifier(const char *key) const { return optional(key, toIdentifier); }
    Date date(const char *key) const
    {
        const QString path = child(m_path, key);
        const auto parsed = parseDate(toText(required(key), path));
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
        const Json &items = required(key);
        if (!items.is_array())
            fail(ManifestDecodingError::Kind::typeMismatch, path, QStringLiteral("an array"));
        QList<decltype(decode(std::declval<const Reader &>()))> result;
        result.reserve(qsizetype(items.size()));
        for (size_t i = 0; i < items.size(); ++i)
            result.append(decode(Reader(items[i], element(path, qsizetype(i)))));
        return result;
    }

private:
    // An optional field: absent or null is no value.
    template <typename Convert>
    auto optional(const char *key, Convert convert) const -> std::optional<decltype(convert(Json(), QString()))>
    {
        const auto found = m_object->find(key);
        if (found == m_object->end() || found->is_null())
            return std::nullopt;
        return convert(*found, child(m_path, key));
    }

    const Json &required(const char *key) const
    {
        const auto found = m_object->find(key);
        if (found == m_object->end())
            fail(ManifestDecodingError::Kind::keyNotFound, m_path, QLatin1String(key));
        if (found->is_null())
            fail(ManifestDecodingError::Kind::valueNotFound, child(m_path, key));
        return *found;
    }

    static qint64 toInteger(const Json &v, const QString &path)
    {
        if (v.is_number_unsigned()) {
            const auto value = v.get<quint64>();
            if (value <= quint64(std::numeric_limits<qint64>::max()))
                return qint64(value);
        } else if (v.is_number_integer()) {
            return v.get<qint64>();
        } else if (v.is_number_float()) {
            // A whole number written with a fraction or an exponent, taken
            // only where a double holds it exactly.
            const double d = v.get<double>();
            constexpr double exactLimit = 9007199254740992.0; // 2^53
            if (std::abs(d) <= exactLimit && d == std::trunc(d))
                return qint64(d);
        } else {
            fail(ManifestDecodingError::Kind::typeMismatch, path, QStringLiteral("an integer"));
        }
        fail(ManifestDecodingError::Kind::dataCorrupted, path, QStringLiteral("a whole number that fits in 64 bits"));
    }

    static QString toText(const Json &v, const QString &path)
    {
        if (!v.is_string())
            fail(ManifestDecodingError::Kind::typeMismatch, path, QStringLiteral("a string"));
        const auto &bytes = v.get_ref<const std::string &>();
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    }

    static QUuid toIdentifier(const Json &v, const QString &path)
    {
        const std::optional<QUuid> id = uuidFromText(toText(v, path));
        if (!id)
            fail(ManifestDecodingError::Kind::dataCorrupted, path,
                 QStringLiteral("an identifier such as 3F2504E0-4F89-41D3-9A0C-0305E82C3301"));
        return *id;
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

    const Json *m_object = nullptr;
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

// The JSON text as the parser reads it: every run of white space outside
// strings given as one blank, which reads the same (RFC 8259 tells values
// apart by structure only), so that white space never piles up in the
// parser's token buffer. The original line and column of each byte handed
// out are kept for the current piece, for error messages.
class CompactText : public std::streambuf {
public:
    explicit CompactText(const LibraryArchiveManifest::TextReader &read) : m_read(read) {}

    bool startsWithByteOrderMark()
    {
        while (m_rawEnd < 3 && !m_atEnd)
            fillRaw(m_rawEnd);
        return m_rawEnd >= 3 && std::memcmp(m_raw, "\xEF\xBB\xBF", 3) == 0;
    }

    bool failed() const { return m_failed; }

    // `message` of the parser ("parse error at line 1, column 9: ...")
    // with the position in the original text.
    QString withOriginalPosition(const std::string &message) const
    {
        QString text = QString::fromStdString(message);
        // "[json.exception.parse_error.101] parse error at ...": the text
        // after the bracketed identifier.
        text.remove(0, text.indexOf(QLatin1String("] ")) + 2);
        static const QRegularExpression position(QStringLiteral("at line \\d+, column \\d+"));
        const qint64 index = m_errorByte - 1 - m_outStart;
        if (index >= 0 && index < m_outLength) {
            text.replace(position, QStringLiteral("at line %1, column %2")
                                       .arg(m_lines[size_t(index)])
                                       .arg(m_columns[size_t(index)]));
        }
        return text;
    }
    void setErrorByte(qint64 byte) { m_errorByte = byte; }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr())
            return traits_type::to_int_type(*gptr());
        m_outStart += m_outLength;
        m_outLength = 0;
        while (m_outLength == 0) {
            if (m_rawNext == m_rawEnd) {
                if (m_atEnd)
                    return traits_type::eof();
                m_rawNext = m_rawEnd = 0;
                fillRaw(0);
                continue;
            }
            while (m_rawNext < m_rawEnd && m_outLength < pieceSize) {
                // The rest of a run of blanks is only counted.
                if (m_lastWasBlank && !m_inString) {
                    for (char b; m_rawNext < m_rawEnd && ((b = m_raw[m_rawNext]) == ' ' || b == '\n' || b == '\t' || b == '\r');
                         ++m_rawNext) {
                        if (b == '\n') {
                            ++m_line;
                            m_column = 1;
                        } else {
                            ++m_column;
                        }
                    }
                    if (m_rawNext == m_rawEnd)
                        break;
                }
                const char c = m_raw[m_rawNext++];
                const bool blank = !m_inString && (c == ' ' || c == '\t' || c == '\n' || c == '\r');
                if (!blank || !m_lastWasBlank) {
                    m_out[m_outLength] = blank ? ' ' : c;
                    m_lines[size_t(m_outLength)] = m_line;
                    m_columns[size_t(m_outLength)] = m_column;
                    ++m_outLength;
                }
                m_lastWasBlank = blank;
                if (m_inString) {
                    if (m_escaped)
                        m_escaped = false;
                    else if (c == '\\')
                        m_escaped = true;
                    else if (c == '"')
                        m_inString = false;
                } else if (c == '"') {
                    m_inString = true;
                }
                if (c == '\n') {
                    ++m_line;
                    m_column = 1;
                } else {
                    ++m_column;
                }
            }
        }
        setg(m_out, m_out, m_out + m_outLength);
        return traits_type::to_int_type(*gptr());
    }

private:
    static constexpr qint64 pieceSize = 64 * 1024;

    void fillRaw(qint64 at)
    {
        const qint64 got = m_read(m_raw + at, pieceSize - at);
        if (got < 0)
            m_failed = true;
        if (got <= 0)
            m_atEnd = true;
        else
            m_rawEnd = at + got;
    }

    const LibraryArchiveManifest::TextReader &m_read;
    char m_raw[pieceSize];
    qint64 m_rawNext = 0;
    qint64 m_rawEnd = 0;
    char m_out[pieceSize];
    qint64 m_outLength = 0;
    qint64 m_outStart = 0; // bytes handed out before the current piece
    std::vector<qint64> m_lines = std::vector<qint64>(size_t(pieceSize));
    std::vector<qint64> m_columns = std::vector<qint64>(size_t(pieceSize));
    qint64 m_line = 1;
    qint64 m_column = 1;
    qint64 m_errorByte = 0;
    bool m_inString = false;
    bool m_escaped = false;
    bool m_lastWasBlank = false;
    bool m_atEnd = false;
    bool m_failed = false;
};

// Builds the document as nlohmann::json's own parser does, counting what
// its values take, and stops once that passes the limit. The elements of
// the top-level "series" and "images" arrays are not kept in it: each is
// decoded into its record as soon as it is read, then let go (the document
// holds empty arrays in their place), so that a manifest of a million
// records is never held twice. The records and the first failure of each
// list are then taken in place of the document's (takeList), which gives
// the errors that decoding the whole document would.
class BoundedDocument {
    using Builder = nlohmann::detail::json_sax_dom_parser<Json>;

public:
    BoundedDocument(Json &document, qint64 limit) : m_builder(document, false), m_limit(limit) {}

    bool tooLarge() const { return m_tooLarge; }
    const std::string &errorMessage() const { return m_error; }
    void setText(CompactText *text) { m_text = text; }

    bool null() { return take(valueSize) && scalar([](Builder &b) { return b.null(); }); }
    bool boolean(bool value) { return take(valueSize) && scalar([&](Builder &b) { return b.boolean(value); }); }
    bool number_integer(Json::number_integer_t value)
    {
        return take(valueSize) && scalar([&](Builder &b) { return b.number_integer(value); });
    }
    bool number_unsigned(Json::number_unsigned_t value)
    {
        return take(valueSize) && scalar([&](Builder &b) { return b.number_unsigned(value); });
    }
    bool number_float(Json::number_float_t value, const std::string &text)
    {
        return take(valueSize) && scalar([&](Builder &b) { return b.number_float(value, text); });
    }
    bool string(std::string &value)
    {
        return take(valueSize + stringSize + qint64(value.size()))
            && scalar([&](Builder &b) { return b.string(value); });
    }
    bool binary(Json::binary_t &value)
    {
        return take(valueSize + qint64(value.size())) && scalar([&](Builder &b) { return b.binary(value); });
    }
    bool start_object(std::size_t size)
    {
        return take(valueSize + containerSize) && startContainer(false, [&](Builder &b) { return b.start_object(size); });
    }
    bool key(std::string &value)
    {
        if (!take(memberSize + qint64(value.size())))
            return false;
        if (m_depth == 1 && !m_element) {
            m_pendingList = value == "series" ? List::series : value == "images" ? List::images : List::none;
            if (m_pendingList != List::none)
                m_lists[int(m_pendingList)] = {}; // a later member of the same name replaces an earlier one
        }
        return forward([&](Builder &b) { return b.key(value); });
    }
    bool end_object() { return endContainer([](Builder &b) { return b.end_object(); }); }
    bool start_array(std::size_t size)
    {
        return take(valueSize + containerSize) && startContainer(true, [&](Builder &b) { return b.start_array(size); });
    }
    bool end_array() { return endContainer([](Builder &b) { return b.end_array(); }); }
    bool parse_error(std::size_t position, const std::string &token, const nlohmann::detail::exception &error)
    {
        m_error = error.what();
        if (m_text)
            m_text->setErrorByte(qint64(position));
        return m_builder.parse_error(position, token, error);
    }

    // The records of the top-level list `key` ("series" or "images") read
    // as they came, or the first failure among them, when the document
    // holds an array there; else `decoded`, the document's own.
    template <class Record>
    QList<Record> takeList(const char *key, QList<Record> decoded)
    {
        ListState &list = m_lists[qstrcmp(key, "series") == 0 ? int(List::series) : int(List::images)];
        if (!list.streamed)
            return decoded;
        if (list.error)
            throw DecodeFailure{*list.error};
        if constexpr (std::is_same_v<Record, LibraryArchiveManifest::SeriesRecord>)
            return std::move(list.series);
        else
            return std::move(list.images);
    }

private:
    enum class List { series, images, none };
    struct ListState {
        bool streamed = false;
        qsizetype count = 0;
        std::optional<ManifestDecodingError> error;
        QList<LibraryArchiveManifest::SeriesRecord> series;
        QList<LibraryArchiveManifest::ImageRecord> images;
    };

    // Roughly what nlohmann::json takes for a value, a string's own block,
    // an object or array, and an object's member.
    static constexpr qint64 valueSize = 16;
    static constexpr qint64 stringSize = 32;
    static constexpr qint64 containerSize = 48;
    static constexpr qint64 memberSize = 96;

    bool take(qint64 bytes)
    {
        m_size += bytes;
        if (m_size > m_limit)
            m_tooLarge = true;
        return !m_tooLarge;
    }

    template <class Event>
    bool forward(Event event)
    {
        return event(m_element ? *m_elementBuilder : m_builder);
    }

    // A value that is not a list's array ends the wait for one.
    template <class Event>
    bool scalar(Event event)
    {
        if (m_list != List::none && m_depth == m_listDepth && !m_element) {
            beginElement();
            const bool ok = event(*m_elementBuilder);
            endElement();
            return ok;
        }
        if (m_depth == 1)
            m_pendingList = List::none;
        return forward(event);
    }

    template <class Event>
    bool startContainer(bool isArray, Event event)
    {
        bool ok;
        if (m_list != List::none && m_depth == m_listDepth && !m_element) {
            beginElement();
            ok = event(*m_elementBuilder);
        } else if (m_depth == 1 && m_pendingList != List::none && isArray && !m_element) {
            // The list's array: an empty one in the document.
            m_list = m_pendingList;
            m_listDepth = m_depth + 1;
            m_lists[int(m_list)].streamed = true;
            ok = m_builder.start_array(0);
        } else {
            ok = forward(event);
        }
        if (m_depth == 1)
            m_pendingList = List::none;
        ++m_depth;
        return ok;
    }

    template <class Event>
    bool endContainer(Event event)
    {
        --m_depth;
        if (m_list != List::none && !m_element && m_depth == m_listDepth - 1) {
            m_list = List::none;
            return m_builder.end_array();
        }
        const bool ok = forward(event);
        if (m_element && m_depth == m_listDepth)
            endElement();
        return ok;
    }

    void beginElement()
    {
        m_element = std::make_unique<Json>();
        m_elementBuilder = std::make_unique<Builder>(*m_element, false);
    }

    // Decodes the element just read, unless an earlier one of its list failed.
    void endElement()
    {
        ListState &list = m_lists[int(m_list)];
        const qsizetype index = list.count++;
        if (!list.error) {
            const bool isSeries = m_list == List::series;
            const QString path = element(child(QString(), isSeries ? "series" : "images"), index);
            try {
                const Reader reader(*m_element, path);
                if (isSeries)
                    list.series.append(decodeSeries(reader));
                else
                    list.images.append(decodeImage(reader));
            } catch (const DecodeFailure &failure) {
                list.error = failure.error;
                list.series.clear();
                list.images.clear();
            }
        }
        m_elementBuilder.reset();
        m_element.reset();
    }

    Builder m_builder;
    qint64 m_limit;
    qint64 m_size = 0;
    bool m_tooLarge = false;
    std::string m_error;
    CompactText *m_text = nullptr;
    int m_depth = 0;
    List m_pendingList = List::none; // a top-level member whose value may be a list's array
    List m_list = List::none;        // the list whose array is being read
    int m_listDepth = 0;             // the depth of its elements
    ListState m_lists[2];
    std::unique_ptr<Json> m_element; // the element being read
    std::unique_ptr<Builder> m_elementBuilder;
};

} // namespace

LibraryArchiveManifest::Application LibraryArchiveManifest::Application::current()
{
    return applicationInformation();
}

Result<QByteArray, ManifestEncodingError> LibraryArchiveManifest::encoded() const
{
    try {
        const Json root{
            {"formatVersion", formatVersion},
            {"exportedAt", dateText(exportedAt, QStringLiteral("exportedAt"))},
            {"application", {{"name", text(application.name)}, {"version", text(application.version)},
                             {"build", text(application.build)}}},
            {"series", array(series, QStringLiteral("series"), encodeSeries)},
            {"images", array(images, QStringLiteral("images"), encodeImage)},
        };
        const std::string json = root.dump(4, ' ', false, Json::error_handler_t::replace);
        return QByteArray(json.data(), qsizetype(json.size()));
    } catch (const EncodeFailure &failure) {
        return failure.error;
    }
}

Result<LibraryArchiveManifest, ManifestDecodingError> LibraryArchiveManifest::decoded(const QByteArray &json)
{
    qsizetype at = 0;
    bool tooLarge = false;
    return decoded(
        [&](char *into, qint64 max) {
            const qint64 n = qMin<qint64>(max, json.size() - at);
            std::memcpy(into, json.constData() + at, size_t(n));
            at += n;
            return n;
        },
        maximumDecodedSize, &tooLarge);
}

Result<LibraryArchiveManifest, ManifestDecodingError>
LibraryArchiveManifest::decoded(const TextReader &read, qint64 sizeLimit, bool *tooLarge)
{
    *tooLarge = false;
    const auto invalid = [](const QString &detail) {
        return ManifestDecodingError{ManifestDecodingError::Kind::invalidJson, QString(), detail};
    };
    const auto compact = std::make_unique<CompactText>(read);
    CompactText &text = *compact;
    // JSON text exchanged between systems carries no byte order mark
    // (RFC 8259, section 8.1); the parser would pass over one unseen.
    if (text.startsWithByteOrderMark())
        return invalid(QStringLiteral("it begins with a byte order mark"));
    Json document;
    BoundedDocument builder(document, sizeLimit);
    builder.setText(&text);
    std::istream stream(&text);
    const bool parsed = Json::sax_parse(stream, &builder);
    if (builder.tooLarge()) {
        *tooLarge = true;
        return invalid(QStringLiteral("its values are too large"));
    }
    if (text.failed())
        return invalid(QStringLiteral("its text could not be read"));
    if (!parsed)
        return invalid(text.withOriginalPosition(builder.errorMessage()));
    try {
        const Reader root(document, QString());
        LibraryArchiveManifest manifest;
        manifest.formatVersion = root.integer("formatVersion");
        manifest.exportedAt = root.date("exportedAt");
        const Reader application = root.object("application");
        manifest.application = {application.text("name"), application.text("version"), application.text("build")};
        manifest.series = builder.takeList("series", root.list("series", decodeSeries));
        manifest.images = builder.takeList("images", root.list("images", decodeImage));
        return manifest;
    } catch (const DecodeFailure &failure) {
        return failure.error;
    }
}
