#include "model/Vertex.h"

QJsonObject Vertex::toJson() const
{
    return QJsonObject{{QStringLiteral("x"), x}, {QStringLiteral("y"), y}};
}

Result<Vertex, QString> Vertex::fromJson(const QJsonValue &json)
{
    const QString typeName = QStringLiteral("Vertex");
    const Result<QJsonObject, QString> object = decodeObject(json, typeName);
    if (!object)
        return Result<Vertex, QString>::failure(object.error());
    const Result<double, QString> x = decodeDouble(object.value(), QStringLiteral("x"), typeName);
    if (!x)
        return Result<Vertex, QString>::failure(x.error());
    const Result<double, QString> y = decodeDouble(object.value(), QStringLiteral("y"), typeName);
    if (!y)
        return Result<Vertex, QString>::failure(y.error());
    return Result<Vertex, QString>(Vertex{x.value(), y.value()});
}

size_t qHash(const Vertex &vertex, size_t seed) noexcept
{
    return qHashMulti(seed, vertex.x, vertex.y);
}
