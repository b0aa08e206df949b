#include "Platform/Qt/QtHttpClient.h"
#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/SelfSignedCertificate.h"
#include "support/SpinUntil.h"
#include "support/TestHttpServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Reply = test::TestHttpServer::Reply;

namespace {

// The client and the real checker over a real server; answers are waited for
// on Qt's event loop.
struct QtHttpClientTest : ::testing::Test {
    QtHttpClient http;
    FakeAccessibility accessibility;
    test::LogCapture log;

    AlignmentChecker checkerFor(const QByteArray& url, CheckTimeouts timeouts = {}) {
        return AlignmentChecker(http, accessibility, QUrl(QString::fromLatin1(url)), {}, timeouts);
    }

    std::optional<bool> checkTitle(AlignmentChecker& checker) {
        bool answered = false;
        std::optional<bool> result;
        checker.checkTitle(u"Write the report"_s, u"Firefox"_s, u"Cat videos \u2014 \U0001F408"_s,
                           [&](std::optional<bool> r) {
                               answered = true;
                               result = r;
                           });
        EXPECT_FALSE(answered) << "answers never arrive inside the call";
        EXPECT_TRUE(test::spinUntil([&] { return answered; }));
        return result;
    }
};

TEST_F(QtHttpClientTest, PostsCompactJsonWithOneContentTypeHeader) {
    test::TestHttpServer server(
        [](const auto&) { return Reply::json(200, R"({"aligned": true, "other": [1]})"); });
    auto checker = checkerFor(server.url());
    EXPECT_EQ(checkTitle(checker), std::optional<bool>(true));
    ASSERT_EQ(server.received.size(), 1);
    const auto& request = server.received.first();
    EXPECT_EQ(request.method, QByteArray("POST"));
    EXPECT_EQ(request.path, QByteArray("/check"));
    EXPECT_EQ(request.headers.value("content-type"), QByteArray("application/json"));
    EXPECT_FALSE(request.headers.contains("authorization"));
    EXPECT_FALSE(request.headers.contains("cookie"));
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(),
              (QJsonObject{{u"aimset"_s, u"Write the report"_s},
                           {u"context"_s, u"Firefox - Cat videos \u2014 \U0001F408"_s},
                           {u"mode"_s, u"title"_s}}));
    EXPECT_TRUE(log.lines().isEmpty());
}

// Any status but 200 is a failure. A redirect is an answer with its status:
// the request, window text and all, never goes where it points. Answers over
// 1 MB are refused as they arrive, whether or not they say their length.
TEST_F(QtHttpClientTest, OtherStatusesRedirectsAndLargeAnswersAreFailures) {
    test::TestHttpServer elsewhere(
        [](const auto&) { return Reply::json(200, R"({"aligned": true})"); });
    const QByteArray location = "Location: " + elsewhere.url() + "\r\nContent-Length: 0\r\n\r\n";
    const QByteArray big =
        R"({"aligned": true, "pad": ")" + QByteArray(2 * 1024 * 1024, 'x') + R"("})";
    const QString refused =
        u"[AlignmentChecker] Request failed: The answer is larger than 1 MB and was refused."_s;
    const struct {
        const char* name;
        QByteArray answer;
        QString line;
    } cases[] = {
        {"204", "HTTP/1.1 204 No Content\r\n\r\n", u"[AlignmentChecker] Proxy error: status 204"_s},
        {"500",
         "HTTP/1.1 500 Internal Server Error\r\nContent-Type: application/json\r\n"
         "Content-Length: 16\r\n\r\n{\"aligned\":true}",
         u"[AlignmentChecker] Proxy error: status 500"_s},
        {"302", "HTTP/1.1 302 Found\r\n" + location,
         u"[AlignmentChecker] Proxy error: status 302"_s},
        {"307", "HTTP/1.1 307 Temporary Redirect\r\n" + location,
         u"[AlignmentChecker] Proxy error: status 307"_s},
        {"2 MB, length given",
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
             QByteArray::number(big.size()) + "\r\n\r\n" + big,
         refused},
        {"2 MB, until the end",
         "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n\r\n" + big,
         refused},
    };
    for (const auto& c : cases) {
        test::TestHttpServer server([&c](const auto&) { return Reply::raw(c.answer); });
        auto checker = checkerFor(server.url());
        EXPECT_EQ(checkTitle(checker), std::nullopt) << c.name;
        EXPECT_EQ(log.take(), QStringList{c.line}) << c.name;
    }
    EXPECT_TRUE(elsewhere.received.isEmpty());
}

