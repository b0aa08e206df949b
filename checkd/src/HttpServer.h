#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <thread>

namespace aimset::checkd {

class CheckService;

struct ServerOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 48620; // 0 picks a free port
    // Both set: HTTPS, on any address. Neither: plain HTTP, loopback only.
    QString certificateFile;
    QString keyFile;
    // Threads that judge; connections are served by one event-driven thread.
    int threads = 64;
    // When set, every request must carry "Authorization: Bearer <token>".
    QByteArray token;

    // Hard limits that keep one client from starving the others. At the
    // connection limit the longest-waiting connection that is not being
    // answered makes room for the newcomer.
    int maxConnections = 512;
    int maxHeaderLineBytes = 8 * 1024;
    int maxHeaderBytes = 32 * 1024; // request line, headers and chunk trailers
    int maxHeaderLines = 100;
    // Silence allowed before a request's first byte (and for a TLS handshake).
    std::chrono::milliseconds idleTimeout{5000};
    // From a request's first byte to its last.
    std::chrono::milliseconds requestTimeout{10000};
    // For a client to take its answer.
    std::chrono::milliseconds writeTimeout{10000};
};

// Serves a CheckService over HTTP/1.1 (and HTTPS): one thread reads and
// writes every connection without blocking, a pool of threads judges, and
// one access log line is written per answer (mode, status, milliseconds).
// Every error answer closes its connection.
class HttpServer {
public:
    HttpServer(CheckService& service, ServerOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Opens the listening socket. On failure returns false and says why.
    bool bind(QString* error);
    int port() const { return m_port; }
    // e.g. "http://127.0.0.1:48620/check"
    QString url() const;

    // Serves until stop(); call after bind(), once, with a QCoreApplication.
    void run();
    // Serves on a thread of its own until stop() or destruction.
    void start();
    // Any thread; run() returns soon after.
    void stop();

    struct Impl;

private:
    std::unique_ptr<Impl> m_impl;
    int m_port = 0;
    std::thread m_thread;
};

bool isLoopbackAddress(const QString& host);

} // namespace aimset::checkd
