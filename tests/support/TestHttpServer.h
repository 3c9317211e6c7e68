#pragma once

// A small HTTP/1.1 server on a loopback address for tests: each path has a
// handler that returns the response; every request is recorded.

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

struct TestHttpRequest {
    QByteArray method;
    QByteArray path;
    QMap<QByteArray, QList<QByteArray>> headers; // lower-case names, every value in order

    QList<QByteArray> values(const QByteArray &name) const { return headers.value(name.toLower()); }
};

struct TestHttpResponse {
    int status = 200;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;
    bool neverAnswer = false;

    static TestHttpResponse ok(const QByteArray &body) { return {200, body, {}, false}; }
    static TestHttpResponse error(int status) { return {status, "error " + QByteArray::number(status), {}, false}; }
    static TestHttpResponse redirect(const QUrl &to) { return {302, {}, {{"Location", to.toEncoded()}}, false}; }
    static TestHttpResponse silence() { return {0, {}, {}, true}; }
};

class TestHttpServer {
public:
    using Handler = std::function<TestHttpResponse(const TestHttpRequest &)>;

    explicit TestHttpServer(const QHostAddress &address = QHostAddress(QHostAddress::LocalHost))
    {
        m_listening = m_server.listen(address, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { readFrom(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    bool isListening() const { return m_listening; }
    QUrl url(const QString &path) const
    {
        QUrl url;
        url.setScheme(QStringLiteral("http"));
        url.setHost(m_server.serverAddress().toString());
        url.setPort(m_server.serverPort());
        url.setPath(path);
        return url;
    }
    void route(const QByteArray &path, Handler handler) { m_routes.insert(path, std::move(handler)); }
    void serve(const QByteArray &path, const QByteArray &body)
    {
        route(path, [body](const TestHttpRequest &) { return TestHttpResponse::ok(body); });
    }
    QList<TestHttpRequest> requestsFor(const QByteArray &path) const
    {
        QList<TestHttpRequest> found;
        for (const TestHttpRequest &request : requests) {
            if (request.path == path)
                found.append(request);
        }
        return found;
    }

    QList<TestHttpRequest> requests;

private:
    void readFrom(QTcpSocket *socket)
    {
        QByteArray &buffer = m_buffers[socket];
        buffer += socket->readAll();
        qsizetype end;
        while ((end = buffer.indexOf("\r\n\r\n")) >= 0) {
            const QList<QByteArray> lines = buffer.left(end).split('\n');
            buffer.remove(0, end + 4);
            TestHttpRequest request;
            const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
            request.method = requestLine.value(0);
            request.path = requestLine.value(1);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const qsizetype colon = lines[i].indexOf(':');
                if (colon > 0)
                    request.headers[lines[i].left(colon).trimmed().toLower()].append(lines[i].mid(colon + 1).trimmed());
            }
            requests.append(request);
            const auto handler = m_routes.find(request.path);
            const TestHttpResponse response =
                handler == m_routes.end() ? TestHttpResponse::error(404) : (*handler)(request);
            if (response.neverAnswer)
                return;
            QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
            for (const auto &[name, value] : response.headers)
                out += name + ": " + value + "\r\n";
            out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
            out += "Connection: close\r\n\r\n" + response.body;
            socket->write(out);
            socket->disconnectFromHost();
            m_buffers.remove(socket);
            return;
        }
    }

    QTcpServer m_server;
    bool m_listening = false;
    QHash<QByteArray, Handler> m_routes;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};
