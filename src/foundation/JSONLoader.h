#pragma once

#include <QByteArray>
#include <QFuture>
#include <QPromise>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
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
// a URL, a cache backed by remote copies, or bytes. Every load runs on a
// worker and answers with a future; failures are logged on the "Filing"
// channel and carried by the future as JSONLoadingError (which result()
// throws).
class JSONLoader {
public:
    // "<resources>/<resourcePath>/<name>", with `extension` added when the
    // name has none, loaded as any URL is: a resource the bundle does not
    // hold fails as failedDecoding. Only a bundle without a resource folder
    // fails as fileNotFound.
    template <JSONDecodable T>
    QFuture<T> load(const QString &name, const QString &resourcePath, const QString &extension,
                    std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return run<T>([name, resourcePath, extension, strategy] {
            const auto url = resourceURL(name, resourcePath, extension);
            if (!url) {
                logFailure(QStringLiteral("Couldn't find ") + resourcePath + QStringLiteral(" in bundle"));
                throw JSONLoadingError::fileNotFound;
            }
            return loadURL<T>(*url, strategy);
        });
    }

    template <JSONDecodable T>
    QFuture<T> load(const QUrl &url, std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return run<T>([url, strategy] { return loadURL<T>(url, strategy); });
    }

    template <JSONDecodable T>
    QFuture<T> load(const std::optional<QUrl> &cachedAt, const QList<QUrl> &backedBy, bool refresh,
                    std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return run<T>([cachedAt, backedBy, refresh, strategy] {
            const auto data = readCached(cachedAt, backedBy, refresh);
            if (!data)
                throw JSONLoadingError::fileNotFound;
            return decode<T>(*data, strategy);
        });
    }

    template <JSONDecodable T>
    QFuture<T> load(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy = std::nullopt) const
    {
        return run<T>([data, strategy] { return decode<T>(data, strategy); });
    }

    // Decodes `data` on the calling thread; throws JSONLoadingError::failedDecoding
    // (after logging why) when it is not a T.
    template <JSONDecodable T>
    static T decode(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy = std::nullopt)
    {
        return decodeOrThrow<T>(Read{data, {}}, strategy, QStringLiteral("Couldn't load/parse JSON: "));
    }

    // `key` in camel case: of the words between its inner underscores, the
    // first in lower case and each later one capitalised ("My_URL_value"
    // gives "myUrlValue"). Leading and trailing underscores stay
    // ("_my_url_" gives "_myUrl_"); a key of one word stays as it is.
    static QString convertFromSnakeCase(const QString &key);

private:
    struct Read {
        std::optional<QByteArray> data;
        QString error;
    };

    // The resource's URL, whether or not the file is there; none when the
    // main bundle has no resource folder.
    static std::optional<QUrl> resourceURL(const QString &name, const QString &resourcePath, const QString &extension);
    static QThreadPool *pool();

    template <JSONDecodable T>
    static T loadURL(const QUrl &url, std::optional<KeyDecodingStrategy> strategy)
    {
        return decodeOrThrow<T>(read(url), strategy, failurePrefix(url));
    }

    // Runs `work` on the files pool; a JSONLoadingError it throws fails the future.
    template <typename T, typename Work>
    static QFuture<T> run(Work work)
    {
        return QtConcurrent::run(pool(), [work = std::move(work)](QPromise<T> &promise) {
            try {
                promise.addResult(work());
            } catch (JSONLoadingError error) {
                promise.setException(std::make_exception_ptr(error));
            }
        });
    }
    static Read read(const QUrl &url);
    static std::optional<QByteArray> readCached(const std::optional<QUrl> &cachedAt, const QList<QUrl> &backedBy,
                                                bool refresh);
    // The parsed value with its keys read by `strategy`; none with `error` set when it does not parse.
    static std::optional<QJsonValue> parse(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy,
                                           QString *error);
    static void logFailure(const QString &message);
    // The start of the line logged when the URL's JSON cannot be loaded.
    static QString failurePrefix(const QUrl &url);

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
