#include "TestHttpServer.h"

#include <QSslConfiguration>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>

namespace aimset::test {

TestHttpServer::TestHttpServer(Handler handler, const QSslCertificate& certificate,
                               const QSslKey& key)
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

TestHttpServer::~TestHttpServer() = default;

quint16 TestHttpServer::port() const {
    return m_server->serverPort();
}

QByteArray TestHttpServer::url(const QByteArray& scheme) const {
    return scheme + "://127.0.0.1:" + QByteArray::number(port()) + "/check";
}

void TestHttpServer::accept(QTcpSocket* socket) {
    socket->setParent(this);
    QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
    QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        m_buffers.remove(socket);
        socket->deleteLater();
    });
    read(socket);
}

void TestHttpServer::read(QTcpSocket* socket) {
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        return;
    }
    Request request;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
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
    buffer.clear();
    received.append(request);

    const Reply reply = m_handler(request);
    switch (reply.kind) {
    case Reply::Kind::silent:
        return;
    case Reply::Kind::raw:
        socket->write(reply.body);
        break;
    case Reply::Kind::http:
        socket->write("HTTP/1.1 " + QByteArray::number(reply.status) +
                      " Test\r\nContent-Type: application/json\r\nContent-Length: " +
                      QByteArray::number(reply.body.size()) + "\r\nConnection: close\r\n\r\n" +
                      reply.body);
        break;
    }
    socket->disconnectFromHost();
}

} // namespace aimset::test
