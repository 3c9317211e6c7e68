#include "platform/updater/SPUUpdater.h"

#include "platform/updater/SUVersionComparator.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QStandardPaths>

Q_LOGGING_CATEGORY(updaterLog, "veloran.updater")

namespace {

constexpr int maximumRedirects = 5;
// An appcast is a few kilobytes; a feed that goes on past this is refused
// rather than read into memory.
constexpr qint64 maximumAppcastSize = 8 * 1024 * 1024;
const QByteArray authorizationHeader = QByteArrayLiteral("Authorization");

// A copy of `request` for `url`; the credential stays behind when the
// address leaves the request's origin.
QNetworkRequest redirectedRequest(const QNetworkRequest &request, const QUrl &url)
{
    QNetworkRequest next(url);
    const bool sameOrigin = SPUUpdater::isSameOrigin(request.url(), url);
    for (const QByteArray &name : request.rawHeaderList()) {
        if (sameOrigin || name.compare(authorizationHeader, Qt::CaseInsensitive) != 0)
            next.setRawHeader(name, request.rawHeader(name));
    }
    return next;
}

QString downloadFileName(const QUrl &url)
{
    QString name = url.fileName();
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')))
        name = QStringLiteral("update") + name;
    return name;
}

} // namespace

struct SPUUpdater::Session {
    SPUUpdateCheck check;
    quint64 id;
    QSet<QString> allowedChannels;
    QPointer<QNetworkReply> reply;
    std::optional<SUAppcastItem> item;
    std::unique_ptr<QFile> file;
    qint64 received = 0;
    bool tooLong = false;
    QCryptographicHash hash{QCryptographicHash::Sha256};
};

SPUUpdater::SPUUpdater(SPUUpdaterSettings settings, SPUUserDriver *userDriver, SPUUpdaterDelegate *delegate,
                       QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_userDriver(userDriver), m_delegate(delegate),
      m_network(new QNetworkAccessManager(this))
{
}

SPUUpdater::~SPUUpdater()
{
    // Dropping the session first keeps the aborted reply's handlers quiet.
    const std::unique_ptr<Session> session = std::move(m_session);
    if (session && session->reply)
        session->reply->abort();
}

bool SPUUpdater::startUpdater(QString *error)
{
    if (!m_settings.feedURL.isValid() || m_settings.feedURL.isRelative()) {
        if (error)
            *error = QStringLiteral("No update feed is configured.");
        qCInfo(updaterLog, "%s", "No update feed is configured; update checks are off.");
        return false;
    }
    m_started = true;
    return true;
}

std::optional<SPUUpdateCheck> SPUUpdater::currentUpdateCheck() const
{
    if (!m_session)
        return std::nullopt;
    return m_session->check;
}

bool SPUUpdater::isSameOrigin(const QUrl &a, const QUrl &b)
{
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0
        && a.host().compare(b.host(), Qt::CaseInsensitive) == 0
        && a.port(a.scheme() == u"https" ? 443 : 80) == b.port(b.scheme() == u"https" ? 443 : 80);
}

void SPUUpdater::checkForUpdates()
{
    if (m_session) {
        // The user's earlier check will answer, and an update found in the
        // background is already in front of the user.
        if (m_session->check == SPUUpdateCheck::Updates || m_session->item)
            return;
        SPUUpdateResult cancelled;
        cancelled.kind = SPUUpdateResult::Kind::Cancelled;
        cancelled.check = m_session->check;
        finish(cancelled);
    }
    beginCheck(SPUUpdateCheck::Updates);
}

void SPUUpdater::checkForUpdatesInBackground()
{
    if (m_session)
        return;
    beginCheck(SPUUpdateCheck::UpdatesInBackground);
}

void SPUUpdater::beginCheck(SPUUpdateCheck check)
{
    static quint64 nextSessionId = 1;
    m_session = std::make_unique<Session>();
    m_session->check = check;
    m_session->id = nextSessionId++;
    if (!m_settings.feedURL.isValid() || m_settings.feedURL.isRelative()) {
        SPUUpdateResult result;
        result.kind = SPUUpdateResult::Kind::NoFeed;
        result.check = check;
        finish(result);
        return;
    }
    // The channels are settled when the check starts, so that keys held
    // for a check are read while the user still holds them.
    if (m_delegate)
        m_session->allowedChannels = m_delegate->allowedChannelsForUpdater(*this);
    QNetworkRequest request(m_settings.feedURL);
    request.setRawHeader("Accept", "application/rss+xml, application/xml, text/xml");
    send(request, maximumRedirects, [this](QNetworkReply *reply) { appcastArrived(reply); });
}

void SPUUpdater::send(QNetworkRequest request, int redirectsLeft, ReplyHandler handler)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(m_settings.timeoutMilliseconds);
    QNetworkReply *reply = m_network->get(request);
    m_session->reply = reply;
    const quint64 sessionId = m_session->id;
    const auto current = [this, sessionId] { return m_session && m_session->id == sessionId; };

    if (!m_session->file) {
        connect(reply, &QNetworkReply::downloadProgress, this, [this, reply, current](qint64 received, qint64) {
            if (current() && received > maximumAppcastSize) {
                m_session->tooLong = true;
                reply->abort();
            }
        });
    }
    if (m_session->file) {
        connect(reply, &QIODevice::readyRead, this, [this, reply, current] {
            if (!current())
                return;
            const QByteArray bytes = reply->readAll();
            if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
                return;
            Session &session = *m_session;
            session.received += bytes.size();
            if (session.item->contentLength > 0 && session.received > session.item->contentLength) {
                session.tooLong = true;
                reply->abort();
                return;
            }
            session.hash.addData(bytes);
            session.file->write(bytes);
        });
    }
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, request, redirectsLeft, handler = std::move(handler), current] {
                reply->deleteLater();
                if (!current())
                    return;
                const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
                if (reply->error() == QNetworkReply::NoError && status >= 300 && status < 400 && target.isValid()) {
                    if (redirectsLeft <= 0) {
                        SPUUpdateResult result;
                        result.kind = SPUUpdateResult::Kind::Failed;
                        result.check = m_session->check;
                        result.item = m_session->item;
                        result.message = QStringLiteral("The update server redirected too many times.");
                        finish(result);
                        return;
                    }
                    send(redirectedRequest(request, reply->url().resolved(target)), redirectsLeft - 1, handler);
                    return;
                }
                handler(reply);
            });
}

