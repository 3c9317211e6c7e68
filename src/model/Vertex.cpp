#include "model/Vertex.h"

QJsonObject Vertex::toJson() const
{
    return QJsonObject{{QStringLiteral("x"), x}, {QStringLiteral("y"), y}};
}

DecodeResult<Vertex> Vertex::fromJson(const QJsonValue &json)
{
    const QString typeName = QStringLiteral("Vertex");
    const DecodeResult<QJsonObject> object = decodeObject(json, typeName);
    if (!object)
        return DecodeResult<Vertex>::failure(object.error());
    const DecodeResult<double> x = decodeDouble(object.value(), QStringLiteral("x"), typeName);
    if (!x)
        return DecodeResult<Vertex>::failure(x.error());
    const DecodeResult<double> y = decodeDouble(object.value(), QStringLiteral("y"), typeName);
    if (!y)
        return DecodeResult<Vertex>::failure(y.error());
    return DecodeResult<Vertex>::success(Vertex{x.value(), y.value()});
}

size_t qHash(const Vertex &vertex, size_t seed) noexcept
{
    return qHashMulti(seed, vertex.x, vertex.y);
}
