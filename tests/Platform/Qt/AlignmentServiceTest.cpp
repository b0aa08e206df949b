// The road to the alignment service: the HTTP client under the real checker
// against a real server, and the launcher of the app's own aimset-checkd.

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Qt/CheckServiceLauncher.h"
#include "Platform/Qt/QtHttpClient.h"
#include "Runtime/QtMainLoop.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/SelfSignedCertificate.h"
#include "support/SpinUntil.h"
#include "support/TestHttpServer.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::spinUntil;
using test::TestHttpServer;
using Reply = TestHttpServer::Reply;
using State = CheckServiceLauncher::State;
using Service = std::pair<QUrl, QByteArray>;

namespace {

struct AlignmentServiceTest : ::testing::Test {
    test::ScopedEnvironment noServiceConfigured{"AIMSET_CHECK_URL", std::nullopt};

    // The checker's title check as the app makes it; its answer, waited for
    // on Qt's event loop.
    std::optional<bool> checkTitle(const Service& service) {
        FakeAccessibility accessibility;
        AlignmentChecker checker(http, accessibility, {}, {}, CheckTimeouts{1000ms});
        checker.setService(service.first, service.second);
        std::optional<std::optional<bool>> result;
        checker.checkTitle(u"Write the report"_s, u"Firefox"_s,
                           u"The report, first draft \u2014 \U0001F4DD"_s,
                           [&](std::optional<bool> r) { result = r; });
        // Answers never arrive inside the call, unless there is nowhere to ask.
        EXPECT_TRUE(!result || service.first.isEmpty());
        EXPECT_TRUE(spinUntil([&] { return result.has_value(); }));
        return result.value_or(std::nullopt);
    }

    // A started launcher of the program in `directory`, once it has an
    // outcome; what it publishes is recorded.
    std::unique_ptr<CheckServiceLauncher>
    start(MainLoop& on, const QString& directory = QStringLiteral(AIMSET_CHECKD_DIR)) {
        auto launcher = std::make_unique<CheckServiceLauncher>(on, directory, 4000ms);
        QObject::connect(
            launcher.get(), &CheckServiceLauncher::serviceChanged,
            [this](const QUrl& u, const QByteArray& t) { published.emplace_back(u, t); });
        launcher->start();
        spinUntil([&] { return launcher->state() != State::starting; });
        return launcher;
    }

