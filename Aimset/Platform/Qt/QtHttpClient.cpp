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
const QString kTooLarge = QStringLiteral("The answer is larger than 1 MB and was refused.");

} // namespace

QtHttpClient::QtHttpClient() = default;

QtHttpClient::~QtHttpClient() = default;

void QtHttpClient::send(const HttpRequest& request, Completion completion) {
    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }
    // A redirect would carry the request, window text and all, to wherever
    // the answer points; it is an answer like any other instead.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
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

    // The answer is taken as it arrives and refused once it passes the
    // limit, so an endless answer never sits in memory.
    auto received = std::make_shared<QByteArray>();
    auto tooLarge = std::make_shared<bool>(false);
    reply->setReadBufferSize(64 * 1024);
    const auto refuse = [reply, tooLarge] {
        *tooLarge = true;
        reply->abort();
    };
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, refuse] {
        bool known = false;
        const qlonglong declared =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && declared > maxAnswerBytes) {
            refuse();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, received, refuse] {
        if (received->size() + reply->bytesAvailable() > maxAnswerBytes) {
            refuse();
            return;
        }
        received->append(reply->readAll());
    });

    QObject::connect(
        reply, &QNetworkReply::finished, reply,
        [reply, timedOut, tooLarge, received, completion = std::move(completion)] {
            reply->deleteLater();
            HttpResponse response;
            const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
            const auto body = [&] {
                received->append(reply->readAll());
                return *received;
            };
            if (*timedOut) {
                response.error = kTimedOut;
            } else if (*tooLarge || received->size() + reply->bytesAvailable() > maxAnswerBytes) {
                response.error = kTooLarge;
            } else if (status.isValid()) {
                // An HTTP answer, whatever its status: Qt flags 4xx and 5xx as
                // errors, but for us they are answers with a status.
                response.status = status.toInt();
                response.body = body();
            } else if (reply->error() != QNetworkReply::NoError) {
                response.error = reply->errorString();
            } else {
                response.status = -1;
                response.body = body();
            }
            // Deferred so the completion always runs after send() has returned
            // and outside Qt's reply signal.
            QMetaObject::invokeMethod(
                reply->manager(), [completion, response] { completion(response); },
                Qt::QueuedConnection);
        });
}

} // namespace aimset
