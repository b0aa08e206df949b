#include "QtHttpClient.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <memory>

namespace aimset {

namespace {

// The same words the desktop's own URL loading uses for a request that ran out of time.
const QString kTimedOut = QStringLiteral("The request timed out.");
const QString kTooLarge = QStringLiteral("The answer is larger than 1 MB and was refused.");

} // namespace

void QtHttpClient::send(const HttpRequest& request, Completion completion) {
    QNetworkRequest networkRequest(request.url);
    for (const auto& [name, value] : request.headers) {
        networkRequest.setRawHeader(name, value);
    }
    // A redirect would carry the request, window text and all, to wherever
    // the answer points; it is an answer like any other instead.
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_network.post(networkRequest, request.body);
    // Why the reply was aborted, when it was.
    auto abortedFor = std::make_shared<QString>();
    const auto abort = [reply, abortedFor](const QString& why) {
        *abortedFor = why;
        reply->abort();
    };

    // The timeout covers the whole exchange, not just a silent connection, so
    // it is a timer of our own that aborts the reply.
    QTimer::singleShot(request.timeout, Qt::PreciseTimer, reply, [abort] { abort(kTimedOut); });

    // The answer is taken as it arrives and refused once it passes the
    // limit, so an endless answer never sits in memory.
    auto received = std::make_shared<QByteArray>();
    reply->setReadBufferSize(64 * 1024);
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, abort] {
        bool known = false;
        const qlonglong declared =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && declared > maxAnswerBytes) {
            abort(kTooLarge);
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, received, abort] {
        if (received->size() + reply->bytesAvailable() > maxAnswerBytes) {
            abort(kTooLarge);
            return;
        }
        received->append(reply->readAll());
    });

    QObject::connect(reply, &QNetworkReply::finished, reply,
                     [reply, abortedFor, received, completion = std::move(completion)] {
                         reply->deleteLater();
                         HttpResponse response;
                         const QVariant status =
                             reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
                         if (!abortedFor->isEmpty()) {
                             response.error = *abortedFor;
                         } else if (received->size() + reply->bytesAvailable() > maxAnswerBytes) {
                             response.error = kTooLarge;
                         } else if (status.isValid()) {
                             // An HTTP answer, whatever its status: Qt flags 4xx and 5xx as
                             // errors, but for us they are answers with a status.
                             response.status = status.toInt();
                             response.body = *received + reply->readAll();
                         } else {
                             response.error = reply->errorString();
                         }
                         // Deferred so the completion always runs after send() has returned
                         // and outside Qt's reply signal.
                         QMetaObject::invokeMethod(
                             reply->manager(), [completion, response] { completion(response); },
                             Qt::QueuedConnection);
                     });
}

} // namespace aimset