    test::LogCapture log;
    QtHttpClient http;
    QtMainLoop loop;
    std::vector<Service> published;
};

TEST_F(AlignmentServiceTest, PostsCompactJsonWithOneContentTypeHeader) {
    TestHttpServer server([](const auto&) { return Reply::json(200, R"({"aligned": true})"); });
    EXPECT_EQ(checkTitle({QUrl(QString::fromLatin1(server.url())), {}}), std::optional<bool>(true));
    ASSERT_EQ(server.received.size(), 1);
    const auto& request = server.received.first();
    EXPECT_EQ(request.method + ' ' + request.path, QByteArray("POST /check"));
    EXPECT_EQ(request.headers.value("content-type"), QByteArray("application/json"));
    EXPECT_FALSE(request.headers.contains("authorization") || request.headers.contains("cookie"));
    EXPECT_EQ(QJsonDocument::fromJson(request.body).object(),
              (QJsonObject{{u"aimset"_s, u"Write the report"_s},
                           {u"context"_s, u"Firefox - The report, first draft \u2014 \U0001F4DD"_s},
                           {u"mode"_s, u"title"_s}}));
    EXPECT_TRUE(log.lines().isEmpty());
}

// An error status is an answer with that status, a redirect too: the request,
// window text and all, never goes where it points. Answers over 1 MB are
// refused as they arrive, whether or not they say their length. A certificate
// nobody vouches for is refused before anything is sent.
TEST_F(AlignmentServiceTest, WhatTheServiceGetsWrongIsAFailedCheckWithOneLine) {
    const test::SelfSignedCertificate tls;
    ASSERT_FALSE(tls.certificate.isNull() || tls.key.isNull());
    TestHttpServer elsewhere([](const auto&) { return Reply::json(200, R"({"aligned": true})"); });
    const QByteArray ok = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    const QByteArray big = R"({"aligned": true, "pad": ")" + QByteArray(2 << 20, 'x') + R"("})";
    const QString failed = u"[AlignmentChecker] Request failed: "_s;
    const QString refused = failed + u"The answer is larger than 1 MB and was refused."_s;
    // The name, the reply (none: nothing listens), whether over TLS, the line.
    const std::tuple<const char*, std::optional<Reply>, bool, QString> rows[] = {
        {"500",
         Reply::raw("HTTP/1.1 500 Internal Server Error\r\nContent-Type: application/json\r\n"
                    "Content-Length: 16\r\n\r\n{\"aligned\":true}"),
         false, u"[AlignmentChecker] Proxy error: status 500"_s},
        {"307",
         Reply::raw("HTTP/1.1 307 Temporary Redirect\r\nLocation: " + elsewhere.url() +
                    "\r\nContent-Length: 0\r\n\r\n"),
         false, u"[AlignmentChecker] Proxy error: status 307"_s},
        {"2 MB, length given",
         Reply::raw(ok + "Content-Length: " + QByteArray::number(big.size()) + "\r\n\r\n" + big),
         false, refused},
        {"2 MB, until the end", Reply::raw(ok + "Connection: close\r\n\r\n" + big), false, refused},
        {"never answers", Reply::silent(), false, failed + u"The request timed out."_s},
        {"nothing listens", std::nullopt, false, failed + u"Connection refused"_s},
        {"self-signed", Reply::json(200, R"({"aligned":true})"), true,
         failed + u"SSL handshake failed: The certificate is self-signed, and untrusted"_s},
    };
    for (const auto& [name, reply, overTls, line] : rows) {
        const auto answer = [&reply](const auto&) { return reply.value_or(Reply::silent()); };
        auto server = overTls ? std::make_unique<TestHttpServer>(answer, tls.certificate, tls.key)
                              : std::make_unique<TestHttpServer>(answer);
        const QByteArray url = server->url(overTls ? "https" : "http");
        if (!reply) {
            server.reset();
        }
        EXPECT_EQ(checkTitle({QUrl(QString::fromLatin1(url)), {}}), std::nullopt) << name;
        EXPECT_EQ(log.take(), QStringList{line}) << name;
        EXPECT_EQ(server ? server->received.size() : 0, overTls || !server ? 0 : 1) << name;
    }
    EXPECT_TRUE(elsewhere.received.isEmpty());
}

// The app's own service answers only with a token only the app knows. When it
// dies, checks in the gap have nowhere to go; each restart is one line, and
// the delays grow. It goes when the launcher goes.
TEST_F(AlignmentServiceTest, TheLauncherKeepsItsOwnServiceRunningWithATokenAndStopsIt) {
    VirtualMainLoop virtualLoop;
    Service service;
    {
        const auto launcher = start(virtualLoop);
        ASSERT_EQ(launcher->state(), State::running);
        service = published.back();
        EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{64}$"_s)
                        .match(QString::fromLatin1(service.second))
                        .hasMatch());
        EXPECT_EQ(published, std::vector<Service>{service});
        // Other users can read a command line, not an environment.
        QFile commandLine(u"/proc/%1/cmdline"_s.arg(launcher->processId()));
        ASSERT_TRUE(commandLine.open(QIODevice::ReadOnly));
        EXPECT_FALSE(commandLine.readAll().contains(service.second));
        EXPECT_EQ(checkTitle(service), std::optional<bool>(true));
        EXPECT_EQ(checkTitle({service.first, "not-the-token"}), std::nullopt);
        EXPECT_EQ(log.take(), (QStringList{u"[CheckService] Started aimset-checkd on "_s +
                                               service.first.toString(),
                                           u"[AlignmentChecker] Proxy error: status 401"_s}));

        for (const int delay : {1, 2, 4, 4}) {
            ::kill(static_cast<pid_t>(launcher->processId()), SIGKILL);
            ASSERT_TRUE(spinUntil([&] { return launcher->state() == State::restarting; }));
            EXPECT_EQ(published.back(), Service());
            EXPECT_EQ(checkTitle(published.back()), std::nullopt);
            virtualLoop.advance(std::chrono::seconds(delay) - 1ms);
            EXPECT_EQ(launcher->state(), State::restarting);
            virtualLoop.advance(1ms);
            ASSERT_TRUE(spinUntil([&] { return launcher->state() == State::running; }));
            EXPECT_NE(published.back(), service);
            service = published.back();
            EXPECT_EQ(checkTitle(service), std::optional<bool>(true));
            EXPECT_EQ(log.take(), QStringList{u"[CheckService] aimset-checkd stopped unexpectedly "
                                              u"(crashed) — restarting in %1 s"_s.arg(delay)});
        }
    }
    EXPECT_EQ(published.back(), Service());
    EXPECT_EQ(log.take(), QStringList{u"[CheckService] Stopping aimset-checkd"_s});
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(service.first.port()));
    EXPECT_FALSE(probe.waitForConnected(1000)) << "the service outlived its launcher";
}

// Without the program the app runs on, without checks.
TEST_F(AlignmentServiceTest, WithoutTheProgramOrWithAConfiguredServiceNoneIsStarted) {
    QTemporaryDir empty;
    EXPECT_EQ(start(loop, empty.path())->state(), State::unavailable);
    qputenv("AIMSET_CHECK_URL", "https://checks.example/check");
    EXPECT_EQ(start(loop)->state(), State::configured);
    EXPECT_TRUE(published.empty()) << "a configured service stays the checker's";
    EXPECT_EQ(
        log.lines(),
        (QStringList{u"[CheckService] aimset-checkd not found beside the app ("_s + empty.path() +
                         u"/aimset-checkd) — alignment checks will fail"_s,
                     u"[CheckService] AIMSET_CHECK_URL is set — not starting aimset-checkd"_s}));
}

} // namespace
