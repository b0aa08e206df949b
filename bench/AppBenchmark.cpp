// The running app, measured from outside as a user would run it: start-up
// time to the first rendered frame, resident memory with the main window
// open, and its CPU share over a stretch of a session at the 5 s poll rate
// (its own window in front) and at the 0.5 s rate (a distracting window in
// front, so that interventions keep the poll fast).
//
// Usage: aimset-bench-app --app PATH [--seconds S] [--runs N]
// Needs an X desktop with a window manager and xdotool.

#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>

using namespace aimset;

namespace {

// One run of the app with a fresh configuration (onboarding already done),
// its output collected line by line with the time each line arrived.
class AppRun {
public:
    AppRun(const QString& program, const QProcessEnvironment& extra) {
        QDir(m_config.path()).mkpath(QStringLiteral("Aimset"));
        QFile settings(m_config.filePath(QStringLiteral("Aimset/Aimset.conf")));
        if (settings.open(QIODevice::WriteOnly)) {
            settings.write("[General]\nhasCompletedOnboarding=true\n");
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
        for (const QString& key : extra.keys()) {
            environment.insert(key, extra.value(key));
        }
        m_process.setProcessEnvironment(environment);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { collect(m_process.readAllStandardOutput(), m_out, m_outLines); });
        QObject::connect(&m_process, &QProcess::readyReadStandardError,
                         [this] { collect(m_process.readAllStandardError(), m_err, m_errLines); });
        m_clock.start();
        m_process.start(program, {});
    }
    ~AppRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000)) {
                m_process.kill();
                m_process.waitForFinished(2000);
            }
        }
    }

    struct Line {
        double ms;
        QString text;
    };

    qint64 pid() const { return m_process.processId(); }
    const std::vector<Line>& out() const { return m_outLines; }
    const std::vector<Line>& err() const { return m_errLines; }

    // Runs the event loop until a line matches (in the given stream) or time is up.
    std::optional<Line> waitFor(const QRegularExpression& pattern, int timeoutMs,
                                bool inErrors = false) {
        const auto& lines = inErrors ? m_errLines : m_outLines;
        QElapsedTimer waited;
        waited.start();
        std::size_t seen = 0;
        while (true) {
            for (; seen < lines.size(); ++seen) {
                if (pattern.match(lines[seen].text).hasMatch()) {
                    return lines[seen];
                }
            }
            if (waited.elapsed() > timeoutMs || m_process.state() == QProcess::NotRunning) {
                return std::nullopt;
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    void runFor(int ms) {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }

private:
    void collect(const QByteArray& bytes, QByteArray& pending, std::vector<Line>& lines) {
        pending += bytes;
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            lines.push_back({static_cast<double>(m_clock.nsecsElapsed()) / 1e6,
                             QString::fromUtf8(pending.left(end))});
            pending.remove(0, end + 1);
        }
    }

    QTemporaryDir m_config;
    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_out, m_err;
    std::vector<Line> m_outLines, m_errLines;
};

// The processes the app started (aimset-checkd), by their parent.
QList<qint64> childrenOf(qint64 pid) {
    QList<qint64> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString& entry : entries) {
        bool ok = false;
        const qint64 candidate = entry.toLongLong(&ok);
        if (!ok) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid) {
            children << candidate;
        }
    }
    return children;
}

QString megabytes(std::optional<std::uint64_t> kB) {
    return kB ? QString::number(static_cast<double>(*kB) / 1024.0, 'f', 1) + QStringLiteral(" MB")
              : QStringLiteral("n/a");
}

void printMemory(const char* label, qint64 pid) {
    const bench::Memory memory = bench::memoryOf(pid);
    std::printf("  %-34s RSS %s   PSS %s\n", label, qPrintable(megabytes(memory.rssKB)),
                qPrintable(megabytes(memory.pssKB)));
}

struct CpuShare {
    double appPercent = 0;
    double servicePercent = 0;
    int polls = 0;
};

// The CPU the app (and its service) use over the next seconds, and how many
// polls it logged meanwhile.
CpuShare measureCpu(AppRun& run, int seconds) {
    const QList<qint64> services = childrenOf(run.pid());
    const auto cpuOf = [](qint64 pid) { return bench::cpuNanoseconds(pid).value_or(0); };
    std::uint64_t serviceBefore = 0;
    for (const qint64 service : services) {
        serviceBefore += cpuOf(service);
    }
    const std::uint64_t appBefore = cpuOf(run.pid());
    const std::size_t linesBefore = run.out().size();
    QElapsedTimer wall;
    wall.start();
    run.runFor(seconds * 1000);
    const double wallNs = static_cast<double>(wall.nsecsElapsed());
    CpuShare share;
    share.appPercent = 100.0 * static_cast<double>(cpuOf(run.pid()) - appBefore) / wallNs;
    std::uint64_t serviceAfter = 0;
    for (const qint64 service : services) {
        serviceAfter += cpuOf(service);
    }
    share.servicePercent = 100.0 * static_cast<double>(serviceAfter - serviceBefore) / wallNs;
    for (std::size_t i = linesBefore; i < run.out().size(); ++i) {
        const QString& text = run.out()[i].text;
        share.polls += text.startsWith(QStringLiteral("[AppMonitor] App: ")) ? 1 : 0;
    }
    return share;
}

