#include "platform/ApplicationInstance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QWindow>
#include <QtDebug>

namespace {

const QByteArray activateMessage = QByteArrayLiteral("activate\n");
const QByteArray newWindowMessage = QByteArrayLiteral("new-window\n");
const QByteArray answer = QByteArrayLiteral("ok\n");

// The modal window shown last; none without a GUI.
QWindow *modalWindow()
{
    return qobject_cast<QGuiApplication *>(QCoreApplication::instance()) ? QGuiApplication::modalWindow() : nullptr;
}

QString runtimeFolder()
{
    // Private to the user (mode 0700), as the desktop makes it.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

} // namespace

ApplicationInstance::ApplicationInstance(const QString &libraryFolder, QObject *parent)
    : QObject(parent)
    , m_libraryFolder(libraryFolder)
{
    QDir().mkpath(m_libraryFolder);
    const QString canonical = QFileInfo(m_libraryFolder).canonicalFilePath();
    const QByteArray key = QFile::encodeName(canonical.isEmpty() ? QFileInfo(m_libraryFolder).absoluteFilePath()
                                                                 : canonical);
    const QByteArray hash = QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16);
    m_serverName = runtimeFolder() + QStringLiteral("/veloran-") + QString::fromLatin1(hash) + QStringLiteral(".socket");
}

ApplicationInstance::~ApplicationInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
}

ApplicationInstance::Request ApplicationInstance::requestFromArguments(const QStringList &arguments)
{
    return arguments.mid(1).contains(QStringLiteral("--new-window")) ? Request::newWindow : Request::activate;
}

ApplicationInstance::Role ApplicationInstance::start(Request request, std::chrono::milliseconds patience)
{
    const QDeadlineTimer deadline(patience);
    for (;;) {
        if (forward(request))
            return Role::forwarded;
        switch (m_lock.tryLock(m_libraryFolder)) {
        case LibraryLock::Outcome::locked:
            listen();
            return Role::primary;
        case LibraryLock::Outcome::failed:
            m_error = QStringLiteral("The library \u201C%1\u201D couldn\u2019t be locked for this process: %2")
                          .arg(QDir::toNativeSeparators(m_libraryFolder), qt_error_string(m_lock.systemError()));
            return Role::failed;
        case LibraryLock::Outcome::heldElsewhere:
            break;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("The library \u201C%1\u201D is open in another process.")
                          .arg(QDir::toNativeSeparators(m_libraryFolder));
            return Role::failed;
        }
        QThread::msleep(100);
    }
}

bool ApplicationInstance::forward(Request request)
{
    // A local socket connects at once or not at all. A process reached
    // is alive: it answers once its start-up has reached its event loop.
    constexpr std::chrono::seconds answerPatience(10);
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(request == Request::newWindow ? newWindowMessage : activateMessage);
    const QDeadlineTimer deadline(answerPatience);
    while (socket.bytesAvailable() < answer.size()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(qMax<qint64>(deadline.remainingTime(), 1))))
            return false;
    }
    return socket.read(answer.size()) == answer;
}

void ApplicationInstance::listen()
{
    // The library is ours: a socket file left behind is a dead process's.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        qWarning().noquote() << "Later launches can't reach this one:" << m_server->errorString();
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray line = socket->readLine(64);
                const bool known = line == activateMessage || line == newWindowMessage;
                if (known) {
                    socket->write(answer);
                    socket->flush();
                }
                socket->disconnectFromServer();
                if (known)
                    receive(line == newWindowMessage ? Request::newWindow : Request::activate);
            });
        }
    });
}

void ApplicationInstance::receive(Request request)
{
    m_held.append(request);
    // The dialog keeps the keys, in front of the window it belongs to; a
    // minimised window comes back with it (in its other states), or the
    // dialog would stay out of sight.
    if (QWindow *modal = modalWindow()) {
        for (QWindow *window = modal; window; window = window->parent(QWindow::IncludeTransients)) {
            if (window->windowStates() & Qt::WindowMinimized)
                window->setWindowStates(window->windowStates() & ~Qt::WindowMinimized);
        }
        modal->raise();
        modal->requestActivate();
    }
    deliverHeld();
}

void ApplicationInstance::deliverHeld()
{
    // One at a time: acting on one may open a dialog that the next waits for.
    while (!m_held.isEmpty() && !modalWindow())
        emit requestReceived(m_held.takeFirst());
    // Looked at again once the dialog in the way has hidden, and the hiding
    // is done: a dialog that ends by opening another keeps them waiting.
    if (QWindow *modal = m_held.isEmpty() ? nullptr : modalWindow())
        connect(modal, &QWindow::visibleChanged, this, &ApplicationInstance::deliverHeld,
                Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
}
