#include "HttpServer.h"

#include "CheckService.h"
#include "Runtime/Log.h"

#include <QHostAddress>

#include <httplib.h>

#include <sys/socket.h>

#include <chrono>
#include <optional>

namespace aimset::checkd {

namespace {

using Clock = std::chrono::steady_clock;

// What the access log needs of the request a worker is serving.
struct Trace {
    std::optional<Clock::time_point> start;
    QString mode = QStringLiteral("-");
};
thread_local Trace currentTrace;

QByteArray toBytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

void send(httplib::Response& res, const Reply& reply) {
    res.status = reply.status;
    res.set_content(reply.body.toStdString(), "application/json");
}

bool isKnownMethod(const std::string& method) {
    static const char* const known[] = {"GET",     "HEAD",  "POST",    "PUT",  "DELETE",
                                        "OPTIONS", "PATCH", "CONNECT", "TRACE"};
    for (const char* name : known) {
        if (method == name) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isLoopbackAddress(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) {
        return true;
    }
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

// The library listens with a backlog of 5, which drops connections when
// dozens of clients arrive at once; listen() again widens it.
template <typename Base> class WideBacklog final : public Base {
public:
    using Base::Base;
    void widenBacklog() { ::listen(this->svr_sock_, SOMAXCONN); }
};
using PlainServer = WideBacklog<httplib::Server>;
using SecureServer = WideBacklog<httplib::SSLServer>;

struct HttpServer::Impl {
    std::unique_ptr<httplib::Server> server;
    std::function<void()> widenBacklog;
};

HttpServer::HttpServer(CheckService& service, ServerOptions options)
    : m_impl(std::make_unique<Impl>())
    , m_options(std::move(options)) {
    if (!m_options.certificateFile.isEmpty() && !m_options.keyFile.isEmpty()) {
        auto secure =
            std::make_unique<SecureServer>(m_options.certificateFile.toLocal8Bit().constData(),
                                           m_options.keyFile.toLocal8Bit().constData());
        m_impl->widenBacklog = [server = secure.get()] { server->widenBacklog(); };
        m_impl->server = std::move(secure);
    } else {
        auto plain = std::make_unique<PlainServer>();
        m_impl->widenBacklog = [server = plain.get()] { server->widenBacklog(); };
        m_impl->server = std::move(plain);
    }
    httplib::Server& server = *m_impl->server;
    const int threads = std::max(1, m_options.threads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    // Anything longer is refused before it is read into memory.
    server.set_payload_max_length(CheckService::maxBodyBytes);
    server.set_keep_alive_max_count(10000);
    server.set_tcp_nodelay(true);

    server.set_pre_routing_handler(
        httplib::Server::HandlerWithResponse([](const httplib::Request&, httplib::Response&) {
            currentTrace.start = Clock::now();
            currentTrace.mode = QStringLiteral("-");
            return httplib::Server::HandlerResponse::Unhandled;
        }));
    const auto route = [&service](const httplib::Request& req, httplib::Response& res) {
        const Reply reply =
            service.handle(toBytes(req.method), toBytes(req.path), toBytes(req.body));
        currentTrace.mode = reply.mode;
        send(res, reply);
    };
    server.Get(".*", route);
    server.Post(".*", route);
    server.Put(".*", route);
    server.Patch(".*", route);
    server.Delete(".*", route);
    server.Options(".*", route);

    // Answers the library gives on its own (a body over the limit, a request
    // it cannot parse, a method it has no route for) get our JSON errors.
    server.set_error_handler(httplib::Server::HandlerWithResponse(
        [](const httplib::Request& req, httplib::Response& res) {
            if (!res.body.empty()) {
                return httplib::Server::HandlerResponse::Unhandled;
            }
            if (res.status == 413) {
                send(res, CheckService::error(400, QStringLiteral("body larger than 65536 bytes")));
            } else if (res.status == 400 && !req.method.empty() &&
                       (!isKnownMethod(req.method) || req.method == "CONNECT" ||
                        req.method == "TRACE")) {
                send(res, CheckService::error(405, QStringLiteral("method not allowed: use POST")));
            } else {
                send(res, CheckService::error(res.status, QStringLiteral("bad request")));
            }
            return httplib::Server::HandlerResponse::Handled;
        }));
    server.set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            send(res, CheckService::error(500, QStringLiteral("internal error")));
        });
    server.set_logger([](const httplib::Request& req, const httplib::Response& res) {
        double milliseconds = 0;
        if (currentTrace.start) {
            milliseconds =
                std::chrono::duration<double, std::milli>(Clock::now() - *currentTrace.start)
                    .count();
        }
        QString path = QString::fromStdString(req.path);
        if (path.size() > 80) {
            path = path.left(80) + QStringLiteral("…");
        }
        Log(QStringLiteral("[checkd] ") + QString::fromStdString(req.method) + QLatin1Char(' ') +
            path + QStringLiteral(" mode=") + currentTrace.mode + QStringLiteral(" status=") +
            QString::number(res.status) + QStringLiteral(" ms=") +
            QString::number(milliseconds, 'f', 2));
        currentTrace = Trace{};
    });
}

HttpServer::~HttpServer() {
    stop();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool HttpServer::bind(QString* error) {
    const bool tls = !m_options.certificateFile.isEmpty() || !m_options.keyFile.isEmpty();
    if (tls && (m_options.certificateFile.isEmpty() || m_options.keyFile.isEmpty())) {
        *error = QStringLiteral("HTTPS needs both a certificate and a key");
        return false;
    }
    if (!tls && !isLoopbackAddress(m_options.host)) {
        *error = QStringLiteral("plain HTTP is served on a loopback address only; give a "
                                "certificate and key to listen on ") +
                 m_options.host;
        return false;
    }
    if (!m_impl->server->is_valid()) {
        *error = QStringLiteral("cannot load the certificate or key");
        return false;
    }
    const std::string host = m_options.host.toStdString();
    if (m_options.port == 0) {
        m_port = m_impl->server->bind_to_any_port(host);
    } else {
        m_port = m_impl->server->bind_to_port(host, m_options.port) ? m_options.port : -1;
    }
    if (m_port <= 0) {
        *error = QStringLiteral("cannot listen on ") + m_options.host + QLatin1Char(':') +
                 QString::number(m_options.port) + QStringLiteral(" (in use or not allowed)");
        return false;
    }
    m_impl->widenBacklog();
    return true;
}

QString HttpServer::url() const {
    const bool tls = !m_options.certificateFile.isEmpty();
    QString host = m_options.host;
    if (host.contains(QLatin1Char(':'))) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    return (tls ? QStringLiteral("https://") : QStringLiteral("http://")) + host +
           QLatin1Char(':') + QString::number(m_port) + QStringLiteral("/check");
}

void HttpServer::run() {
    m_impl->server->listen_after_bind();
}

void HttpServer::start() {
    m_thread = std::thread([this] { run(); });
    // stop() only takes effect on a running loop, so do not return before it runs.
    for (int i = 0; i < 2000 && !m_impl->server->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void HttpServer::stop() {
    m_impl->server->stop();
}

} // namespace aimset::checkd
