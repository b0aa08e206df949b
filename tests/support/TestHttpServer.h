#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>
#include <memory>

namespace aimset::test {

// A small HTTP/1.1 server on 127.0.0.1 for adapter tests: each request is
// answered by a handler the test supplies. With a certificate and key it
// speaks HTTPS instead.
class TestHttpServer : public QObject {
    Q_OBJECT
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };
    struct Reply {
        enum class Kind { http, raw, silent };
        Kind kind = Kind::http;
        int status = 200;
        QByteArray body;

        static Reply json(int status, const QByteArray& body) { return {Kind::http, status, body}; }
        // Bytes sent as they are, without an HTTP status line.
        static Reply raw(const QByteArray& bytes) { return {Kind::raw, 0, bytes}; }
        // Reads the request and never answers.
        static Reply silent() { return {Kind::silent, 0, {}}; }
    };
    using Handler = std::function<Reply(const Request&)>;

    explicit TestHttpServer(Handler handler, const QSslCertificate& certificate = QSslCertificate(),
                            const QSslKey& key = QSslKey())
        : m_handler(std::move(handler)) {
        if (certificate.isNull()) {
            m_server = std::make_unique<QTcpServer>();
        } else {
            auto server = std::make_unique<QSslServer>();
            QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
            configuration.setLocalCertificate(certificate);
            configuration.setPrivateKey(key);
            server->setSslConfiguration(configuration);
            m_server = std::move(server);
        }
        QObject::connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = m_server->nextPendingConnection()) {
                accept(socket);
            }
        });
        m_server->listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_server->serverPort(); }
    QByteArray url(const QByteArray& scheme = "http") const {
        return scheme + "://127.0.0.1:" + QByteArray::number(port()) + "/check";
    }
    QList<Request> received;

private:
    void accept(QTcpSocket* socket) {
        socket->setParent(this);
        QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        read(socket);
    }
    // The request stays in the socket until it has all arrived.
    void read(QTcpSocket* socket) {
        const QByteArray buffer = socket->peek(socket->bytesAvailable());
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request{requestLine.value(0), requestLine.value(1), {}, {}};
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) {
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
            }
        }
        const qsizetype length = request.headers.value("content-length", "0").toLongLong();
        if (buffer.size() < headerEnd + 4 + length) {
            return;
        }
        request.body = buffer.mid(headerEnd + 4, length);
        socket->skip(headerEnd + 4 + length);
        received.append(request);

        const Reply reply = m_handler(request);
        if (reply.kind == Reply::Kind::silent) {
            return;
        }
        socket->write(reply.kind == Reply::Kind::raw
                          ? reply.body
                          : "HTTP/1.1 " + QByteArray::number(reply.status) +
                                " Test\r\nContent-Type: application/json\r\nContent-Length: " +
                                QByteArray::number(reply.body.size()) +
                                "\r\nConnection: close\r\n\r\n" + reply.body);
        socket->disconnectFromHost();
    }

    Handler m_handler;
    std::unique_ptr<QTcpServer> m_server;
};

} // namespace aimset::test
