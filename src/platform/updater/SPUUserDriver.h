#pragma once

#include "platform/updater/SUAppcast.h"

#include <QString>

#include <functional>
#include <optional>

// Who started an update check.
enum class SPUUpdateCheck {
    Updates,             // the user's "Check for Updates…" command
    UpdatesInBackground, // the automatic check
};

// How one update session ended.
struct SPUUpdateResult {
    enum class Kind {
        NoFeed,     // no update feed is configured
        UpToDate,   // nothing newer than the installed build
        Declined,   // an update was found and the user did not want it
        Downloaded, // the update was downloaded and checked
        Failed,     // the feed or the download failed; see `message`
        Cancelled,  // replaced by a newer check
    };

    Kind kind = Kind::Failed;
    SPUUpdateCheck check = SPUUpdateCheck::Updates;
    std::optional<SUAppcastItem> item; // the update, when one was found
    QString message;                   // what went wrong, for Failed
    QString filePath;                  // the checked archive, for Downloaded
};

// The user interface of the updater: it asks whether to download a found
// update and shows how a session ended.
class SPUUserDriver {
public:
    virtual ~SPUUserDriver() = default;

    // `reply(true)` downloads the update, `reply(false)` declines it.
    virtual void showUpdateFound(const SUAppcastItem &item, SPUUpdateCheck check, std::function<void(bool)> reply) = 0;
    // Called for every end of a session the user asked for, and for the
    // download of an update found in the background.
    virtual void showUpdateResult(const SPUUpdateResult &result) = 0;
};
