#include "foundation/WebHooks.h"

#include "foundation/DataHelpers.h"
#include "foundation/Logger.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QPromise>

#include <memory>

namespace {

// Posts `body` to `endpoint`, logs "<service> response: <status>, <n> bytes"
// and fails for anything but a 2xx reply.
QFuture<void> postJSON(const QString &service, const QString &endpoint, const QJsonObject &body, int timeoutSeconds)
{
    QNetworkRequest request(QUrl(endpoint, QUrl::StrictMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("Application/json"));
    return sendRequest(request, QByteArrayLiteral("POST"), QJsonDocument(body).toJson(QJsonDocument::Compact),
                       timeoutSeconds)
        .then([service](const URLResponse &response) {
            Logger::networking().logPublic(QStringLiteral("%1 response: %2, %3 bytes")
                                               .arg(service)
                                               .arg(response.statusCode)
                                               .arg(response.data.size()));
            if (response.statusCode < 200 || response.statusCode > 299)
                throw URLError::badServerResponse(response.statusCode);
        });
}

} // namespace

QJsonObject Mattermost::body() const
{
    QJsonObject attachment{{QStringLiteral("text"), text}};
    if (fallBack)
        attachment.insert(QStringLiteral("fallback"), *fallBack);
    if (color)
        attachment.insert(QStringLiteral("color"), hexString(*color));
    QJsonObject message{{QStringLiteral("attachments"), QJsonArray{attachment}}};
    if (userName)
        message.insert(QStringLiteral("username"), *userName);
    if (icon)
        message.insert(QStringLiteral("icon_emoji"), *icon);
    return message;
}

QFuture<void> Mattermost::post(int timeoutSeconds) const
{
    return postJSON(QStringLiteral("Mattermost"), webHook, body(), timeoutSeconds);
}

QJsonObject Ntfy::body() const
{
    QJsonObject message{{QStringLiteral("topic"), topic},
                        {QStringLiteral("title"), title},
                        {QStringLiteral("message"), text}};
    if (tag)
        message.insert(QStringLiteral("tags"), QJsonArray{*tag});
    return message;
}

QFuture<void> Ntfy::post(int timeoutSeconds) const
{
    return postJSON(QStringLiteral("Ntfy"), urlString, body(), timeoutSeconds);
}
