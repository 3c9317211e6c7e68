#pragma once

#include "foundation/Bundle.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

class AboutDelegateProtocol;

// What the About window says, read afresh from the bundle's Info
// dictionary and the delegate.
struct AboutTexts {
    // The application's name, or "App" when the bundle has none.
    static QString title(const Bundle &bundle);
    // Whether the version line shows the build: asked for, and both the
    // build number and the build date are known.
    static bool showsBuild(const Bundle &bundle, bool showBuildNumber);
    // "Build 42 (5/3/26)" with the build date in `timeZone` when showsBuild(),
    // else the release version (empty when there is none).
    static QString versionLine(const Bundle &bundle, bool showBuildNumber,
                               const QTimeZone &timeZone = QTimeZone::systemTimeZone());
    // The delegate's outside components in order, each once; empty without
    // a delegate or list.
    static QStringList poweredBy(const AboutDelegateProtocol *delegate);
};
