#include "CheckServiceLauncher.h"

#include <sys/prctl.h>

#include <csignal>

#include "HelperPrograms.h"
#include "Runtime/Log.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace aimset {

namespace {

using namespace std::chrono_literals;

const QString kTag = QStringLiteral("[CheckService] ");
const QString kProgram = QStringLiteral("aimset-checkd");
constexpr auto kStartTimeout = 5s;
constexpr int kStopTimeoutMs = 3000;
// The first restart delay, and the run after which the delay is back to it.
constexpr std::chrono::milliseconds kFirstRestartDelay = 1s;
constexpr auto kStableRun = 60s;

QString firstLine(const QByteArray& text) {
    const QString line = QString::fromUtf8(text).trimmed().section(QLatin1Char('\n'), 0, 0);
    return line.isEmpty() ? QStringLiteral("no message") : line;
}

// 256 bits from the system's generator, as hex.
QByteArray freshToken() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

} // namespace

CheckServiceLauncher::CheckServiceLauncher(MainLoop& loop, QString programDirectory,
                                           std::chrono::milliseconds maxRestartDelay)
    : m_loop(loop)
    , m_programDirectory(programDirectory.isEmpty() ? QFileInfo(helperProgramPath(kProgram)).path()
                                                    : std::move(programDirectory))
    , m_maxRestartDelay(maxRestartDelay)
    , m_restartDelay(kFirstRestartDelay) {}

CheckServiceLauncher::~CheckServiceLauncher() {
    publish({}, {});
    if (!m_process) {
        return;
    }
    m_process->disconnect(this);
    Log(kTag + QStringLiteral("Stopping ") + kProgram);
    m_process->terminate();
    if (!m_process->waitForFinished(kStopTimeoutMs)) {
        m_process->kill();
        m_process->waitForFinished(1000);
    }
}

void CheckServiceLauncher::publish(const QUrl& url, const QByteArray& token) {
    if (m_url == url && m_token == token) {
        return;
    }
    m_url = url;
    m_token = token;
    emit serviceChanged(m_url, m_token);
}

void CheckServiceLauncher::start() {
    if (qEnvironmentVariableIsEmpty("AIMSET_CHECK_URL")) {
        launch();
    } else {
        Log(kTag + QStringLiteral("AIMSET_CHECK_URL is set — not starting ") + kProgram);
        m_state = State::configured;
    }
}

void CheckServiceLauncher::launch() {
    const QString program = QDir(m_programDirectory).filePath(kProgram);
    if (!QFileInfo(program).isExecutable()) {
        ended(m_everRan ? QString(kProgram + QStringLiteral(" is gone from ") + program)
                        : QString(kProgram + QStringLiteral(" not found beside the app (") +
                                  program + QLatin1Char(')')));
        return;
    }
    m_state = State::starting;
    m_errorOutput.clear();
    // A fresh token for every start: a service that has gone takes its
    // token with it.
    const QByteArray token = freshToken();
    auto* process = new QProcess(this);
    m_process = process;
    // The token goes in the environment, which other users cannot read,
    // unlike the command line.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("AIMSET_CHECKD_TOKEN"), QString::fromLatin1(token));
    process->setProcessEnvironment(environment);
    // The service goes with the app even when the app cannot stop it itself
    // (killed, crashed): the kernel ends it when its parent dies.
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process, token] { readOutput(*process, token); });
    connect(process, &QProcess::readyReadStandardError, this, [this, process] {
        // Kept short: only its first line is ever reported.
        m_errorOutput.append(process->readAllStandardError().left(4096 - m_errorOutput.size()));
    });
    connect(process, &QProcess::finished, this,
            [this, process](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                m_process = nullptr;
                if (m_state == State::starting) {
                    ended(kProgram + QStringLiteral(" exited before it was ready: ") +
                          firstLine(m_errorOutput));
                } else {
                    ended(kProgram + QStringLiteral(" stopped unexpectedly (") +
                          (status == QProcess::CrashExit
                               ? QStringLiteral("crashed")
                               : QStringLiteral("exit code ") + QString::number(exitCode)) +
                          QLatin1Char(')'));
                }
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, program](QProcess::ProcessError error) {
                if (error == QProcess::FailedToStart && m_state == State::starting) {
                    process->deleteLater();
                    m_process = nullptr;
                    ended(QStringLiteral("Could not start ") + program + QStringLiteral(": ") +
                          process->errorString());
                }
            });
    m_startDeadline = m_loop.scheduleOnce(
        kStartTimeout,
        [this] {
            if (m_state == State::starting) {
                // Its end is reported when the process has finished.
                m_errorOutput = "did not start in time";
                m_process->kill();
            }
        },
        this);
    // Port 0: the service takes a free port and names it in its first line,
    // so nothing that happens to listen on a known port ever gets a check.
    process->start(program, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--port"), QStringLiteral("0"),
                             QStringLiteral("--judge"), QStringLiteral("offline")});
}

void CheckServiceLauncher::readOutput(QProcess& process, const QByteArray& token) {
    static const QRegularExpression listening(
        QStringLiteral("^\\[checkd\\] Listening on (http://127\\.0\\.0\\.1:\\d+/check) "));
    // After the first line comes the access log, read only so the pipe never fills.
    while (process.canReadLine()) {
        const auto match = listening.match(QString::fromUtf8(process.readLine()));
        if (m_state != State::starting || !match.hasMatch()) {
            continue;
        }
        m_runningSince = m_loop.now();
        publish(QUrl(match.captured(1)), token);
        if (!std::exchange(m_everRan, true)) {
            Log(kTag + QStringLiteral("Started ") + kProgram + QStringLiteral(" on ") +
                m_url.toString());
        }
        m_state = State::running;
    }
}

// A service that ran before is restarted, with one line per restart: until
// the new one is up, checks go nowhere. One that never ran is given up.
void CheckServiceLauncher::ended(const QString& why) {
    if (!m_everRan) {
        Log(kTag + why + QStringLiteral(" — alignment checks will fail"));
        m_state = State::unavailable;
        return;
    }
    publish({}, {});
    if (m_state == State::running && m_loop.now() - m_runningSince >= kStableRun) {
        m_restartDelay = kFirstRestartDelay;
    }
    const auto delay =
        std::exchange(m_restartDelay, std::min(m_restartDelay * 2, m_maxRestartDelay));
    Log(kTag + why + QStringLiteral(" — restarting in ") +
        QString::number(static_cast<double>(delay.count()) / 1000.0, 'g', 3) +
        QStringLiteral(" s"));
    m_state = State::restarting;
    m_restartTimer = m_loop.scheduleOnce(
        delay, [this] { launch(); }, this);
}

} // namespace aimset
