#include "ServiceHarness.h"

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Qt/QtHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>

#include <httplib.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace aimset;
using namespace aimset::checkd;
using namespace aimset::checkd::test;
using namespace Qt::StringLiterals;

namespace {

QStringList withPrefix(const QStringList& lines, const QString& prefix) {
    QStringList out;
    for (const QString& line : lines) {
        if (line.startsWith(prefix)) {
            out.append(line);
        }
    }
    return out;
}

class CheckServiceHttpTest : public ::testing::Test {
protected:
    aimset::test::LogCapture log;
    OfflineJudge judge;
    RunningService running{judge};
    QtHttpClient http;
    FakeAccessibility accessibility;
    AlignmentChecker checker{http, accessibility, running.url()};
};

// The app's own client reads each mode's answers (the verdicts themselves
// are the judge's tables).
TEST_F(CheckServiceHttpTest, TheAppsClientReadsEveryModesAnswer) {
    const QString aimset = u"Write the grant proposal for the river survey"_s;
    std::optional<std::optional<bool>> title;
    std::optional<std::optional<AlignmentVerdict>> text;
    std::optional<std::optional<QString>> expansion;
    checker.checkTitle(aimset, u"LibreOffice Writer"_s, u"river survey grant proposal v4.odt"_s,
                       [&](std::optional<bool> answer) { title = answer; });
    checker.checkText(aimset, u"Shipping address and delivery window"_s,
                      [&](auto verdict) { text = verdict; });
    checker.expandAimset(aimset, u"Sediment sampling methods - Wikipedia — Mozilla Firefox"_s,
                         [&](auto phrase) { expansion = phrase; });
    spinUntil([&] { return title && text && expansion; });
    ASSERT_TRUE(title && text && expansion);
    EXPECT_EQ(*title, std::optional<bool>(true));
    ASSERT_TRUE(text->has_value());
    EXPECT_EQ(**text,
              AlignmentVerdict::unclear(
                  u"Do you need this window for \u201CWrite the grant proposal for the river "
                  u"survey\u201D?"_s,
                  u"No clear link to \u201CWrite the grant proposal for the river survey\u201D"_s));
    EXPECT_EQ(*expansion, std::optional<QString>(u"Sediment sampling methods"_s));
}

struct BadRequest {
    const char* name;
    std::string method;
    std::string path;
    std::string body;
    int status;
    const char* mode; // as the access log names it
};

// Every broken request gets its status and a small JSON error, the service
// keeps serving, and the access log shows one line per request without the
// window's text.
TEST_F(CheckServiceHttpTest, BadInputGetsItsStatusAndTheServiceKeepsServing) {
    const std::string secret = "SECRET-WINDOW-TEXT";
    const std::vector<BadRequest> cases = {
        {"not JSON", "POST", "/check", "{aimset: nope", 400, "-"},
        {"not an object", "POST", "/check", "[\"aimset\", \"title\"]", 400, "-"},
        {"no mode", "POST", "/check", R"({"aimset":"a","context":"b"})", 400, "-"},
        {"mode not a string", "POST", "/check", R"({"aimset":"a","context":"b","mode":1})", 400,
         "-"},
        {"unknown mode", "POST", "/check", R"({"aimset":"a","context":"b","mode":"guess"})", 400,
         "-"},
        {"empty aimset", "POST", "/check", R"({"aimset":"  ","context":"b","mode":"title"})", 400,
         "title"},
        {"aimset not a string", "POST", "/check", R"({"aimset":7,"context":"b","mode":"text"})",
         400, "text"},
        {"no context", "POST", "/check", R"({"aimset":"a","mode":"text"})", 400, "text"},
        {"expand without windowTitle", "POST", "/check",
         R"({"aimset":"a","context":"b","mode":"expand"})", 400, "expand"},
        {"over 64 KiB", "POST", "/check",
         R"({"aimset":"a","mode":"text","context":")" + std::string(70 * 1024, 'x') + secret +
             R"("})",
         400, "-"},
        {"other path", "POST", "/other", R"({"aimset":"a","context":"b","mode":"title"})", 404,
         "-"},
        {"GET", "GET", "/check", "", 405, "-"},
        {"PUT", "PUT", "/check", R"({"aimset":"a","context":"b","mode":"title"})", 405, "-"},
        {"DELETE", "DELETE", "/check", "", 405, "-"},
    };
    httplib::Client client("127.0.0.1", running.port());
    log.clear();
    for (const BadRequest& bad : cases) {
        const httplib::Result result =
            bad.method == "GET"      ? client.Get(bad.path)
            : bad.method == "PUT"    ? client.Put(bad.path, bad.body, "application/json")
            : bad.method == "DELETE" ? client.Delete(bad.path)
                                     : client.Post(bad.path, bad.body, "application/json");
        ASSERT_TRUE(result) << bad.name << ": " << httplib::to_string(result.error());
        EXPECT_EQ(result->status, bad.status) << bad.name;
        const QJsonObject error =
            QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
        EXPECT_TRUE(error.value(u"error"_s).isString()) << bad.name << ": " << result->body;
    }
    const auto good = client.Post(
        "/check", R"({"aimset":"Plan the trip","context":")" + secret + R"(","mode":"text"})",
        "application/json");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->status, 200);

    // The access line is written just after the answer has gone out.
    const auto accessLines = [&] { return withPrefix(log.lines(), u"[checkd] "_s); };
    spinUntil([&] { return accessLines().size() >= static_cast<qsizetype>(cases.size() + 1); });
    // Requests on different connections may log in either order.
    QStringList access;
    for (const QString& line : accessLines()) {
        access.append(line.section(u" ms="_s, 0, 0));
    }
    QStringList expected;
    for (const BadRequest& bad : cases) {
        expected.append(u"[checkd] %1 %2 mode=%3 status=%4"_s
                            .arg(QString::fromStdString(bad.method),
                                 QString::fromStdString(bad.path), QString::fromLatin1(bad.mode))
                            .arg(bad.status));
    }
    expected.append(u"[checkd] POST /check mode=text status=200"_s);
    access.sort();
    expected.sort();
    EXPECT_EQ(access, expected);
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(QString::fromStdString(secret))) << line.toStdString();
    }
}