// Bodies of the wrong shape are the checker's to refuse (AlignmentCheckerTest);
// here a real non-JSON body must reach it as a request failure.
TEST_F(QtHttpClientTest, ABodyThatIsNotJsonIsARequestFailure) {
    test::TestHttpServer server(
        [](const auto&) { return Reply::json(200, "Service unavailable"); });
    auto checker = checkerFor(server.url());
    EXPECT_EQ(checkTitle(checker), std::nullopt);
    const QStringList notJson = log.take();
    ASSERT_EQ(notJson.size(), 1);
    EXPECT_TRUE(notJson[0].startsWith(u"[AlignmentChecker] Request failed: "_s))
        << notJson[0].toStdString();
}

TEST_F(QtHttpClientTest, UnreachableServiceIsARequestFailure) {
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    auto checker = checkerFor("http://127.0.0.1:" + QByteArray::number(port) + "/check");
    EXPECT_EQ(checkTitle(checker), std::nullopt);
    EXPECT_EQ(log.take(), QStringList{u"[AlignmentChecker] Request failed: Connection refused"_s});
}

TEST_F(QtHttpClientTest, AServerThatNeverAnswersRunsIntoTheWholeRequestTimeout) {
    test::TestHttpServer server([](const auto&) { return Reply::silent(); });
    auto checker = checkerFor(server.url(), CheckTimeouts{300ms, 300ms, 300ms});
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(checkTitle(checker), std::nullopt);
    EXPECT_GE(elapsed.elapsed(), 290);
    EXPECT_EQ(log.take(),
              QStringList{u"[AlignmentChecker] Request failed: The request timed out."_s});
}

TEST_F(QtHttpClientTest, AnAnswerWithoutHttpCountsAsStatusMinusOne) {
    // A data: URL answers with a body but without any HTTP status.
    HttpRequest request;
    request.url = QUrl(u"data:application/json,%7B%22aligned%22%3Atrue%7D"_s);
    request.method = "GET";
    std::optional<HttpResponse> response;
    http.send(request, [&](const HttpResponse& r) { response = r; });
    ASSERT_TRUE(test::spinUntil([&] { return response.has_value(); }));
    EXPECT_FALSE(response->error.has_value()) << response->error->toStdString();
    EXPECT_EQ(response->status, -1);
}

TEST_F(QtHttpClientTest, SelfSignedCertificateIsRefused) {
    QTemporaryDir dir;
    const QString keyPath = dir.filePath(u"key.pem"_s);
    const QString certPath = dir.filePath(u"cert.pem"_s);
    const QString failure = test::makeSelfSignedCertificate(certPath, keyPath);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QFile keyFile(keyPath);
    QFile certFile(certPath);
    ASSERT_TRUE(keyFile.open(QIODevice::ReadOnly) && certFile.open(QIODevice::ReadOnly));
    const QSslKey key(keyFile.readAll(), QSsl::Rsa);
    const QSslCertificate certificate(certFile.readAll());
    ASSERT_FALSE(key.isNull());
    ASSERT_FALSE(certificate.isNull());

    test::TestHttpServer server([](const auto&) { return Reply::json(200, R"({"aligned":true})"); },
                                certificate, key);
    auto checker = checkerFor(server.url("https"));
    EXPECT_EQ(checkTitle(checker), std::nullopt);
    const QStringList lines = log.take();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith(u"[AlignmentChecker] Request failed: "_s))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains(u"certificate"_s, Qt::CaseInsensitive)) << lines[0].toStdString();
    EXPECT_TRUE(server.received.isEmpty());
}

} // namespace
