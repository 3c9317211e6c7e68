#pragma once

#include "model/Vertex.h"

#include <QList>

#include <cmath>

// Annotation coordinates are stored as finite numbers only: a NaN becomes 0
// and an infinity the nearest image edge (0 or 1). Finite values are kept
// exactly, also outside 0 to 1.
inline double finiteCoordinate(double value)
{
    if (std::isnan(value))
        return 0;
    if (std::isinf(value))
        return value > 0 ? 1 : 0;
    return value;
}

inline QList<Vertex> finiteVertices(QList<Vertex> vertices)
{
    for (Vertex &vertex : vertices) {
        vertex.x = finiteCoordinate(vertex.x);
        vertex.y = finiteCoordinate(vertex.y);
    }
    return vertices;
}
