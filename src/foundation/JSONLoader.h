#pragma once

#include <QByteArray>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUrl>

#include <concepts>
#include <optional>

// Why a JSON value could not be loaded.
enum class JSONLoadingError {
    fileNotFound,   // no resource folder, or no cached or backing copy gave bytes
    failedDecoding, // the bytes could not be read, or are not the expected value
};

// How object keys are read: as written, or "snake_case" as "snakeCase".
enum class KeyDecodingStrategy { useDefaultKeys, convertFromSnakeCase };

// A type read from JSON by `static R fromJson(const QJsonValue &)`, where R
// tells success (contextually bool), holds the value (value()) and says
// what was wrong otherwise (error()).
template <typename T>
concept JSONDecodable = requires(const QJsonValue &json) {
    { static_cast<bool>(T::fromJson(json)) };
    { T::fromJson(json).value() } -> std::convertible_to<T>;
    { T::fromJson(json).error() } -> std::convertible_to<QString>;
};

// Loads a value of a JSON-decodable type from the application's resources,
// a URL, a cache backed by remote copies, or bytes. Reading happens on the
// calling thread. Failures are logged on the "Filing" channel and thrown
// as JSONLoadingError.
class JSONLoader {
public:
    // "<resources>/<resourcePath>/<name>", with `extension` added when the
    // name has none.
    template <JSONDecodable T>
    T load(const QString &name, const QString &resourcePath, const QString &extension,
           std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return load<T>(resourceURL(name, resourcePath, extension), strategy);
    }

    template <JSONDecodable T>
    T load(const QUrl &url, std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return decodeOrThrow<T>(read(url), strategy, QStringLiteral("Couldn't load/parse JSON from ") + url.toString()
                                                         + QStringLiteral(": "));
    }

    template <JSONDecodable T>
    T load(const std::optional<QUrl> &cachedAt, const QList<QUrl> &backedBy, bool refresh,
           std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        const auto data = readCached(cachedAt, backedBy, refresh);
        if (!data)
            throw JSONLoadingError::fileNotFound;
        return load<T>(*data, strategy);
    }

    template <JSONDecodable T>
    T load(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return decodeOrThrow<T>(Read{data, {}}, strategy, QStringLiteral("Couldn't load/parse JSON: "));
    }

    // `key` with each "_word" turned into "Word"; leading and trailing
    // underscores stay ("_my_url_" gives "_myUrl_").
    static QString convertFromSnakeCase(const QString &key);

private:
    struct Read {
        std::optional<QByteArray> data;
        QString error;
    };

    static QUrl resourceURL(const QString &name, const QString &resourcePath, const QString &extension);
    static Read read(const QUrl &url);
    static std::optional<QByteArray> readCached(const std::optional<QUrl> &cachedAt, const QList<QUrl> &backedBy,
                                                bool refresh);
    // The parsed value with its keys read by `strategy`; none with `error` set when it does not parse.
    static std::optional<QJsonValue> parse(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy,
                                           QString *error);
    static void logFailure(const QString &message);

    template <JSONDecodable T>
    static T decodeOrThrow(const Read &read, std::optional<KeyDecodingStrategy> strategy, const QString &prefix)
    {
        QString error = read.error;
        if (read.data) {
            if (const auto json = parse(*read.data, strategy, &error)) {
                auto decoded = T::fromJson(*json);
                if (decoded)
                    return decoded.value();
                error = decoded.error();
            }
        }
        logFailure(prefix + error);
        throw JSONLoadingError::failedDecoding;
    }
};
