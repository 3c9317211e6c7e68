#pragma once

#include "platform/LibraryLock.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>

class QLocalServer;

// One running application per user and library, as desktops that launch
// applications by identity give them: the first process to start on a
// library folder holds the folder (LibraryLock) for as long as it runs and
// listens on a local socket in the user's runtime folder; a later launch
// hands its request to that process and ends, so that two processes never
// edit one library. The lock goes with its process: a library left by a
// process that died, or files that one left in the folder, never block.
//
// A request that comes while a modal dialog is open waits for it: the
// dialog comes forward and keeps the keys (the windows under it are
// restored when minimised), and the request is acted on,
// in the order requests came, once no modal dialog is open, so that what
// the dialog leads to (a sheet, an import) stays where it was asked for.
class ApplicationInstance : public QObject {
    Q_OBJECT
public:
    // What a launch asks of the running application.
    enum class Request { activate, newWindow };
    enum class Role {
        primary,   // this process holds the library and serves later launches
        forwarded, // another process holds it and has taken the request
        failed,    // neither: errorString() says why
    };

    // `libraryFolder` is the folder of the library's store (made when missing).
    explicit ApplicationInstance(const QString &libraryFolder, QObject *parent = nullptr);
    ~ApplicationInstance() override;

    // "--new-window" asks for a new window; otherwise the running window
    // comes forward.
    static Request requestFromArguments(const QStringList &arguments);

    // Takes the library for this process, or hands `request` to the process
    // that has it. A process that holds the library but can't be reached is
    // waited for up to `patience`, as it may be about to listen (a starting
    // process listens as soon as it holds the library, so a second is
    // plenty); after that the launch fails, saying that the library is open
    // in another process: so is one held from another runtime folder or
    // another machine. A process reached is waited for until it answers
    // (up to ten seconds: it answers once its own start-up is done).
    Role start(Request request, std::chrono::milliseconds patience = std::chrono::seconds(1));
    QString errorString() const { return m_error; }

    QString libraryFolder() const { return m_libraryFolder; }
    // The local socket's full path (in the runtime folder, named after the
    // library folder).
    QString serverName() const { return m_serverName; }

    // Requests received and not yet acted on (a modal dialog is open).
    qsizetype heldRequestCount() const { return m_held.size(); }

signals:
    // Another launch asked this (primary) process; never while a modal
    // dialog is open.
    void requestReceived(ApplicationInstance::Request request);

private:
    bool forward(Request request);
    void listen();
    void receive(Request request);
    void deliverHeld();

    QString m_libraryFolder;
    QString m_serverName;
    LibraryLock m_lock;
    QLocalServer *m_server = nullptr;
    QString m_error;
    QList<Request> m_held;
};
