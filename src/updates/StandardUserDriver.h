#pragma once

#include "platform/updater/SPUUserDriver.h"

#include <QPointer>
#include <QString>
#include <QWidget>

// The texts of one update dialog.
struct UpdateMessage {
    QString title;
    QString text;
    QString informativeText;
};

// What the user is told at the end of a session; none for an end that is
// not shown.
std::optional<UpdateMessage> updateResultMessage(const SPUUpdateResult &result, const QString &applicationName,
                                                 const QString &installedVersion);
// The question asked when an update is found.
UpdateMessage updateFoundMessage(const SUAppcastItem &item, const QString &applicationName,
                                 const QString &installedVersion);

// The updater's dialogs, shown as the application's alerts (AlertDialog).
class StandardUserDriver : public SPUUserDriver {
public:
    StandardUserDriver(QString applicationName, QString installedVersion);

    void showUpdateFound(const SUAppcastItem &item, SPUUpdateCheck check, std::function<void(bool)> reply) override;
    void showUpdateResult(const SPUUpdateResult &result) override;

private:
    QString m_applicationName;
    QString m_installedVersion;
};
