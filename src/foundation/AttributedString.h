#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

// Text with attributes (font, colour, link…) on runs of it.
struct AttributedString {
    struct Run {
        qsizetype start = 0;
        qsizetype length = 0;
        QVariantMap attributes;
        friend bool operator==(const Run &, const Run &) = default;
    };

    QString string;
    QList<Run> runs;

    AttributedString() = default;
    // `text` with `attributes` over the whole of it (none when empty).
    explicit AttributedString(const QString &text, const QVariantMap &attributes = {});

    qsizetype length() const { return string.size(); }
    void append(const AttributedString &other);

    friend bool operator==(const AttributedString &, const AttributedString &) = default;
};

// The pieces one after another with `separator` between them; pieces that
// are empty while nothing has been written yet get no separator.
AttributedString joined(const QList<AttributedString> &pieces, const AttributedString &separator);
AttributedString joined(const QList<AttributedString> &pieces, const QString &separator);
