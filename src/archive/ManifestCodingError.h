#pragma once

#include <QString>

// Why "library.json" could not be read. `codingPath` names the value, such
// as images[2].points[0].x; empty for the document itself.
struct ManifestDecodingError {
    enum class Kind {
        invalidJson,  // not a JSON document
        keyNotFound,  // a required key is absent
        valueNotFound, // a required key holds null
        typeMismatch, // a value of another JSON type
        dataCorrupted, // right JSON type, but not a valid identifier, date or integer
    };

    Kind kind = Kind::invalidJson;
    QString codingPath;
    QString detail; // the missing key, the expected type, or the parser's message

    QString description() const;

    friend bool operator==(const ManifestDecodingError &, const ManifestDecodingError &) = default;
};

// Why a manifest has no JSON form: a number that is not finite, or a date
// outside the years that its text form can hold.
struct ManifestEncodingError {
    QString codingPath;
    QString reason; // "isn't a finite number", ...

    QString description() const;

    friend bool operator==(const ManifestEncodingError &, const ManifestEncodingError &) = default;
};
