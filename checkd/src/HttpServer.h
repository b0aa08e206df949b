#pragma once

#include <QString>

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
    // Each open connection holds one worker while it lives.
    int threads = 64;
};

// Serves a CheckService over HTTP(S) with a pool of worker threads, writing
// one access log line per request (mode, status, milliseconds).
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

    // Serves until stop(); call after bind().
    void run();
    // Serves on a thread of its own until stop() or destruction.
    void start();
    // Any thread; run() returns soon after.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    ServerOptions m_options;
    int m_port = 0;
    std::thread m_thread;
};

bool isLoopbackAddress(const QString& host);

} // namespace aimset::checkd
