#include "Platform/Qt/CheckServiceLauncher.h"

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Qt/QtHttpClient.h"
#include "Runtime/QtMainLoop.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>

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

class CheckServiceLauncherTest : public ::testing::Test {
protected:
    void SetUp() override { qunsetenv("AIMSET_CHECK_URL"); }

    CheckServiceLauncher::Options
    options(const QString& directory = QStringLiteral(AIMSET_CHECKD_DIR)) {
        CheckServiceLauncher::Options o;
        o.programDirectory = directory;
        return o;
    }

    // Asks the service as the app would; the answer, or none.
    std::optional<bool> appAsks(const QUrl& url, const QByteArray& token) {
        FakeAccessibility accessibility;
        AlignmentChecker checker(http, accessibility, {});
        checker.setService(url, token);
        std::optional<std::optional<bool>> answer;
        checker.checkTitle(u"Write the grant"_s, u"Writer"_s, u"grant.odt"_s,
                           [&](std::optional<bool> a) { answer = a; });
        spinUntil([&] { return answer.has_value(); });
        return answer ? *answer : std::nullopt;
    }

    // Starts the launcher and waits for its ready answer.
    std::optional<bool> startAndWait(CheckServiceLauncher& launcher) {
        std::optional<bool> ready;
        const auto connection =
            QObject::connect(&launcher, &CheckServiceLauncher::ready, [&](bool ok) { ready = ok; });
        launcher.start();
        spinUntil([&] { return ready.has_value(); });
        QObject::disconnect(connection);
        return ready;
    }

    test::LogCapture log;
    QtMainLoop loop;
    QtHttpClient http;
};

// Whatever listens on the port an older version used gets nothing: the app's
// own service takes a free port and a token only the app knows.
TEST_F(CheckServiceLauncherTest, StartsItsOwnServiceOnAFreePortWithATokenAndStopsIt) {
    QTcpServer oldPort;
    const bool holdsOldPort = oldPort.listen(QHostAddress::LocalHost, 48620);
    int connectionsToOldPort = 0;
    QObject::connect(&oldPort, &QTcpServer::newConnection, [&] { ++connectionsToOldPort; });

    std::vector<std::pair<QUrl, QByteArray>> published;
    QUrl url;
    {
        CheckServiceLauncher launcher(loop, options());
        QObject::connect(&launcher, &CheckServiceLauncher::serviceChanged,
                         [&](const QUrl& u, const QByteArray& t) { published.emplace_back(u, t); });
        EXPECT_EQ(startAndWait(launcher), std::optional<bool>(true));
        EXPECT_EQ(launcher.state(), State::running);
        url = launcher.serviceURL();
        EXPECT_TRUE(QRegularExpression(u"^http://127\\.0\\.0\\.1:\\d+/check$"_s)
                        .match(url.toString())
                        .hasMatch())
            << url.toString().toStdString();
        EXPECT_NE(url.port(), 48620);
        EXPECT_TRUE(QRegularExpression(u"^[0-9a-f]{64}$"_s)
                        .match(QString::fromLatin1(launcher.token()))
                        .hasMatch());
        ASSERT_EQ(published.size(), 1u);
        EXPECT_EQ(published[0], std::make_pair(url, launcher.token()));

        // Other users can read a command line, not an environment.
        QFile commandLine(u"/proc/%1/cmdline"_s.arg(launcher.processId()));
        ASSERT_TRUE(commandLine.open(QIODevice::ReadOnly));
        EXPECT_FALSE(commandLine.readAll().contains(launcher.token()));

        EXPECT_EQ(appAsks(url, launcher.token()), std::optional<bool>(true));
        EXPECT_EQ(appAsks(url, "not-the-token"), std::nullopt);
        EXPECT_TRUE(log.lines().contains(u"[AlignmentChecker] Proxy error: status 401"_s));
    } // destruction stops it
    EXPECT_EQ(published.size(), 2u);
    EXPECT_EQ(published.back(), std::make_pair(QUrl(), QByteArray()));
    QStringList launcherLines;
    for (const QString& line : log.lines()) {
        if (line.startsWith(u"[CheckService]"_s)) {
            launcherLines << line;
        }
    }
    EXPECT_EQ(launcherLines,
              (QStringList{u"[CheckService] Started aimset-checkd on "_s + url.toString(),
                           u"[CheckService] Stopping aimset-checkd"_s}));
    QTcpSocket probe;
    probe.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(url.port()));
    EXPECT_FALSE(probe.waitForConnected(1000)) << "the service outlived its launcher";
    if (holdsOldPort) {
        EXPECT_EQ(connectionsToOldPort, 0);
    }
}

