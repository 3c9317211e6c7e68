#pragma once

#include "foundation/URLError.h"
#include "foundation/WebColor.h"

#include <QFuture>
#include <QJsonObject>
#include <QString>

#include <optional>

// Posts a message with one coloured attachment to a Mattermost incoming web hook.
struct Mattermost {
    QString webHook;
    QString text;
    std::optional<QString> fallBack;
    std::optional<WebColor> color;
    std::optional<QString> userName;
    std::optional<QString> icon; // an emoji name

    // The JSON that post() sends.
    QJsonObject body() const;
    // Sends the message from the calling thread, which must run an event
    // loop, and logs the reply's status and size. The future fails with
    // URLError: BadURL for a web hook that is not a web address, TimedOut
    // after `timeoutSeconds` without progress, BadServerResponse (with the
    // status) for a status outside 2xx.
    QFuture<void> post(int timeoutSeconds = 60) const;
};

// Posts a titled message to a topic of an ntfy server.
struct Ntfy {
    QString urlString;
    QString topic;
    QString title;
    QString text;
    std::optional<QString> tag;

    QJsonObject body() const;
    // As Mattermost::post(), with a shorter time-out.
    QFuture<void> post(int timeoutSeconds = 10) const;
};
