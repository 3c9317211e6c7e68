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

    // The address the text names: the trimmed text when it names its own
    // scheme, whatever that is, otherwise the text as an https address when
    // that has a host; none for an empty or blank text.
    std::optional<QUrl> address() const;

    // The address the link opens: address(), when it is an http, https or
    // mailto address. Any other scheme (javascript:, file:, data:, ftp:,
    // ...) gives none, so a shared library cannot make the desktop run or
    // open local things.
    std::optional<QUrl> url() const;

    // The trimmed label; else the site name of address(), whatever its
    // scheme ("ftp://en.anatomy.org/x" is "Anatomy"); else the address
    // text as stored.
    QString displayTitle() const;

    // {"id": UUID text, "label": ..., "urlString": ...}; all three required.
    QJsonObject toJson() const;
    static Result<AnnotationLink, QString> fromJson(const QJsonValue &json);
};

size_t qHash(const AnnotationLink &link, size_t seed = 0) noexcept;
