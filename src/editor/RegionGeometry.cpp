#include "editor/RegionGeometry.h"

#include <algorithm>

namespace RegionGeometry {

QList<EdgeMidpoint> edgeMidpoints(const QList<Vertex> &vertices)
{
    QList<EdgeMidpoint> midpoints;
    const int n = int(vertices.size());
    if (n < 3)
        return midpoints;
    midpoints.reserve(n);
    for (int i = 0; i < n; ++i) {
        const Vertex &a = vertices[i];
        const Vertex &b = vertices[(i + 1) % n];
        midpoints.append(EdgeMidpoint{i, {(a.x + b.x) * 0.5, (a.y + b.y) * 0.5}});
    }
    return midpoints;
}

std::optional<QList<Vertex>> insertingMidpoint(const QList<Vertex> &vertices, int afterIndex)
{
    const int n = int(vertices.size());
    if (n < 2 || afterIndex < 0 || afterIndex >= n)
        return std::nullopt;
    const Vertex &a = vertices[afterIndex];
    const Vertex &b = vertices[(afterIndex + 1) % n];
    QList<Vertex> result = vertices;
    result.insert(afterIndex + 1, Vertex{(a.x + b.x) * 0.5, (a.y + b.y) * 0.5});
    return result;
}

bool canRemoveVertex(const QList<Vertex> &vertices, int index)
{
    return vertices.size() >= 4 && index >= 0 && index < vertices.size();
}

std::optional<QList<Vertex>> removingVertex(const QList<Vertex> &vertices, int index)
{
    if (!canRemoveVertex(vertices, index))
        return std::nullopt;
    QList<Vertex> result = vertices;
    result.removeAt(index);
    return result;
}

namespace {

// The movement along one axis that keeps [low, high] within 0 to 1.
double limitedMovement(double movement, double low, double high)
{
    const double lowest = -low, highest = 1 - high;
    if (highest < lowest)
        return 0;
    return std::clamp(movement, lowest, highest);
}

} // namespace

QList<Vertex> translated(const QList<Vertex> &baseline, const QPointF &delta)
{
    if (baseline.isEmpty())
        return baseline;
    const auto [minX, maxX] = std::minmax_element(baseline.begin(), baseline.end(),
                                                  [](const Vertex &a, const Vertex &b) { return a.x < b.x; });
    const auto [minY, maxY] = std::minmax_element(baseline.begin(), baseline.end(),
                                                  [](const Vertex &a, const Vertex &b) { return a.y < b.y; });
    const double dx = limitedMovement(delta.x(), minX->x, maxX->x);
    const double dy = limitedMovement(delta.y(), minY->y, maxY->y);
    QList<Vertex> result = baseline;
    for (Vertex &vertex : result) {
        vertex.x += dx;
        vertex.y += dy;
    }
    return result;
}

QPointF unitTranslation(const QPointF &viewTranslation, const CanvasGeometry &geometry)
{
    const QSizeF size = geometry.fitted.rect.size();
    const double scale = geometry.transform.scale;
    if (!(size.width() > 0 && size.height() > 0 && scale > 0))
        return {0, 0};
    return {viewTranslation.x() / (scale * size.width()), viewTranslation.y() / (scale * size.height())};
}

QPointF limitedToImage(const QPointF &point)
{
    return {std::clamp(point.x(), 0.0, 1.0), std::clamp(point.y(), 0.0, 1.0)};
}

} // namespace RegionGeometry
