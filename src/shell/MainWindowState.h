#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QUuid>

// The restorable state of one main window: its identifier and the opened
// image's identifier as upper-case UUID text (empty when no image is open).
//
// Its JSON form is an object with "id" (the identifier's 36-character text,
// upper-case) and "selectedImageID" (text); both keys are required.
struct MainWindowState {
    QUuid id;
    QString selectedImageID;

    // A window opened without a saved state: a new identifier, no image.
    static MainWindowState makeDefault() { return {QUuid::createUuid(), QString()}; }

    QJsonObject toJson() const;
    static Result<MainWindowState, QString> fromJson(const QJsonValue &json);

    // The bytes of a JSON array of states, in order.
    static QByteArray encodeList(const QList<MainWindowState> &states);
    // The states of such bytes; a list that is not JSON, or any element
    // that doesn't decode, fails the whole list.
    static Result<QList<MainWindowState>, QString> decodeList(const QByteArray &bytes);

    friend bool operator==(const MainWindowState &, const MainWindowState &) = default;
};
