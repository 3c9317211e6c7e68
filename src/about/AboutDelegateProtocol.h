#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Supplies the About window's texts that are not facts of the bundle.
class AboutDelegateProtocol {
public:
    virtual ~AboutDelegateProtocol() = default;

    // The first paragraph, shown as written.
    virtual QString mainDescription() const = 0;
    // The second paragraph, shown as written, when there is one.
    virtual std::optional<QString> secondaryDescription() const = 0;
    // The outside components the application is built with, each a markdown
    // fragment (typically a link), listed under "Powered by".
    virtual std::optional<QStringList> thirdParties() const = 0;
    // Where the user guide is, when there is one; the window then offers a
    // "User Guide" button.
    virtual std::optional<QUrl> userGuideURL() const = 0;
};