// Sends bytes as they are on a fresh connection; the answer and whether the
// service then closed the connection.
std::pair<QByteArray, bool> rawExchange(int port, const QByteArray& bytes) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(2000)) {
        return {};
    }
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    QByteArray answer;
    QElapsedTimer elapsed;
    elapsed.start();
    while (socket.state() == QAbstractSocket::ConnectedState && elapsed.elapsed() < 3000) {
        socket.waitForReadyRead(100);
        answer += socket.readAll();
        const qsizetype headEnd = answer.indexOf("\r\n\r\n");
        // A kept connection: stop once the whole answer is in.
        if (headEnd > 0 && !answer.contains("Connection: close") &&
            answer.size() >= headEnd + 4 +
                                 answer.mid(answer.indexOf("Content-Length: ") + 16)
                                     .split('\r')
                                     .first()
                                     .toInt()) {
            return {answer, false};
        }
    }
    answer += socket.readAll();
    return {answer, socket.state() != QAbstractSocket::ConnectedState};
}

// With a token, only requests that carry it are judged; requests framed in
// two ways at once are refused; every refusal closes its connection.
TEST(CheckServiceFramingTest, TokensFramingAndLimits) {
    aimset::test::LogCapture log;
    OfflineJudge judge;
    ServerOptions options;
    options.token = "s3cret-token";
    RunningService running(judge, options);
    const QByteArray body =
        R"({"aimset":"Write the grant","context":"Writer - grant.odt","mode":"title"})";
    const QByteArray post = "POST /check HTTP/1.1\r\nHost: 127.0.0.1\r\n";
    const QByteArray auth = "Authorization: Bearer s3cret-token\r\n";
    const QByteArray length = "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    QByteArray bigChunks;
    for (int i = 0; i < 5; ++i) {
        bigChunks += "4000\r\n" + QByteArray(0x4000, 'x') + "\r\n";
    }
    const struct {
        const char* name;
        QByteArray request;
        const char* statusLine;
        bool closes;
    } cases[] = {
        {"no token", post + length + "\r\n" + body, "HTTP/1.1 401 Unauthorized", true},
        {"wrong token", post + "Authorization: Bearer s3cret-tokem\r\n" + length + "\r\n" + body,
         "HTTP/1.1 401 Unauthorized", true},
        {"token", post + auth + length + "\r\n" + body, "HTTP/1.1 200 OK", false},
        {"two lengths", post + auth + length + "Content-Length: 5\r\n\r\n" + body,
         "HTTP/1.1 400 Bad Request", true},
        {"length and chunked", post + auth + length + "Transfer-Encoding: chunked\r\n\r\n" + body,
         "HTTP/1.1 400 Bad Request", true},
        {"chunked",
         post + auth + "Transfer-Encoding: chunked\r\n\r\n10\r\n" + body.left(16) + "\r\n" +
             QByteArray::number(body.size() - 16, 16) + "\r\n" + body.mid(16) + "\r\n0\r\n\r\n",
         "HTTP/1.1 200 OK", false},
        {"chunked over 64 KiB", post + auth + "Transfer-Encoding: chunked\r\n\r\n" + bigChunks,
         "HTTP/1.1 400 Bad Request", true},
        {"range on POST", post + auth + "Range: bytes=0-3\r\n" + length + "\r\n" + body,
         "HTTP/1.1 200 OK", false},
        {"101 header lines", post + auth + QByteArray("X-A: 1\r\n").repeated(101) + "\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large", true},
        {"folded header", post + auth + length + " folded\r\n\r\n" + body,
         "HTTP/1.1 400 Bad Request", true},
    };
    for (const auto& c : cases) {
        const auto [answer, closed] = rawExchange(running.port(), c.request);
        EXPECT_TRUE(answer.startsWith(c.statusLine))
            << c.name << ": " << answer.left(200).toStdString();
        EXPECT_EQ(closed, c.closes) << c.name;
        if (QByteArray(c.statusLine).endsWith("200 OK")) {
            EXPECT_TRUE(answer.endsWith(R"({"aligned":true})")) << c.name;
        }
    }
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(u"s3cret"_s)) << line.toStdString();
    }
}

// 64 clients at once, each on its own connection: every one gets its answer.
TEST_F(CheckServiceHttpTest, SixtyFourConcurrentClientsAreAllAnswered) {
    constexpr int clients = 64;
    std::atomic<int> ready{0};
    std::atomic<int> answered{0};
    std::mutex failuresMutex;
    std::vector<std::string> failures;
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            httplib::Client client("127.0.0.1", running.port());
            client.set_read_timeout(10, 0);
            ++ready;
            while (ready.load() < clients) {
                std::this_thread::yield();
            }
            const std::string body = R"({"aimset":"Finish the budget report","context":"Calc - )" +
                                     std::to_string(i) + R"( budget report.ods","mode":"title"})";
            const auto result = client.Post("/check", body, "application/json");
            if (result && result->status == 200 &&
                QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
                    .object()
                    .value(u"aligned"_s)
                    .isBool()) {
                ++answered;
            } else {
                std::lock_guard lock(failuresMutex);
                failures.push_back(result ? "status " + std::to_string(result->status)
                                          : httplib::to_string(result.error()));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(answered.load(), clients) << ::testing::PrintToString(failures);
}

} // namespace
