#include "platform/updater/SPUUpdaterDelegate.h"

QSet<QString> SPUUpdaterDelegate::allowedChannelsForUpdater(SPUUpdater &)
{
    return {};
}

void SPUUpdaterDelegate::updaterWillDownloadUpdate(SPUUpdater &, const SUAppcastItem &, QNetworkRequest &)
{
}

std::optional<SUAppcastItem> SPUUpdaterDelegate::bestValidUpdateInAppcast(const SUAppcast &, SPUUpdater &)
{
    return std::nullopt;
}
