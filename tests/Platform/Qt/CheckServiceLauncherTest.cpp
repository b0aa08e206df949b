#include "Platform/Qt/CheckServiceLauncher.h"

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "Platform/Qt/QtHttpClient.h"
#include "Runtime/QtMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using State = CheckServiceLauncher::State;

namespace {

template <typename Done> void spinUntil(Done done, std::chrono::milliseconds limit = 10000ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

quint16 freePort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    return server.serverPort();
}

class CheckServiceLauncherTest : public ::testing::Test {
protected:
    void SetUp() override { qunsetenv("AIMSET_CHECK_URL"); }

    CheckServiceLauncher::Options
    options(const QString& directory = QStringLiteral(AIMSET_CHECKD_DIR)) {
        CheckServiceLauncher::Options o;
        o.programDirectory = directory;
        o.port = port;
        return o;
    }

    // Asks the service at url as the app would; true when it answered.
    bool appGetsAnAnswer(const QUrl& url) {
        FakeAccessibility accessibility;
        AlignmentChecker checker(http, accessibility, url);
        std::optional<std::optional<bool>> answer;
        checker.checkTitle(u"Write the grant"_s, u"Writer"_s, u"grant.odt"_s,
                           [&](std::optional<bool> a) { answer = a; });
        spinUntil([&] { return answer.has_value(); });
        return answer && answer->has_value();
    }

    // Starts the launcher and waits for its onReady answer.
    std::optional<bool> startAndWait(CheckServiceLauncher& launcher) {
        std::optional<bool> ready;
        launcher.onReady = [&](bool ok) { ready = ok; };
        launcher.start();
        spinUntil([&] { return ready.has_value(); });
        launcher.onReady = nullptr;
        return ready;
    }

    test::LogCapture log;
    QtMainLoop loop;
    QtHttpClient http;
    quint16 port = freePort();
};

TEST_F(CheckServiceLauncherTest, StartsTheServiceBesideTheAppAndStopsIt) {
    std::vector<bool> ready;
    {
        CheckServiceLauncher launcher(http, loop, options());
        launcher.onReady = [&](bool ok) { ready.push_back(ok); };
        launcher.start();
        EXPECT_EQ(launcher.state(), State::probing);
        spinUntil([&] { return !ready.empty(); });
        EXPECT_EQ(ready, std::vector<bool>{true});
        EXPECT_EQ(launcher.state(), State::running);
        EXPECT_EQ(launcher.serviceURL(), QUrl(u"http://127.0.0.1:%1/check"_s.arg(port)));
        EXPECT_TRUE(appGetsAnAnswer(launcher.serviceURL()));
    } // destruction stops it
    const QString url = u"http://127.0.0.1:%1/check"_s.arg(port);
    QStringList launcherLines;
    for (const QString& line : log.lines()) {
        if (line.startsWith(u"[CheckService]"_s)) {
            launcherLines << line;
        }
    }
    EXPECT_EQ(launcherLines, (QStringList{u"[CheckService] Started aimset-checkd on "_s + url,
                                          u"[CheckService] Stopping aimset-checkd"_s}));
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, port);
    EXPECT_FALSE(probe.waitForConnected(1000)) << "the service outlived its launcher";
}

TEST_F(CheckServiceLauncherTest, ReusesACompatibleServiceAndLeavesItRunning) {
    CheckServiceLauncher first(http, loop, options());
    first.start();
    spinUntil([&] { return first.state() == State::running; });
    ASSERT_EQ(first.state(), State::running);
    log.clear();
    {
        // A second app, with no program beside it, finds the first one's service.
        QTemporaryDir empty;
        CheckServiceLauncher second(http, loop, options(empty.path()));
        EXPECT_EQ(startAndWait(second), std::optional<bool>(true));
        EXPECT_EQ(second.state(), State::reused);
    }
    EXPECT_EQ(
        log.take(),
        (QStringList{u"[CheckService] Reusing the alignment service on 127.0.0.1:%1"_s.arg(port)}));
    EXPECT_TRUE(appGetsAnAnswer(first.serviceURL()));
}

TEST_F(CheckServiceLauncherTest, WithoutTheProgramTheAppRunsOn) {
    QTemporaryDir empty;
    CheckServiceLauncher launcher(http, loop, options(empty.path()));
    EXPECT_EQ(startAndWait(launcher), std::optional<bool>(false));
    EXPECT_EQ(launcher.state(), State::unavailable);
    EXPECT_EQ(log.lines(),
              (QStringList{u"[CheckService] aimset-checkd not found beside the app ("_s +
                           empty.path() + u"/aimset-checkd) — alignment checks will fail"_s}));
}

TEST_F(CheckServiceLauncherTest, APortTakenByAnotherProgramIsReported) {
    // Something that speaks HTTP, but not our language.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, port));
    QObject::connect(&other, &QTcpServer::newConnection, [&] {
        QTcpSocket* socket = other.nextPendingConnection();
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write(
                "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            socket->disconnectFromHost();
        });
    });
    CheckServiceLauncher launcher(http, loop, options());
    EXPECT_EQ(startAndWait(launcher), std::optional<bool>(false));
    EXPECT_EQ(launcher.state(), State::unavailable);
    EXPECT_EQ(
        log.lines(),
        (QStringList{
            u"[CheckService] Port %1 is taken by another program — alignment checks will fail"_s
                .arg(port)}));
}

TEST_F(CheckServiceLauncherTest, AConfiguredServiceIsLeftAlone) {
    qputenv("AIMSET_CHECK_URL", "https://checks.example/check");
    FakeHttpClient fakeHttp;
    CheckServiceLauncher launcher(fakeHttp, loop, options());
    std::optional<bool> ready;
    launcher.onReady = [&](bool ok) { ready = ok; };
    launcher.start();
    qunsetenv("AIMSET_CHECK_URL");
    EXPECT_EQ(ready, std::optional<bool>(true));
    EXPECT_EQ(launcher.state(), State::configured);
    EXPECT_TRUE(fakeHttp.calls.empty());
    EXPECT_EQ(
        log.lines(),
        (QStringList{u"[CheckService] AIMSET_CHECK_URL is set — not starting aimset-checkd"_s}));
}

TEST_F(CheckServiceLauncherTest, AProbeAnsweredAfterDestructionDoesNothing) {
    // The app may close while its first look at the port is under way.
    FakeHttpClient fakeHttp;
    bool called = false;
    {
        CheckServiceLauncher launcher(fakeHttp, loop, options());
        launcher.onReady = [&](bool) { called = true; };
        launcher.start();
    }
    ASSERT_EQ(fakeHttp.pendingCount(), 1u);
    fakeHttp.respond(0, 200, R"({"aligned":true})");
    EXPECT_FALSE(called);
    EXPECT_TRUE(log.lines().isEmpty());
}

} // namespace
