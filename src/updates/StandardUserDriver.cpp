#include "updates/StandardUserDriver.h"

#include "ui/AlertDialog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

std::optional<UpdateMessage> updateResultMessage(const SPUUpdateResult &result, const QString &applicationName,
                                                 const QString &installedVersion)
{
    switch (result.kind) {
    case SPUUpdateResult::Kind::NoFeed:
        return UpdateMessage{QStringLiteral("Updates Are Not Available"),
                             QStringLiteral("%1 cannot check for updates.").arg(applicationName),
                             QStringLiteral("This copy of %1 has no update feed configured.").arg(applicationName)};
    case SPUUpdateResult::Kind::UpToDate:
        return UpdateMessage{QStringLiteral("Software Update"), QStringLiteral("You’re up to date!"),
                             QStringLiteral("%1 %2 is currently the newest version available.")
                                 .arg(applicationName, installedVersion)};
    case SPUUpdateResult::Kind::Failed:
        return UpdateMessage{QStringLiteral("Update Error!"),
                             result.item ? QStringLiteral("The update could not be downloaded.")
                                         : QStringLiteral("An error occurred in retrieving update information."),
                             result.message};
    case SPUUpdateResult::Kind::Downloaded:
        return UpdateMessage{QStringLiteral("Software Update"),
                             QStringLiteral("%1 %2 has been downloaded.")
                                 .arg(applicationName, result.item ? result.item->displayVersionString : QString()),
                             QStringLiteral("The archive was checked and saved as “%1”.").arg(result.filePath)};
    case SPUUpdateResult::Kind::Declined:
    case SPUUpdateResult::Kind::Cancelled:
        break;
    }
    return std::nullopt;
}

UpdateMessage updateFoundMessage(const SUAppcastItem &item, const QString &applicationName,
                                 const QString &installedVersion)
{
    return UpdateMessage{QStringLiteral("Software Update"),
                         QStringLiteral("A new version of %1 is available!").arg(applicationName),
                         QStringLiteral("%1 %2 is now available—you have %3. Would you like to download it now?")
                             .arg(applicationName, item.displayVersionString, installedVersion)};
}

namespace {

// The application's alert over the window the user works in: the message in
// bold, the informative text under it.
AlertDialog *makeAlert(const UpdateMessage &message, const QList<AlertDialog::Button> &buttons)
{
    auto *alert = new AlertDialog(message.text, message.informativeText, buttons, QApplication::activeWindow());
    alert->setWindowTitle(message.title);
    alert->setAttribute(Qt::WA_DeleteOnClose);
    return alert;
}

} // namespace

StandardUserDriver::StandardUserDriver(QString applicationName, QString installedVersion)
    : m_applicationName(std::move(applicationName)), m_installedVersion(std::move(installedVersion))
{
}

void StandardUserDriver::showUpdateFound(const SUAppcastItem &item, SPUUpdateCheck, std::function<void(bool)> reply)
{
    AlertDialog *alert = makeAlert(updateFoundMessage(item, m_applicationName, m_installedVersion),
                                   {{QStringLiteral("Download Update"), AlertDialog::Role::plain},
                                    {QStringLiteral("Remind Me Later"), AlertDialog::Role::cancel}});
    if (!item.itemDescription.isEmpty())
        alert->addDetails(item.itemDescription);
    // Escape and the close button answer "Remind Me Later".
    QObject::connect(alert, &QDialog::finished, alert, [reply](int result) { reply(result == QDialog::Accepted); });
    alert->open();
}

void StandardUserDriver::showUpdateResult(const SPUUpdateResult &result)
{
    const auto message = updateResultMessage(result, m_applicationName, m_installedVersion);
    if (!message)
        return;
    QList<AlertDialog::Button> buttons{{QStringLiteral("OK"), AlertDialog::Role::plain}};
    if (result.kind == SPUUpdateResult::Kind::Downloaded)
        buttons.append({QStringLiteral("Show in Folder"), AlertDialog::Role::plain});
    AlertDialog *alert = makeAlert(*message, buttons);
    const QString folder = QFileInfo(result.filePath).absolutePath();
    QObject::connect(alert, &AlertDialog::buttonPressed, alert, [folder](int button) {
        if (button == 1)
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
    alert->open();
}
