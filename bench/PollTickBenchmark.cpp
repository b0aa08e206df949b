// The cost of one poll of the frontmost window on X11, as the app runs it
// every 5 s (every 0.5 s during an intervention): AppMonitor's poll through
// X11Workspace, against the bare XCB exchange for the same four properties.
// Then the poll loop alone, on Qt's event loop, at both rates: the CPU the
// polling itself costs, with nothing else of the app around it.
//
// Usage: aimset-bench-poll [--iterations N] [--seconds S]   (needs an X
// desktop with a window manager, e.g. under scripts/with-desktop.sh)

#include "BenchSupport.h"
#include "Monitoring/AlignmentChecker.h"
#include "Monitoring/AppMonitor.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "Platform/Linux/LinuxAppLists.h"
#include "Platform/Linux/X11Workspace.h"
#include "Runtime/Log.h"
#include "Runtime/QtMainLoop.h"

#include <QCoreApplication>
#include <QFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace aimset;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// What the poll asks the X server, with nothing around it: the active
// window, then its pid, class and both titles in one pipelined round trip.
void bareQuery(xcb_connection_t* c, xcb_window_t root, xcb_atom_t netActive, xcb_atom_t netPid,
               xcb_atom_t netName, xcb_atom_t utf8) {
    auto* active = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, netActive, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (!active || xcb_get_property_value_length(active) != 4) {
        std::free(active);
        return;
    }
    const xcb_window_t window = *static_cast<xcb_window_t*>(xcb_get_property_value(active));
    std::free(active);
    const xcb_get_property_cookie_t cookies[] = {
        xcb_get_property(c, 0, window, netPid, XCB_ATOM_CARDINAL, 0, 1),
        xcb_get_property(c, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 1024),
        xcb_get_property(c, 0, window, netName, utf8, 0, 1024),
        xcb_get_property(c, 0, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY, 0, 1024),
    };
    for (const auto cookie : cookies) {
        std::free(xcb_get_property_reply(c, cookie, nullptr));
    }
}

struct Figures {
    double median;
    double p99;
};

Figures figures(std::vector<double>& samples) {
    return {bench::percentile(samples, 0.5), bench::percentile(samples, 0.99)};
}

// CPU share of this process while the poll timer runs for a while.
double pollLoopCpuPercent(AppMonitor& monitor, bool fast, int seconds, int& polls) {
    monitor.setPollInterval(fast);
    const auto cpuBefore = bench::cpuNanoseconds(getpid()).value_or(0);
    const auto start = Clock::now();
    QTimer::singleShot(seconds * 1000, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    const double wallNs = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    const auto cpuAfter = bench::cpuNanoseconds(getpid()).value_or(0);
    polls = static_cast<int>(
        seconds * 1000 /
        (fast ? AppMonitor::fastPollInterval.count() : AppMonitor::slowPollInterval.count()));
    return 100.0 * static_cast<double>(cpuAfter - cpuBefore) / wallNs;
}

} // namespace

int main(int argc, char** argv) {
    int iterations = 2000;
    int seconds = 60;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--iterations") == 0) {
            iterations = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(0, std::atoi(argv[i + 1]));
        }
    }
    QCoreApplication app(argc, argv);

    // Log lines are written as the app writes them, only to nowhere.
    QFile sink(QStringLiteral("/dev/null"));
    if (!sink.open(QIODevice::WriteOnly)) {
        return 1;
    }
    setLogSink([&sink](const QString& line) {
        sink.write(line.toUtf8() + '\n');
        sink.flush();
    });

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "aimset-bench-poll: cannot reach the X server (DISPLAY)\n");
        return 1;
    }
    const QString title = QStringLiteral("q3_revenue_by_region.ods \u2014 LibreOffice Calc");
    if (!bench::openActiveWindow(c, "libreoffice", "libreoffice-calc", title)) {
        std::fprintf(stderr, "aimset-bench-poll: the window manager did not activate our window\n");
        return 1;
    }

    auto workspace = openOnX<X11Workspace>(DesktopEntries::load(
        QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)));
    if (!workspace) {
        return 1;
    }
    QtMainLoop loop;
    FakeHttpClient http;
    // Trusted, with no window text: the steady state the tick is measured in.
    FakeAccessibility accessibility;
    AlignmentChecker checker(http, accessibility, QUrl(QStringLiteral("http://127.0.0.1:1/check")));
    AppMonitor monitor(loop, *workspace, accessibility, checker, linuxAppLists());
    const QString aimset = QStringLiteral("Finish the quarterly report");
    monitor.setTemporaryAimset(aimset);
    const auto front = workspace->frontmostApplication();
    if (!front || front->processIdentifier != getpid()) {
        std::fprintf(stderr, "aimset-bench-poll: our window is not the frontmost one\n");
        return 1;
    }
    // The steady state of a session: the window in front was judged aligned before.
    monitor.markAligned(front->localizedName.value_or(QStringLiteral("Unknown")), title);

    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netActive = bench::internAtom(c, "_NET_ACTIVE_WINDOW");
    const xcb_atom_t netPid = bench::internAtom(c, "_NET_WM_PID");
    const xcb_atom_t netName = bench::internAtom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = bench::internAtom(c, "UTF8_STRING");

    std::vector<double> polls, adapter, bare;
    const int warmUp = std::min(100, iterations);
    for (int i = -warmUp; i < iterations; ++i) {
        // Whatever the previous round queued (event reads) runs outside the clock.
        QCoreApplication::processEvents();
        auto start = Clock::now();
        monitor.pollFrontmostWindow();
        const double poll = millisecondsSince(start);
        QCoreApplication::processEvents();
        start = Clock::now();
        [[maybe_unused]] const auto facts = workspace->activeWindow();
        const double read = millisecondsSince(start);
        start = Clock::now();
        bareQuery(c, root, netActive, netPid, netName, utf8);
        const double baseline = millisecondsSince(start);
        if (i >= 0) {
            polls.push_back(poll);
            adapter.push_back(read);
            bare.push_back(baseline);
        }
    }
    if (http.calls.size() != 0) {
        std::fprintf(stderr,
                     "aimset-bench-poll: the poll asked the service; not the steady state\n");
        return 1;
    }
    const Figures p = figures(polls);
    const Figures a = figures(adapter);
    const Figures b = figures(bare);
    std::printf("Poll tick on X11, %d runs each (goal: median <= 0.2 ms)\n", iterations);
    std::printf("  AppMonitor poll (X11Workspace)   median %.3f ms   p99 %.3f ms\n", p.median,
                p.p99);
    std::printf("    of it, one X11Workspace read   median %.3f ms   p99 %.3f ms\n", a.median,
                a.p99);
    std::printf("  bare XCB, same 4 properties      median %.3f ms   p99 %.3f ms\n", b.median,
                b.p99);

    if (seconds > 0) {
        monitor.startMonitoring(aimset);
        int slowPolls = 0;
        int fastPolls = 0;
        const double slow = pollLoopCpuPercent(monitor, false, seconds, slowPolls);
        const double fast = pollLoopCpuPercent(monitor, true, seconds, fastPolls);
        monitor.stopMonitoring();
        std::printf("Poll loop alone on Qt's event loop, %d s each\n", seconds);
        std::printf("  every 5 s     %.4f %% of a core (%d polls)\n", slow, slowPolls);
        std::printf("  every 0.5 s   %.4f %% of a core (%d polls)\n", fast, fastPolls);
    }
    xcb_disconnect(c);
    return 0;
}
