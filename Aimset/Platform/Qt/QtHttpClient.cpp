#include "QtHttpClient.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <memory>

namespace aimset {

namespace {

// The same words the desktop's own URL loading uses for a request that ran out of time.
const QString kTimedOut = QStringLiteral("The request timed out.");

} // namespace

QtHttpClient::QtHttpClient() = default;

QtHttpClient::~QtHttpClient() = default;

void QtHttpClient::send(const HttpRequest& request, Completion completion) {
    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }
    // The plain verbs go through their own calls: Qt's non-HTTP backends
    // (file, data) know no custom verbs.
    QNetworkReply* reply = nullptr;
    if (request.method == "POST") {
        reply = m_network.post(networkRequest, request.body);
    } else if (request.method == "GET") {
        reply = m_network.get(networkRequest);
    } else {
        reply = m_network.sendCustomRequest(networkRequest, request.method, request.body);
    }

    // The timeout covers the whole exchange, not just a silent connection, so
    // it is a timer of our own that aborts the reply.
    auto* deadline = new QTimer(reply);
    deadline->setSingleShot(true);
    deadline->setTimerType(Qt::PreciseTimer);
    auto timedOut = std::make_shared<bool>(false);
    QObject::connect(deadline, &QTimer::timeout, reply, [reply, timedOut] {
        *timedOut = true;
        reply->abort();
    });
    deadline->start(static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(
        request.timeout.count(), 0, std::numeric_limits<int>::max())));

    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, timedOut, completion = std::move(completion)] {
                         reply->deleteLater();
                         HttpResponse response;
                         const QVariant status =
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                         if (*timedOut) {
                             response.error = kTimedOut;
                         } else if (status.isValid()) {
                             // An HTTP answer, whatever its status: Qt flags 4xx and 5xx as
                             // errors, but for us they are answers with a status.
                             response.status = status.toInt();
                             response.body = reply->readAll();
                         } else if (reply->error() != QNetworkReply::NoError) {
                             response.error = reply->errorString();
                         } else {
                             response.status = -1;
                             response.body = reply->readAll();
                         }
                         // Deferred so the completion always runs after send() has returned
                         // and outside Qt's reply signal.
                         QMetaObject::invokeMethod(
                             reply->manager(), [completion, response] { completion(response); },
                             Qt::QueuedConnection);
                     });
}

} // namespace aimset
