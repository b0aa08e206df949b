// How long the main thread can be kept from its event loop by another
// process that stops answering. A probe timer fires every 5 ms on the main
// thread and records how late each firing comes; the longest lateness is the
// longest stall a user would feel (a window that stops repainting, a click
// that waits). Measured while the app's own components run on their real
// adapters against a process frozen with SIGSTOP:
//
//   --frozen app      the frontmost application (a GTK dialog, read through
//                     AT-SPI in a private accessibility session): the monitor
//                     asks for its window text every 0.5 s, as during an
//                     intervention, and polls trust (run on an X desktop)
//   --frozen keyring  the keyring daemon: interventions are counted in the
//                     Secret Service twice a second (run under
//                     scripts/with-keyring.sh)
//   --frozen none     the same work with nothing frozen (either place)
//
// Usage: aimset-bench-stall --frozen app|keyring|none [--seconds S]
// Goal: the longest stall stays at or under 50 ms.

#include "BenchSupport.h"
#include "Interventions/InterventionManager.h"
#include "Interventions/UsageStore.h"
#include "Monitoring/AlignmentChecker.h"
#include "Monitoring/AppMonitor.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Platform/HttpClient.h"
#include "Platform/Linux/Atspi/AtspiAccessibility.h"
#include "Platform/Linux/Secrets/LibsecretSecretStore.h"
#include "Runtime/Log.h"
#include "Runtime/QtMainLoop.h"
#include "support/a11y/A11ySession.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace aimset;

namespace {

constexpr int kProbeMs = 5;

// The alignment service, answered at once on the main thread: every title
// is "not aligned", so every check goes on to read the window's text.
class NotAlignedService final : public HttpClient {
public:
    void send(const HttpRequest& request, Completion completion) override {
        const QString mode =
            QJsonDocument::fromJson(request.body).object().value(QStringLiteral("mode")).toString();
        HttpResponse response;
        response.status = 200;
        response.body = mode == QStringLiteral("title")
                            ? QByteArray("{\"aligned\":false}")
                            : QByteArray("{\"verdict\":\"MISALIGNED\",\"reason\":\"bench\"}");
        QTimer::singleShot(
            0, [completion = std::move(completion), response] { completion(response); });
    }
};

// Lateness of a repeating 5 ms timer on the main thread.
class StallProbe {
public:
    StallProbe() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kProbeMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = static_cast<double>(m_clock.nsecsElapsed()) / 1e6;
            if (m_last >= 0) {
                const double late = std::max(0.0, now - m_last - kProbeMs);
                if (late > m_longest) {
                    m_longest = late;
                    m_longestAt = now;
                }
                m_lateness.push_back(late);
            }
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    void print(const char* what, long work) {
        std::vector<double> samples = m_lateness;
        std::printf("%-30s longest stall %6.1f ms (at %4.1f s)  p99 %5.1f ms  median %4.1f ms  "
                    "(%zu probes, %ld operations)  %s\n",
                    what, m_longest, m_longestAt / 1000.0, bench::percentile(samples, 0.99),
                    bench::percentile(samples, 0.5), m_lateness.size(), work,
                    m_longest <= 50.0 ? "goal met" : "goal missed");
        std::fflush(stdout);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = -1;
    double m_longest = 0;
    double m_longestAt = 0;
    std::vector<double> m_lateness;
};

void runFor(std::chrono::milliseconds duration) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < duration.count()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

// Resumes a frozen process however the run ends.
struct Frozen {
    Frozen(pid_t process, bool freeze)
        : pid(freeze ? process : 0) {
        if (pid > 0) {
            ::kill(pid, SIGSTOP);
        }
    }
    ~Frozen() {
        if (pid > 0) {
            ::kill(pid, SIGCONT);
        }
    }
    Frozen(const Frozen&) = delete;
    Frozen& operator=(const Frozen&) = delete;
    pid_t pid;
};

int frontmostApp(bool freeze, int seconds) {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fputs("--frozen app needs an X desktop (scripts/with-desktop.sh)\n", stderr);
        return 2;
    }
    const auto session = test::A11ySession::start(test::A11ySession::Launcher::enabled);
    if (!session) {
        std::fputs("needs dbus and at-spi2-core\n", stderr);
        return 1;
    }
    test::TestApp dialog(*session, QStringLiteral("zenity"),
                         {QStringLiteral("--info"), QStringLiteral("--title=Frozen dialog"),
                          QStringLiteral("--text=Quarterly report draft")});
    AtspiAccessibility::Options options;
    options.programDirectory = QStringLiteral(AIMSET_ATSPI_DUMP_DIR);
    options.busAddress = session->address();
    options.persistCommand.clear();
    AtspiAccessibility accessibility(options);
    // The dialog is up and readable before it is frozen.
    bool readable = false;
    for (int attempt = 0; attempt < 100 && !readable; ++attempt) {
        readable = accessibility.isProcessTrusted() &&
                   test::readWindow(accessibility, dialog.pid(), std::chrono::seconds(5));
        runFor(std::chrono::milliseconds(100));
    }
    if (!readable) {
        std::fputs("the dialog's window could not be read\n", stderr);
        return 1;
    }

