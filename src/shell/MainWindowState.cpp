#include "shell/MainWindowState.h"

#include "model/JsonCoding.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>

namespace {

const QString typeName = QStringLiteral("MainWindowState");

} // namespace

QJsonObject MainWindowState::toJson() const
{
    return QJsonObject{{QStringLiteral("id"), uuidText(id)}, {QStringLiteral("selectedImageID"), selectedImageID}};
}

Result<MainWindowState, QString> MainWindowState::fromJson(const QJsonValue &json)
{
    const auto object = decodeObject(json, typeName);
    if (!object)
        return Result<MainWindowState, QString>::failure(object.error());
    const auto id = decodeUuid(object.value(), QStringLiteral("id"), typeName);
    if (!id)
        return Result<MainWindowState, QString>::failure(id.error());
    const auto selected = decodeString(object.value(), QStringLiteral("selectedImageID"), typeName);
    if (!selected)
        return Result<MainWindowState, QString>::failure(selected.error());
    return MainWindowState{id.value(), selected.value()};
}

QByteArray MainWindowState::encodeList(const QList<MainWindowState> &states)
{
    return QJsonDocument(toJsonArray(states)).toJson(QJsonDocument::Compact);
}

Result<QList<MainWindowState>, QString> MainWindowState::decodeList(const QByteArray &bytes)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return Result<QList<MainWindowState>, QString>::failure(error.errorString());
    if (!document.isArray())
        return Result<QList<MainWindowState>, QString>::failure(QStringLiteral("expected a list"));
    return listFromJson<MainWindowState>(document.array());
}
