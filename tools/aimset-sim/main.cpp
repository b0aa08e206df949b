// aimset-sim: runs the app over the simulated desktop, driven by a scenario
// of JSON Lines, and prints what it logs and what it does to the desktop.

#include "Simulator/Simulator.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickWindow>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <optional>
#include <vector>

namespace {

void printLine(const QString& line) {
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

int usage() {
    std::fputs("usage: aimset-sim [--timestamps] [--fold] FILE   (FILE - reads standard input)\n"
               "  --fold  with timestamps; ticks that print the same lines at a steady period\n"
               "          (a countdown's polls) are printed once, then as one line\n",
               stderr);
    return 2;
}

// Folds timestamped lines: lines of one instant form a tick; three or more
// equal ticks at a steady period print as the first and one line that says
// how often and until when it came again, so a story stays readable.
class RepeatFolder {
public:
    explicit RepeatFolder(std::function<void(const QString&)> out)
        : m_out(std::move(out)) {}

    void add(const QString& line) {
        const QString time = line.section(QLatin1Char(' '), 0, 0);
        if (!m_tick.isEmpty() && time != m_tickTime) {
            endTick();
        }
        m_tickTime = time;
        m_tick << line.mid(time.size() + 1);
    }

    void flush() {
        endTick();
        printRun();
    }

private:
    static qint64 millis(const QString& time) { return QString(time).remove(u'.').toLongLong(); }

    void endTick() {
        if (m_tick.isEmpty()) {
            return;
        }
        const bool steady =
            m_runTimes.size() < 2 || millis(m_tickTime) - millis(m_runTimes.back()) ==
                                         millis(m_runTimes[1]) - millis(m_runTimes[0]);
        if (m_tick != m_runLines || !steady) {
            printRun();
            m_runLines = m_tick;
        }
        m_runTimes.push_back(m_tickTime);
        m_tick.clear();
    }

    void printRun() {
        const auto printTick = [this](const QString& time) {
            for (const QString& line : std::as_const(m_runLines)) {
                m_out(time + QLatin1Char(' ') + line);
            }
        };
        if (m_runTimes.size() < 3) {
            for (const QString& time : m_runTimes) {
                printTick(time);
            }
        } else {
            printTick(m_runTimes.front());
            const qint64 period = millis(m_runTimes[1]) - millis(m_runTimes[0]);
            m_out(QStringLiteral("%1 # the %2 above again every %3.%4 s, %5 more times to %6")
                      .arg(m_runTimes[1],
                           m_runLines.size() == 1
                               ? QStringLiteral("line")
                               : QString::number(m_runLines.size()) + QStringLiteral(" lines"))
                      .arg(period / 1000)
                      .arg(period % 1000, 3, 10, QLatin1Char('0'))
                      .arg(m_runTimes.size() - 1)
                      .arg(m_runTimes.back()));
        }
        m_runTimes.clear();
        m_runLines.clear();
    }

    std::function<void(const QString&)> m_out;
    QString m_tickTime;
    QStringList m_tick;
    QStringList m_runLines;
    std::vector<QString> m_runTimes;
};

} // namespace

int main(int argc, char** argv) {
    // The app's views are made but never drawn, nor shown on any display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    // Qt asks for the runtime folder on start, and warns without one.
    std::optional<QTemporaryDir> runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.emplace().isValid()) {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime->path()));
    }
    QGuiApplication app(argc, argv);
    aimset::Simulator::Options options;
    bool fold = false;
    QString path;
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    for (const QString& argument : arguments) {
        if (argument == QStringLiteral("--timestamps")) {
            options.timestamps = true;
        } else if (argument == QStringLiteral("--fold")) {
            options.timestamps = true;
            fold = true;
        } else if (argument == QStringLiteral("-h") || argument == QStringLiteral("--help")) {
            usage();
            return 0;
        } else if (path.isEmpty() &&
                   (argument == QStringLiteral("-") || !argument.startsWith(QLatin1Char('-')))) {
            path = argument;
        } else {
            return usage();
        }
    }
    if (path.isEmpty()) {
        return usage();
    }

    QFile file;
    const bool opened = path == QStringLiteral("-")
                            ? file.open(stdin, QIODevice::ReadOnly)
                            : (file.setFileName(path), file.open(QIODevice::ReadOnly));
    if (!opened) {
        std::fprintf(stderr, "aimset-sim: cannot read %s: %s\n", qUtf8Printable(path),
                     qUtf8Printable(file.errorString()));
        return 2;
    }
    const QByteArray scenario = file.readAll();

    const QString name = path == QStringLiteral("-") ? QStringLiteral("<stdin>") : path;
    RepeatFolder folder(printLine);
    const aimset::SimulatorOutput output =
        fold ? aimset::SimulatorOutput([&folder](const QString& line) { folder.add(line); })
             : aimset::SimulatorOutput(printLine);
    try {
        aimset::Simulator simulator(output, options);
        simulator.run(scenario);
    } catch (const aimset::ScenarioError& error) {
        folder.flush();
        std::fflush(stdout);
        std::fprintf(stderr, "aimset-sim: %s:%d: %s\n", qUtf8Printable(name), error.line(),
                     qUtf8Printable(error.message()));
        return 2;
    }
    folder.flush();
    std::fflush(stdout);
    return 0;
}
