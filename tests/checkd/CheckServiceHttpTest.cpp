#include "CheckService.h"
#include "HttpServer.h"
#include "OfflineJudge.h"

#include "support/LogCapture.h"
#include "support/SpinUntil.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <httplib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

using namespace aimset;
using namespace aimset::checkd;
using namespace Qt::StringLiterals;

namespace {

// A real service, with a token, on a free loopback port.
class CheckServiceHttpTest : public ::testing::Test {
protected:
    CheckServiceHttpTest() {
        ServerOptions options;
        options.port = 0;
        options.token = "s3cret-token";
        server = std::make_unique<HttpServer>(service, options);
        QString error;
        EXPECT_TRUE(server->bind(&error)) << error.toStdString();
        server->start();
    }

    aimset::test::LogCapture log;
    OfflineJudge judge;
    CheckService service{judge};
    std::unique_ptr<HttpServer> server;
};

// Sends bytes as they are on a fresh connection; the answer and whether the
// service then closed the connection.
std::pair<QByteArray, bool> exchange(int port, const QByteArray& bytes) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    socket.waitForConnected(2000);
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    QByteArray answer;
    QElapsedTimer elapsed;
    elapsed.start();
    // A kept connection's answer ends with its JSON body.
    while (socket.state() == QAbstractSocket::ConnectedState && elapsed.elapsed() < 3000 &&
           (!answer.endsWith('}') || answer.contains("Connection: close"))) {
        socket.waitForReadyRead(100);
        answer += socket.readAll();
    }
    answer += socket.readAll();
    return {answer, socket.state() != QAbstractSocket::ConnectedState};
}

