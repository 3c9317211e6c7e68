#include "updates/StandardUserDriver.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
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

QMessageBox *makeBox(const UpdateMessage &message, QMessageBox::Icon icon)
{
    auto *box = new QMessageBox(icon, message.title, message.text, QMessageBox::NoButton,
                                QApplication::activeWindow());
    box->setInformativeText(message.informativeText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}

} // namespace

StandardUserDriver::StandardUserDriver(QString applicationName, QString installedVersion)
    : m_applicationName(std::move(applicationName)), m_installedVersion(std::move(installedVersion))
{
}

void StandardUserDriver::showUpdateFound(const SUAppcastItem &item, SPUUpdateCheck, std::function<void(bool)> reply)
{
    QMessageBox *box = makeBox(updateFoundMessage(item, m_applicationName, m_installedVersion),
                               QMessageBox::Information);
    if (!item.itemDescription.isEmpty())
        box->setDetailedText(item.itemDescription);
    QPushButton *download = box->addButton(QStringLiteral("Download Update"), QMessageBox::AcceptRole);
    box->addButton(QStringLiteral("Remind Me Later"), QMessageBox::RejectRole);
    box->setDefaultButton(download);
    QObject::connect(box, &QMessageBox::finished, box, [box, download, reply] {
        reply(box->clickedButton() == download);
    });
    box->open();
}

void StandardUserDriver::showUpdateResult(const SPUUpdateResult &result)
{
    const auto message = updateResultMessage(result, m_applicationName, m_installedVersion);
    if (!message)
        return;
    const bool failed = result.kind == SPUUpdateResult::Kind::Failed;
    QMessageBox *box = makeBox(*message, failed ? QMessageBox::Warning : QMessageBox::Information);
    box->addButton(QMessageBox::Ok);
    if (result.kind == SPUUpdateResult::Kind::Downloaded) {
        QPushButton *show = box->addButton(QStringLiteral("Show in Folder"), QMessageBox::ActionRole);
        const QString folder = QFileInfo(result.filePath).absolutePath();
        QObject::connect(show, &QPushButton::clicked, box,
                         [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); });
    }
    box->open();
}