QString SPUUpdater::describeFailure(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status >= 400)
        return QStringLiteral("The update server answered with HTTP status %1.").arg(status);
    if (reply->error() == QNetworkReply::OperationCanceledError || reply->error() == QNetworkReply::TimeoutError)
        return QStringLiteral("The update server did not answer in time.");
    if (reply->error() != QNetworkReply::NoError)
        return reply->errorString();
    return QStringLiteral("The update server answered with HTTP status %1.").arg(status);
}

void SPUUpdater::appcastArrived(QNetworkReply *reply)
{
    SPUUpdateResult result;
    result.check = m_session->check;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (m_session->tooLong) {
        result.kind = SPUUpdateResult::Kind::Failed;
        result.message = QStringLiteral("The update information could not be loaded. The update server sent more "
                                        "than an update feed holds.");
        finish(result);
        return;
    }
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        result.kind = SPUUpdateResult::Kind::Failed;
        result.message = QStringLiteral("The update information could not be loaded. ") + describeFailure(reply);
        finish(result);
        return;
    }
    QString parseError;
    const auto appcast = SUAppcast::parse(reply->readAll(), &parseError);
    if (!appcast) {
        result.kind = SPUUpdateResult::Kind::Failed;
        result.message = QStringLiteral("The update information could not be read: ") + parseError;
        finish(result);
        return;
    }

    // Items of the default channel are always eligible, others only when
    // their channel is allowed; items that cannot be checked never are.
    SUAppcast eligible;
    for (const SUAppcastItem &item : appcast->items) {
        if (item.isValid() && (!item.channel || m_session->allowedChannels.contains(*item.channel)))
            eligible.items.append(item);
    }
    std::optional<SUAppcastItem> best;
    if (m_delegate)
        best = m_delegate->bestValidUpdateInAppcast(eligible, *this);
    if (!best) {
        for (const SUAppcastItem &item : eligible.items) {
            if (!best || SUVersionComparator::compareVersions(item.versionString, best->versionString) >= 0)
                best = item;
        }
    }
    // The delegate's choice stands, but never an item that is not newer
    // than the installed build.
    if (!best || SUVersionComparator::compareVersions(best->versionString, m_settings.hostVersion) <= 0) {
        result.kind = SPUUpdateResult::Kind::UpToDate;
        finish(result);
        return;
    }
    updateChosen(*best);
}

