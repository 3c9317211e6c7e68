#include "foundation/JSONLoader.h"

#include "foundation/Bundle.h"
#include "foundation/DataHelpers.h"
#include "foundation/FileSystem.h"
#include "foundation/Logger.h"
#include "foundation/Strings.h"

#include "platform/WorkerPools.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QJsonValue convertingKeys(const QJsonValue &value)
{
    if (value.isObject()) {
        QJsonObject converted;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            converted.insert(JSONLoader::convertFromSnakeCase(it.key()), convertingKeys(it.value()));
        return converted;
    }
    if (value.isArray()) {
        QJsonArray converted;
        for (const QJsonValue &element : value.toArray())
            converted.append(convertingKeys(element));
        return converted;
    }
    return value;
}

} // namespace

QString JSONLoader::convertFromSnakeCase(const QString &key)
{
    qsizetype first = 0;
    while (first < key.size() && key.at(first) == u'_')
        ++first;
    if (first == key.size())
        return key;
    qsizetype last = key.size() - 1;
    while (key.at(last) == u'_')
        --last;
    const QStringList words = key.mid(first, last - first + 1).split(QLatin1Char('_'), Qt::SkipEmptyParts);
    // One word is kept as it is: it may be in camel case already.
    if (words.size() == 1)
        return key;
    QString camel = words.first().toLower();
    for (qsizetype i = 1; i < words.size(); ++i)
        camel += words[i].left(1).toUpper() + words[i].mid(1).toLower();
    return key.left(first) + camel + key.mid(last + 1);
}

std::optional<QUrl> JSONLoader::resourceURL(const QString &name, const QString &resourcePath,
                                            const QString &extension)
{
    const QString resources = Bundle::main().resourceDirectory();
    if (resources.isEmpty() || !QFileInfo(resources).isDir())
        return std::nullopt;
    QString path = resources + QLatin1Char('/') + resourcePath + QLatin1Char('/') + name;
    if (pathExtension(name).isEmpty() && !extension.isEmpty())
        path += QLatin1Char('.') + extension;
    return path.startsWith(QLatin1Char(':')) ? QUrl(QStringLiteral("qrc") + path) : QUrl::fromLocalFile(path);
}

QThreadPool *JSONLoader::pool()
{
    return &WorkerPools::files();
}

JSONLoader::Read JSONLoader::read(const QUrl &url)
{
    Read result;
    result.data = contentsOfURL(url, &result.error);
    return result;
}

std::optional<QByteArray> JSONLoader::readCached(const std::optional<QUrl> &cachedAt, const QList<QUrl> &backedBy,
                                                 bool refresh)
{
    return contentsCachedAt(cachedAt, backedBy, refresh);
}

std::optional<QJsonValue> JSONLoader::parse(const QByteArray &data, std::optional<KeyDecodingStrategy> strategy,
                                            QString *error)
{
    QJsonParseError parseError;
    // Wrapped in an array so that a bare number, text or literal reads too.
    const QJsonDocument document = QJsonDocument::fromJson("[" + data + "\n]", &parseError);
    if (parseError.error != QJsonParseError::NoError || document.array().size() != 1) {
        *error = parseError.error != QJsonParseError::NoError ? parseError.errorString()
                                                               : QStringLiteral("The data is not one JSON value.");
        return std::nullopt;
    }
    const QJsonValue value = document.array().first();
    return strategy == KeyDecodingStrategy::convertFromSnakeCase ? convertingKeys(value) : value;
}

void JSONLoader::logFailure(const QString &message)
{
    Logger::filing().errorPublic(message);
}

QString JSONLoader::failurePrefix(const QUrl &url)
{
    return QStringLiteral("Couldn't load/parse JSON from ") + absoluteString(url) + QStringLiteral(": ");
}
