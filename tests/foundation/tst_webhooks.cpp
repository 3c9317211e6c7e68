#include "FoundationTestSupport.h"
#include "support/TestHttpServer.h"

#include "foundation/WebHooks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

namespace {

struct Outcome {
    bool finished = false;
    std::optional<URLError> error;
};

Outcome wait(QFuture<void> future)
{
    if (!QTest::qWaitFor([&] { return future.isFinished(); }, 10000))
        return {};
    try {
        future.waitForFinished();
        return {true, std::nullopt};
    } catch (const URLError &error) {
        return {true, error};
    }
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

class WebHooksTest : public QObject {
    Q_OBJECT

private slots:
    void bodies_data()
    {
        QTest::addColumn<QJsonObject>("body");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("text only") << Mattermost{"https://x", "hi", {}, {}, {}, {}}.body()
                                   << QByteArray("{\"attachments\":[{\"text\":\"hi\"}]}");
        QTest::newRow("everything") << Mattermost{"https://x", "hi", "plain", WebColor::red, "bot", ":ghost:"}.body()
                                    << QByteArray("{\"attachments\":[{\"color\":\"#FF0000FF\",\"fallback\":\"plain\",\"text\":\"hi\"}],"
                                                  "\"icon_emoji\":\":ghost:\",\"username\":\"bot\"}");
        QTest::newRow("ntfy without a tag") << Ntfy{"https://n", "alerts", "Title", "Body", {}}.body()
                                            << QByteArray("{\"message\":\"Body\",\"title\":\"Title\",\"topic\":\"alerts\"}");
        QTest::newRow("ntfy with a tag") << Ntfy{"https://n", "alerts", "Title", "Body", "warning"}.body()
                                         << QByteArray("{\"message\":\"Body\",\"tags\":[\"warning\"],\"title\":\"Title\",\"topic\":\"alerts\"}");
    }

    void bodies()
    {
        QFETCH(QJsonObject, body);
        QFETCH(QByteArray, expected);
        QCOMPARE(compact(body), expected);
    }

    void posting_data()
    {
        QTest::addColumn<bool>("ntfy");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<int>("errorCode"); // -1: none
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("logged");
        QTest::newRow("accepted") << false << QByteArray("/hook") << -1 << 0 << "Mattermost response: 200, 2 bytes";
        QTest::newRow("server error") << false << QByteArray("/broken") << int(URLError::Code::BadServerResponse) << 500
                                      << "Mattermost response: 500, 9 bytes";
        QTest::newRow("ntfy not found") << true << QByteArray("/nowhere") << int(URLError::Code::BadServerResponse) << 404
                                        << "Ntfy response: 404, 9 bytes";
        QTest::newRow("no answer") << true << QByteArray("/silent") << int(URLError::Code::TimedOut) << 0 << "";
        QTest::newRow("not a URL") << false << QByteArray() << int(URLError::Code::BadURL) << 0 << "";
    }

    void posting()
    {
        QFETCH(bool, ntfy);
        QFETCH(QByteArray, path);
        QFETCH(int, errorCode);
        QFETCH(int, status);
        QFETCH(QString, logged);
        TestHttpServer server;
        server.serve("/hook", "ok");
        server.route("/broken", [](const TestHttpRequest &) { return TestHttpResponse::error(500); });
        server.route("/silent", [](const TestHttpRequest &) { return TestHttpResponse::silence(); });
        const QString endpoint = path.isEmpty() ? QStringLiteral("not a web hook") : server.url(QString::fromLatin1(path)).toString();
        const LogCapture log;
        const Outcome outcome = wait(ntfy ? Ntfy{endpoint, "t", "Title", "Body", {}}.post(1)
                                          : Mattermost{endpoint, "hi", {}, {}, {}, {}}.post(1));
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.error ? int(outcome.error->code) : -1, errorCode);
        QCOMPARE(outcome.error ? outcome.error->statusCode : 0, status);
        QCOMPARE(log.lines(), logged.isEmpty() ? QStringList() : QStringList{QStringLiteral("Networking default ") + logged});
        const QList<TestHttpRequest> requests = server.requestsFor(path);
        QCOMPARE(requests.size(), path.isEmpty() ? 0 : 1);
        if (!path.isEmpty()) {
            QCOMPARE(requests.first().method, QByteArray("POST"));
            QCOMPARE(requests.first().values("Content-Type"), QList<QByteArray>{"Application/json"});
        }
    }
};

QTEST_GUILESS_MAIN(WebHooksTest)
#include "tst_webhooks.moc"
