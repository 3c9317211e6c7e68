#include "about/AboutDelegate.h"

QString AboutDelegate::mainDescription() const
{
    return QStringLiteral("Curate and annotate a library of medical imaging");
}

std::optional<QString> AboutDelegate::secondaryDescription() const
{
    return QStringList{QStringLiteral("• Organise images into series and libraries"),
                       QStringLiteral("• Annotate anatomy with points and regions"),
                       QStringLiteral("• Export and share libraries, and sync via iCloud")}
        .join(QLatin1Char('\n'));
}

std::optional<QStringList> AboutDelegate::thirdParties() const
{
    return QStringList();
}

std::optional<QUrl> AboutDelegate::userGuideURL() const
{
    return std::nullopt;
}
