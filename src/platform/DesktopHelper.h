#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;

// Starts one of the desktop's helper programs (xdg-open, xdg-email), which
// hand a job on to the program the user chose for it and end in failure
// when there is none. `failed` runs once, on the main thread, when the
// helper cannot be started or ends in failure, unless `context` has gone by
// then. The helper is the application's, not a child of `context`: a
// program it runs itself (a browser, a mail program, a file manager) keeps
// running when what asked has gone; it is let go once it has ended. Main
// thread only.
void runDesktopHelper(const QString &program, const QStringList &arguments, QObject *context,
                      const std::function<void()> &failed);

// Hands `target` (a folder, or an address with its scheme) to the program
// the desktop opens it with, through xdg-open; as runDesktopHelper.
void openWithDesktop(const QString &target, QObject *context, const std::function<void()> &failed);
