#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

// One release offered by an appcast feed.
struct SUAppcastItem {
    QString title;
    QString versionString;        // the build version compared with the installed build
    QString displayVersionString; // the version shown to the user
    std::optional<QString> channel; // none: the default channel
    QUrl fileURL;                 // the enclosure
    qint64 contentLength = 0;     // 0: not given
    QByteArray sha256;            // lower-case hex digest of the enclosure
    QString itemDescription;      // release notes

    // An item can be offered only with a version, an archive address and a
    // digest to check the archive against.
    bool isValid() const;
};

// A parsed appcast: the items of its channel in document order.
struct SUAppcast {
    QList<SUAppcastItem> items;

    // Parses Sparkle's RSS layout; on failure returns none and sets `error`.
    static std::optional<SUAppcast> parse(const QByteArray &xml, QString *error = nullptr);
};
