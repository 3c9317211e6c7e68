#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// Opening things with the desktop's applications, which are known by
// their desktop entry identifiers ("org.example.Viewer" for
// "org.example.Viewer.desktop").
struct NSWorkspace {
    // The desktop entry file of an application; none when not installed.
    static std::optional<QString> desktopEntryPath(const QString &identifier);
    // The command that opens `url` with the application of `entryPath`:
    // its Exec line with the URL in place of the field codes.
    static QStringList openCommand(const QString &entryPath, const QUrl &url);
    // Opens `url` with the application; logs when it cannot be found.
    static bool open(const QUrl &url, const QString &identifier);
    // The applications registered for a MIME type, in the order the desktop
    // lists them; logs and returns an empty list when there are none.
    static QStringList identifiersFor(const QString &mimeType);
    // The address of a web search for `text`.
    static std::optional<QUrl> searchURL(const QString &text);
    // Opens that search in the browser.
    static void searchInGoogle(const QString &text);
};