// Checks in the gap have nowhere to go; each restart is one line, and the
// delays grow.
TEST_F(CheckServiceLauncherTest, AServiceThatDiesIsStartedAgainAfterAGrowingDelay) {
    VirtualMainLoop virtualLoop;
    CheckServiceLauncher::Options o = options();
    o.firstRestartDelay = 1000ms;
    o.maxRestartDelay = 4000ms;
    CheckServiceLauncher launcher(virtualLoop, o);
    std::vector<std::pair<QUrl, QByteArray>> published;
    QObject::connect(&launcher, &CheckServiceLauncher::serviceChanged,
                     [&](const QUrl& u, const QByteArray& t) { published.emplace_back(u, t); });
    ASSERT_EQ(startAndWait(launcher), std::optional<bool>(true));
    log.clear();
    for (const char* delay : {"1", "2", "4", "4"}) {
        ::kill(static_cast<pid_t>(launcher.processId()), SIGKILL);
        spinUntil([&] { return launcher.state() == State::restarting; });
        ASSERT_EQ(launcher.state(), State::restarting);
        EXPECT_EQ(published.back(), std::make_pair(QUrl(), QByteArray()));
        EXPECT_EQ(appAsks(launcher.serviceURL(), launcher.token()), std::nullopt);
        virtualLoop.advance(std::chrono::seconds(QByteArray(delay).toInt()) - 1ms);
        EXPECT_EQ(launcher.state(), State::restarting);
        virtualLoop.advance(1ms);
        spinUntil([&] { return launcher.state() == State::running; });
        ASSERT_EQ(launcher.state(), State::running);
        EXPECT_EQ(published.back(), std::make_pair(launcher.serviceURL(), launcher.token()));
        EXPECT_EQ(appAsks(launcher.serviceURL(), launcher.token()), std::optional<bool>(true));
        EXPECT_EQ(log.take(),
                  QStringList{u"[CheckService] aimset-checkd stopped unexpectedly (crashed) — "
                              u"restarting in %1 s"_s.arg(QString::fromLatin1(delay))});
    }
}

TEST_F(CheckServiceLauncherTest, WithoutTheProgramTheAppRunsOn) {
    QTemporaryDir empty;
    CheckServiceLauncher launcher(loop, options(empty.path()));
    EXPECT_EQ(startAndWait(launcher), std::optional<bool>(false));
    EXPECT_EQ(launcher.state(), State::unavailable);
    EXPECT_EQ(log.lines(),
              (QStringList{u"[CheckService] aimset-checkd not found beside the app ("_s +
                           empty.path() + u"/aimset-checkd) — alignment checks will fail"_s}));
}

TEST_F(CheckServiceLauncherTest, AConfiguredServiceIsLeftAlone) {
    qputenv("AIMSET_CHECK_URL", "https://checks.example/check");
    CheckServiceLauncher launcher(loop, options());
    std::optional<bool> ready;
    bool published = false;
    QObject::connect(&launcher, &CheckServiceLauncher::ready, [&](bool ok) { ready = ok; });
    QObject::connect(&launcher, &CheckServiceLauncher::serviceChanged,
                     [&](const QUrl&, const QByteArray&) { published = true; });
    launcher.start();
    qunsetenv("AIMSET_CHECK_URL");
    EXPECT_EQ(ready, std::optional<bool>(true));
    EXPECT_EQ(launcher.state(), State::configured);
    launcher.stop();
    EXPECT_FALSE(published) << "the configured service stays the checker's";
    EXPECT_EQ(
        log.lines(),
        (QStringList{u"[CheckService] AIMSET_CHECK_URL is set — not starting aimset-checkd"_s}));
}

} // namespace
