#pragma once

#include "model/JsonCoding.h"

#include <QJsonObject>

// One corner of a region, in unit image coordinates (0 to 1 of the
// image's width and height).
struct Vertex {
    double x = 0;
    double y = 0;

    friend bool operator==(const Vertex &, const Vertex &) = default;

    // {"x": x, "y": y}
    QJsonObject toJson() const;
    // Both keys are required and must be numbers.
    static Result<Vertex, QString> fromJson(const QJsonValue &json);
};

size_t qHash(const Vertex &vertex, size_t seed = 0) noexcept;
