#include "about/AboutTexts.h"

#include "about/AboutDelegateProtocol.h"
#include "foundation/Dates.h"

QString AboutTexts::title(const Bundle &bundle)
{
    return bundle.applicationName().value_or(QStringLiteral("App"));
}

bool AboutTexts::showsBuild(const Bundle &bundle, bool showBuildNumber)
{
    return showBuildNumber && bundle.buildVersionNumber() && bundle.buildDate();
}

QString AboutTexts::versionLine(const Bundle &bundle, bool showBuildNumber, const QTimeZone &timeZone)
{
    if (showBuildNumber) {
        const auto build = bundle.buildVersionNumber();
        const auto date = bundle.buildDate();
        if (build && date)
            return QStringLiteral("Build %1 (%2)").arg(*build, shortDateString(date->toDateTime(), timeZone));
    }
    return bundle.releaseVersionNumber().value_or(QString());
}

QStringList AboutTexts::poweredBy(const AboutDelegateProtocol *delegate)
{
    QStringList entries;
    if (!delegate)
        return entries;
    for (const QString &entry : delegate->thirdParties().value_or(QStringList())) {
        if (!entries.contains(entry))
            entries.append(entry);
    }
    return entries;
}
