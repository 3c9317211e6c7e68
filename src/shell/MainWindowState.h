#pragma once

#include <QString>
#include <QUuid>

// The restorable state of one main window: its identifier and the opened
// image's identifier as upper-case UUID text (empty when no image is open).
struct MainWindowState {
    QUuid id;
    QString selectedImageID;

    // A window opened without a saved state: a new identifier, no image.
    static MainWindowState makeDefault() { return {QUuid::createUuid(), QString()}; }

    friend bool operator==(const MainWindowState &, const MainWindowState &) = default;
};
