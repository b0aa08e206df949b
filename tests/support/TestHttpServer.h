#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QSslCertificate>
#include <QSslKey>

#include <functional>
#include <memory>

class QTcpServer;
class QTcpSocket;

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
                            const QSslKey& key = QSslKey());
    ~TestHttpServer() override;

    quint16 port() const;
    QByteArray url(const QByteArray& scheme = "http") const;
    QList<Request> received;

private:
    void accept(QTcpSocket* socket);
    void read(QTcpSocket* socket);

    Handler m_handler;
    std::unique_ptr<QTcpServer> m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
};

} // namespace aimset::test
