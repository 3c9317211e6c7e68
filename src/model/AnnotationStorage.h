#pragma once

#include "model/AnnotationLink.h"
#include "model/Vertex.h"

#include <QByteArray>
#include <QList>
#include <QVariant>

#include <optional>

// How annotation values are kept in their rows: links as the JSON list of
// their encoded form (NULL when absent, "[]" when empty), vertices as
// little-endian pairs of doubles (exact to the bit).
namespace AnnotationStorage {

QVariant linksToColumn(const std::optional<QList<AnnotationLink>> &links);
// The links of a column that is not NULL.
QList<AnnotationLink> linksFromColumn(const QString &text);

QByteArray verticesToColumn(const QList<Vertex> &vertices);
QList<Vertex> verticesFromColumn(const QByteArray &bytes);

} // namespace AnnotationStorage
