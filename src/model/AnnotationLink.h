#pragma once

#include "model/JsonCoding.h"

#include <QJsonObject>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <optional>

// A labelled web link of an annotation. The address is kept exactly as
// typed; what it opens is derived when it is read.
struct AnnotationLink {
    QUuid id;
    QString label;
    QString urlString;

    friend bool operator==(const AnnotationLink &, const AnnotationLink &) = default;

    // The address the link opens: the trimmed text when it names its own
    // scheme, otherwise the text as an https address when that has a host.
    // Only http, https and mailto addresses are given; any other scheme
    // (javascript:, file:, data:, ...) gives none, so a shared library
    // cannot make the desktop run or open local things.
    std::optional<QUrl> url() const;

    // The trimmed label; else the site name of the address; else the
    // address text as stored.
    QString displayTitle() const;

    // {"id": UUID text, "label": ..., "urlString": ...}; all three required.
    QJsonObject toJson() const;
    static Result<AnnotationLink, QString> fromJson(const QJsonValue &json);
};

size_t qHash(const AnnotationLink &link, size_t seed = 0) noexcept;
