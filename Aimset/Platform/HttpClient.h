#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

namespace aimset {

// A POST of body to url.
struct HttpRequest {
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    // Covers the whole exchange, from sending to the last byte of the answer.
    std::chrono::milliseconds timeout{10000};
};

struct HttpResponse {
    // Set when the exchange itself failed (no connection, timeout, TLS
    // failure): the platform's description of the failure.
    std::optional<QString> error;
    // The HTTP status, or -1 when the answer was not an HTTP response.
    int status = -1;
    QByteArray body;
};

// Sends requests and reports each answer exactly once, on the main thread,
// after send() has returned. Several requests may be in flight at once.
class HttpClient {
public:
    using Completion = std::function<void(const HttpResponse&)>;

    virtual ~HttpClient() = default;
    virtual void send(const HttpRequest& request, Completion completion) = 0;
};

} // namespace aimset
