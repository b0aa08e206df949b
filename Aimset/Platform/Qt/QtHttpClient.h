#pragma once

#include "Platform/HttpClient.h"

#include <QNetworkAccessManager>

namespace aimset {

// HTTP over Qt's network stack: TLS through its OpenSSL backend with
// certificate validation on. Lives on the main thread; answers arrive there.
// Redirects are not followed; an answer over maxAnswerBytes is refused.
class QtHttpClient final : public HttpClient {
public:
    static constexpr qint64 maxAnswerBytes = 1024 * 1024;

    void send(const HttpRequest& request, Completion completion) override;

private:
    QNetworkAccessManager m_network;
};

} // namespace aimset