bool xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(20000) && process.exitCode() == 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QString program;
    int seconds = 60;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--app") == 0) {
            program = QString::fromLocal8Bit(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--seconds") == 0) {
            seconds = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        }
    }
    if (program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty()) {
        std::fprintf(stderr, "usage: aimset-bench-app --app PATH [--seconds S] [--runs N] "
                             "(needs xdotool and an X desktop)\n");
        return 2;
    }

    // ---- start-up to the first frame ----------------------------------------------------
    // Qt Quick's render loop says when it has rendered a frame; the first one
    // that drew anything (render or swap took time) is the first frame shown.
    const QRegularExpression drawn(
        QStringLiteral("[Ff]rame rendered (?:with '\\w+' renderloop )?in \\d+ms, (?:polish=\\d+, )?"
                       "sync=\\d+, render=(?:[1-9]\\d*, swap=\\d+|\\d+, swap=[1-9]\\d*)"));
    std::vector<double> firstFrames;
    for (int i = 0; i < runs; ++i) {
        QProcessEnvironment logging;
        logging.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("qt.scenegraph.time.renderloop=true"));
        AppRun run(program, logging);
        if (const auto frame = run.waitFor(drawn, 20000, true)) {
            firstFrames.push_back(frame->ms);
        }
        run.runFor(1000); // let the service start before it is stopped again
    }
    std::vector<double> sorted = firstFrames;
    std::sort(sorted.begin(), sorted.end());
    std::printf("Start-up to the first rendered frame, %zu of %d runs\n", firstFrames.size(), runs);
    if (!sorted.empty()) {
        const double median = bench::percentile(sorted, 0.5);
        std::printf("  median %.0f ms   min %.0f ms   max %.0f ms\n", median, sorted.front(),
                    sorted.back());
    }

    // ---- memory and CPU in a session -------------------------------------------------------
    AppRun run(program, {});
    if (!run.waitFor(QRegularExpression(QStringLiteral("^\\[CheckService\\] ")), 20000)) {
        std::fprintf(stderr, "aimset-bench-app: the app did not come up\n");
        return 1;
    }
    run.runFor(3000);
    std::printf("Resident memory, main window open (launch screen)\n");
    printMemory("aimset", run.pid());
    for (const qint64 service : childrenOf(run.pid())) {
        printMemory("aimset-checkd (started by the app)", service);
    }

    // Start a session the way a user does: type the aimset, press Return.
    xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--pid"),
             QString::number(run.pid()), QStringLiteral("--name"), QStringLiteral("^Aimset$"),
             QStringLiteral("windowactivate"), QStringLiteral("--sync")});
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
             QStringLiteral("Finish the quarterly report")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    if (!run.waitFor(QRegularExpression(QStringLiteral("^\\[AppMonitor\\] Started monitoring$")),
                     10000)) {
        std::fprintf(stderr, "aimset-bench-app: typing the aimset did not start a session\n");
        return 1;
    }
    run.runFor(2000);
    std::printf("Resident memory, session running\n");
    printMemory("aimset", run.pid());

    const CpuShare slow = measureCpu(run, seconds);
    std::printf("CPU over %d s (share of one core)\n", seconds);
    std::printf("  5 s poll, own window in front      aimset %.3f %%   aimset-checkd %.3f %%   "
                "(%d polls logged)\n",
                slow.appPercent, slow.servicePercent, slow.polls);

    // The same with the main window minimized: Qt Quick draws nothing then.
    xdotool({QStringLiteral("search"), QStringLiteral("--pid"), QString::number(run.pid()),
             QStringLiteral("--name"), QStringLiteral("^Aimset$"), QStringLiteral("windowminimize"),
             QStringLiteral("--sync")});
    const CpuShare hidden = measureCpu(run, seconds);
    std::printf("  5 s poll, main window minimized    aimset %.3f %%   aimset-checkd %.3f %%   "
                "(%d polls logged)\n",
                hidden.appPercent, hidden.servicePercent, hidden.polls);

    // A distracting window in front: the check says misaligned, the countdown
    // runs at the 0.5 s rate, the tab is "closed" (our window ignores it) and
    // the next poll starts over.
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c) ||
        !bench::openActiveWindow(c, "chromium", "Chromium",
                                 QStringLiteral("Funny cat compilation - YouTube - Chromium"))) {
        std::fprintf(stderr, "aimset-bench-app: could not put a window in front\n");
        return 1;
    }
    if (!run.waitFor(QRegularExpression(QStringLiteral("^\\[AppMonitor\\] Poll interval set to "
                                                       "0\\.5s$")),
                     20000)) {
        std::fprintf(stderr, "aimset-bench-app: the distracting window did not speed up the "
                             "poll\n");
        return 1;
    }
    const CpuShare fast = measureCpu(run, seconds);
    std::printf("  0.5 s poll, interventions running  aimset %.3f %%   aimset-checkd %.3f %%   "
                "(%d polls logged)\n",
                fast.appPercent, fast.servicePercent, fast.polls);
    printMemory("aimset during interventions", run.pid());
    xcb_disconnect(c);
    return 0;
}