void SPUUpdater::updateChosen(const SUAppcastItem &item)
{
    m_session->item = item;
    qCInfo(updaterLog, "Update found: %s", qUtf8Printable(item.displayVersionString));
    if (!m_userDriver) {
        SPUUpdateResult result;
        result.kind = SPUUpdateResult::Kind::Declined;
        result.check = m_session->check;
        result.item = item;
        finish(result);
        return;
    }
    const quint64 sessionId = m_session->id;
    QPointer<SPUUpdater> self(this);
    m_userDriver->showUpdateFound(item, m_session->check, [self, sessionId, item](bool wanted) {
        if (!self || !self->m_session || self->m_session->id != sessionId)
            return;
        if (wanted) {
            self->download(item);
            return;
        }
        SPUUpdateResult result;
        result.kind = SPUUpdateResult::Kind::Declined;
        result.check = self->m_session->check;
        result.item = item;
        self->finish(result);
    });
}

void SPUUpdater::download(const SUAppcastItem &item)
{
    SPUUpdateResult failure;
    failure.kind = SPUUpdateResult::Kind::Failed;
    failure.check = m_session->check;
    failure.item = item;

    QString directory = m_settings.downloadDirectory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/Updates");
    if (!QDir().mkpath(directory)) {
        failure.message = QStringLiteral("The folder for downloads could not be made.");
        finish(failure);
        return;
    }
    // The archive is written beside its final name and moved there only
    // once it has been checked, so a failed download spoils nothing.
    auto file = std::make_unique<QFile>(QDir(directory).filePath(downloadFileName(item.fileURL) + QStringLiteral(".part")));
    if (!file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        failure.message = QStringLiteral("The update could not be saved: ") + file->errorString();
        finish(failure);
        return;
    }
    m_session->file = std::move(file);

    QNetworkRequest request(item.fileURL);
    if (m_delegate)
        m_delegate->updaterWillDownloadUpdate(*this, item, request);
    send(request, maximumRedirects, [this](QNetworkReply *reply) { downloadFinished(reply); });
}

void SPUUpdater::downloadFinished(QNetworkReply *reply)
{
    Session &session = *m_session;
    SPUUpdateResult result;
    result.check = session.check;
    result.item = session.item;
    result.kind = SPUUpdateResult::Kind::Failed;

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QString path = session.file->fileName();
    session.file->close();
    const bool written = session.file->error() == QFileDevice::NoError;
    const qint64 expectedLength = session.item->contentLength;
    if (session.tooLong || (expectedLength > 0 && session.received != expectedLength && reply->error() == QNetworkReply::NoError && status == 200))
        result.message = QStringLiteral("The downloaded update does not have the size that the update information gives.");
    else if (reply->error() != QNetworkReply::NoError || status != 200)
        result.message = QStringLiteral("The update could not be downloaded. ") + describeFailure(reply);
    else if (!written)
        result.message = QStringLiteral("The update could not be saved.");
    else if (session.hash.result().toHex() != session.item->sha256)
        result.message = QStringLiteral("The downloaded update does not match its checksum.");
    else {
        const QString finalPath = path.chopped(int(QStringLiteral(".part").size()));
        QFile::remove(finalPath);
        if (QFile::rename(path, finalPath)) {
            result.kind = SPUUpdateResult::Kind::Downloaded;
            result.filePath = finalPath;
        } else {
            result.message = QStringLiteral("The update could not be saved.");
        }
    }
    if (result.kind == SPUUpdateResult::Kind::Failed)
        QFile::remove(path);
    finish(result);
}

void SPUUpdater::finish(SPUUpdateResult result)
{
    // Dropping the session first keeps the aborted reply's handlers quiet.
    const std::unique_ptr<Session> session = std::move(m_session);
    if (session) {
        if (session->reply)
            session->reply->abort();
        if (session->file && result.kind != SPUUpdateResult::Kind::Downloaded) {
            session->file->close();
            session->file->remove();
        }
    }
    m_lastResult = result;
    if (result.kind == SPUUpdateResult::Kind::Failed)
        qCWarning(updaterLog, "%s", qUtf8Printable(result.message));

    const bool userAsked = result.check == SPUUpdateCheck::Updates;
    const bool afterConsent = result.item && (result.kind == SPUUpdateResult::Kind::Downloaded
                                              || result.kind == SPUUpdateResult::Kind::Failed);
    if (m_userDriver && result.kind != SPUUpdateResult::Kind::Cancelled
        && result.kind != SPUUpdateResult::Kind::Declined && (userAsked || afterConsent))
        m_userDriver->showUpdateResult(result);
    emit sessionFinished(result);
}