    QtMainLoop loop;
    FakeWorkspace workspace;
    workspace.setFrontmost(QStringLiteral("Zenity"), QStringLiteral("zenity"), dialog.pid(),
                           QStringLiteral("Frozen dialog"));
    NotAlignedService service;
    AlignmentChecker checker(service, accessibility,
                             QUrl(QStringLiteral("http://127.0.0.1:9/check")));
    AppMonitor monitor(loop, workspace, accessibility, checker);
    long reads = 0;
    QObject::connect(&monitor, &AppMonitor::misaligned, [&reads] { ++reads; });
    monitor.startMonitoring(QStringLiteral("Finish the quarterly report"));
    monitor.setPollInterval(true);
    // A new aimset every 0.5 s forgets the verdict, so every poll reads the
    // window again, as a new title would.
    QTimer forget;
    QObject::connect(&forget, &QTimer::timeout, [&monitor] {
        monitor.setTemporaryAimset(QStringLiteral("Finish the quarterly report"));
    });
    forget.start(500);

    Frozen frozen(dialog.pid(), freeze);
    StallProbe probe;
    runFor(std::chrono::seconds(seconds));
    probe.print(freeze ? "frontmost application frozen" : "frontmost application running", reads);
    forget.stop();
    monitor.stopMonitoring();
    return 0;
}

int keyring(bool freeze, int seconds) {
    const pid_t daemon =
        static_cast<pid_t>(qEnvironmentVariableIntValue("AIMSET_TEST_KEYRING_PID"));
    if (daemon <= 0) {
        std::fputs("--frozen keyring runs under scripts/with-keyring.sh\n", stderr);
        return 2;
    }
    QtMainLoop loop;
    FakePanelHost panels;
    FakeFrontTabCloser keys;
    LibsecretSecretStore secrets;
    UsageStore usage(secrets);
    // Background threads, as the app's own pool runs them.
    InterventionManager manager(loop, panels, keys, usage,
                                [](auto task) { QThreadPool::globalInstance()->start(task); });
    long shown = 0;
    QTimer intervene;
    QObject::connect(&intervene, &QTimer::timeout, [&] {
        manager.autoDismiss();
        manager.startMisalignedCountdown(QStringLiteral("Finish the quarterly report"),
                                         QStringLiteral("bench"));
        ++shown;
    });
    {
        Frozen frozen(daemon, freeze);
        intervene.start(500);
        StallProbe probe;
        runFor(std::chrono::seconds(seconds));
        probe.print(freeze ? "keyring daemon frozen" : "keyring daemon running", shown);
        intervene.stop();
        manager.autoDismiss();
    }
    // Thawed, the counting tasks drain before the store goes.
    QThreadPool::globalInstance()->waitForDone();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString frozen;
    int seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--frozen") == 0) {
            frozen = QString::fromLatin1(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    // The components' lines are not the figures.
    setLogSink([](const QString&) {});
    if (frozen == QStringLiteral("app")) {
        return frontmostApp(true, seconds);
    }
    if (frozen == QStringLiteral("keyring")) {
        return keyring(true, seconds);
    }
    if (frozen == QStringLiteral("none")) {
        return qEnvironmentVariableIsEmpty("AIMSET_TEST_KEYRING_PID") ? frontmostApp(false, seconds)
                                                                      : keyring(false, seconds);
    }
    std::fputs("usage: aimset-bench-stall --frozen app|keyring|none [--seconds S]\n", stderr);
    return 2;
}
