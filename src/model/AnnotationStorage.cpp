#include "model/AnnotationStorage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <cstring>

namespace AnnotationStorage {

QVariant linksToColumn(const std::optional<QList<AnnotationLink>> &links)
{
    if (!links)
        return QVariant();
    QJsonArray array;
    for (const AnnotationLink &link : *links) {
        QJsonObject object;
        object.insert(QStringLiteral("id"), link.id.toString(QUuid::WithoutBraces));
        object.insert(QStringLiteral("label"), link.label);
        object.insert(QStringLiteral("urlString"), link.urlString);
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<AnnotationLink> linksFromColumn(const QString &text)
{
    QList<AnnotationLink> links;
    const QJsonArray array = QJsonDocument::fromJson(text.toUtf8()).array();
    links.reserve(array.size());
    for (const QJsonValue &item : array) {
        const QJsonObject object = item.toObject();
        links.append({QUuid::fromString(object.value(QStringLiteral("id")).toString()),
                      object.value(QStringLiteral("label")).toString(),
                      object.value(QStringLiteral("urlString")).toString()});
    }
    return links;
}

QByteArray verticesToColumn(const QList<Vertex> &vertices)
{
    QByteArray bytes(vertices.size() * 16, Qt::Uninitialized);
    char *out = bytes.data();
    for (const Vertex &vertex : vertices) {
        for (double value : {vertex.x, vertex.y}) {
            quint64 bits;
            std::memcpy(&bits, &value, sizeof bits);
            qToLittleEndian(bits, out);
            out += 8;
        }
    }
    return bytes;
}

QList<Vertex> verticesFromColumn(const QByteArray &bytes)
{
    QList<Vertex> vertices;
    const qsizetype count = bytes.size() / 16;
    vertices.reserve(count);
    const char *in = bytes.constData();
    for (qsizetype i = 0; i < count; ++i) {
        double values[2];
        for (double &value : values) {
            const quint64 bits = qFromLittleEndian<quint64>(in);
            std::memcpy(&value, &bits, sizeof value);
            in += 8;
        }
        vertices.append({values[0], values[1]});
    }
    return vertices;
}

} // namespace AnnotationStorage
