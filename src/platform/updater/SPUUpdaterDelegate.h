#pragma once

#include "platform/updater/SUAppcast.h"

#include <QSet>
#include <QString>

#include <optional>

class QNetworkRequest;
class SPUUpdater;

// What the updater asks its delegate during a check and before a download.
// All calls come on the main thread; the allowed-channels query of a check
// always comes before that check's best-update choice.
class SPUUpdaterDelegate {
public:
    virtual ~SPUUpdaterDelegate() = default;

    // Channels besides the default one whose items the check may offer.
    virtual QSet<QString> allowedChannelsForUpdater(SPUUpdater &updater);
    // The request of an update download, before it is sent.
    virtual void updaterWillDownloadUpdate(SPUUpdater &updater, const SUAppcastItem &item, QNetworkRequest &request);
    // The update to offer among the appcast's eligible items; none leaves
    // the choice to the updater. A chosen item that is not newer than the
    // installed build is refused: the check then finds no update, whatever
    // else the appcast holds.
    virtual std::optional<SUAppcastItem> bestValidUpdateInAppcast(const SUAppcast &appcast, SPUUpdater &updater);
};