// Only requests with the token are judged; every broken or refused request
// gets its status and a small JSON error, and its connection is closed; the
// access log shows one line per request without the window's text or the
// token.
TEST_F(CheckServiceHttpTest, EveryRequestGetsItsStatusAndOneAccessLine) {
    log.clear();
    const QByteArray secret = "SECRET-WINDOW-TEXT";
    const QByteArray auth = "Authorization: Bearer s3cret-token\r\n";
    const auto length = [](const QByteArray& body) -> QByteArray {
        return "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    };
    const auto request = [](const QByteArray& line, const QByteArray& headers,
                            const QByteArray& body = {}) -> QByteArray {
        return line + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" + body;
    };
    const auto post = [&](const QByteArray& body,
                          const QByteArray& line = "POST /check") -> QByteArray {
        return request(line, auth + length(body), body);
    };
    const QByteArray title = R"({"aimset":"Write the grant","context":"Writer - grant.odt",)"
                             R"("mode":"title"})";
    QByteArray bigChunks;
    for (int i = 0; i < 5; ++i) {
        bigChunks += "4000\r\n" + QByteArray(0x4000, 'x') + "\r\n";
    }
    // A POST to /check with these headers.
    const auto headed = [&](const QByteArray& headers, const QByteArray& body) {
        return request("POST /check", headers, body);
    };
    const QByteArray chunked = "Transfer-Encoding: chunked\r\n";
    const char *const okay = "200 OK", *const bad = "400 Bad Request";
    // Each case: its name, the bytes sent, the status, and the mode as the
    // access log names it.
    const std::tuple<const char*, QByteArray, const char*, const char*> cases[] = {
        {"title", post(title), okay, "title"},
        {"text", post(R"({"aimset":"Plan the trip","context":")" + secret + R"(","mode":"text"})"),
         okay, "text"},
        {"not JSON", post("{aimset: nope"), bad, "-"},
        {"not an object", post(R"(["aimset", "title"])"), bad, "-"},
        {"no mode", post(R"({"aimset":"a","context":"b"})"), bad, "-"},
        {"unknown mode", post(R"({"aimset":"a","context":"b","mode":"guess"})"), bad, "-"},
        {"blank aimset", post(R"({"aimset":"  ","context":"b","mode":"title"})"), bad, "title"},
        {"aimset 7", post(R"({"aimset":7,"context":"b","mode":"text"})"), bad, "text"},
        {"no context", post(R"({"aimset":"a","mode":"text"})"), bad, "text"},
        {"one byte over 64 KiB",
         post(R"({"aimset":"a","mode":"text","context":")" + QByteArray(65478, 'x') + secret +
              R"("})"),
         bad, "-"},
        {"other path", post(title, "POST /other"), "404 Not Found", "-"},
        {"GET", request("GET /check", auth), "405 Method Not Allowed", "-"},
        {"no token", headed(length(title), title), "401 Unauthorized", "-"},
        {"wrong token", headed("Authorization: Bearer s3cret-tokem\r\n" + length(title), title),
         "401 Unauthorized", "-"},
        {"two lengths", headed(auth + length(title) + "Content-Length: 5\r\n", title), bad, "-"},
        {"length and chunked", headed(auth + length(title) + chunked, title), bad, "-"},
        {"chunked",
         headed(auth + chunked, "10\r\n" + title.left(16) + "\r\n" +
                                    QByteArray::number(title.size() - 16, 16) + "\r\n" +
                                    title.mid(16) + "\r\n0\r\n\r\n"),
         okay, "title"},
        {"chunked over 64 KiB", headed(auth + chunked, bigChunks), bad, "-"},
        {"range on POST", headed(auth + "Range: bytes=0-3\r\n" + length(title), title), okay,
         "title"},
        {"100 header lines",
         headed(auth + QByteArray("X-A: 1\r\n").repeated(97) + length(title), title), okay,
         "title"},
        {"101 header lines", headed(auth + QByteArray("X-A: 1\r\n").repeated(99), {}),
         "431 Request Header Fields Too Large", "-"},
        {"folded header", headed(auth + length(title) + " folded\r\n", title), bad, "-"},
    };
    QStringList expected;
    for (const auto& [name, sent, status, mode] : cases) {
        const auto [answer, closed] = exchange(server->port(), sent);
        const bool ok = qstrcmp(status, "200 OK") == 0;
        EXPECT_TRUE(answer.startsWith(QByteArray("HTTP/1.1 " + QByteArray(status) + "\r\n")))
            << name << ": " << answer.left(200).toStdString();
        EXPECT_EQ(closed, !ok) << name;
        const QJsonObject body =
            QJsonDocument::fromJson(answer.mid(answer.indexOf("\r\n\r\n") + 4)).object();
        EXPECT_EQ(body.value(u"error"_s).isString(), !ok) << name;
        EXPECT_EQ(body.value(u"aligned"_s).toBool(), ok && qstrcmp(mode, "title") == 0) << name;
        expected.append(u"[checkd] %1 mode=%2 status=%3"_s.arg(
            QString::fromLatin1(sent.left(sent.indexOf(" HTTP/"))), QString::fromLatin1(mode),
            QString::fromLatin1(status).left(3)));
    }
    // The access line is written just after the answer has gone out, by the
    // one thread that serves every connection: in the order of the requests.
    aimset::test::spinUntil([&] { return log.lines().size() >= expected.size(); });
    QStringList access;
    for (const QString& line : log.lines()) {
        access.append(line.section(u" ms="_s, 0, 0));
        EXPECT_FALSE(line.contains(QString::fromLatin1(secret)) || line.contains(u"s3cret"_s))
            << line.toStdString();
    }
    EXPECT_EQ(access, expected);
}

// 64 clients at once, each on its own connection: every one gets its answer.
TEST_F(CheckServiceHttpTest, SixtyFourConcurrentClientsAreAllAnswered) {
    constexpr int clients = 64;
    std::latch start(clients);
    std::atomic<int> answered{0};
    std::vector<std::jthread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", server->port());
            client.set_read_timeout(10, 0);
            client.set_bearer_token_auth("s3cret-token");
            start.arrive_and_wait();
            const std::string body = R"({"aimset":"Finish the budget report","context":"Calc - )" +
                                     std::to_string(i) + R"( budget report.ods","mode":"title"})";
            const auto result = client.Post("/check", body, "application/json");
            answered += result && result->body == R"({"aligned":true})" ? 1 : 0;
        });
    }
    threads.clear(); // joins them
    EXPECT_EQ(answered.load(), clients);
}

// The limit holds for every caller of the service, not only behind the server.
TEST(CheckServiceTest, ABodyOverTheLimitIsRefused) {
    OfflineJudge judge;
    const CheckService service(judge);
    const QByteArray start = R"({"aimset":"a","mode":"title","context":")";
    const QByteArray body =
        start + QByteArray(CheckService::maxBodyBytes - start.size() - 2, 'x') + "\"}";
    EXPECT_EQ(service.handle("POST", "/check", body).status, 200);
    EXPECT_EQ(service.handle("POST", "/check", body + ' ').status, 400);
}

} // namespace
