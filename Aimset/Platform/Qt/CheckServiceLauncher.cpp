#include "CheckServiceLauncher.h"

#include <sys/prctl.h>

#include <csignal>

#include "HelperPrograms.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[CheckService] ");
const QString kProgram = QString::fromLatin1(CheckServiceLauncher::programName);
const QString kWillFail = QStringLiteral(" — alignment checks will fail");

QString firstLine(const QByteArray& text) {
    const QString line = QString::fromUtf8(text).trimmed().section(QLatin1Char('\n'), 0, 0);
    return line.isEmpty() ? QStringLiteral("no message") : line;
}

QString seconds(std::chrono::milliseconds delay) {
    return QString::number(static_cast<double>(delay.count()) / 1000.0, 'g', 3) +
           QStringLiteral(" s");
}

// 256 bits from the system's generator, as hex.
QByteArray freshToken() {
    quint32 words[8];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

} // namespace

CheckServiceLauncher::CheckServiceLauncher(MainLoop& loop, Options options)
    : m_loop(loop)
    , m_options(std::move(options))
    , m_restartDelay(m_options.firstRestartDelay) {
    if (m_options.programDirectory.isEmpty()) {
        m_options.programDirectory = QFileInfo(helperProgramPath(kProgram)).path();
    }
}

CheckServiceLauncher::~CheckServiceLauncher() {
    stop();
}

qint64 CheckServiceLauncher::processId() const {
    return m_process && m_state == State::running ? m_process->processId() : 0;
}

void CheckServiceLauncher::setState(State state) {
    assignIfChanged(this, m_state, state, &CheckServiceLauncher::stateChanged);
}

void CheckServiceLauncher::publish(const QUrl& url, const QByteArray& token) {
    if (m_url == url && m_token == token) {
        return;
    }
    m_url = url;
    m_token = token;
    emit serviceChanged(m_url, m_token);
}

void CheckServiceLauncher::finish(State state, const QString& logLine) {
    m_startDeadline.reset();
    Log(kTag + logLine);
    setState(state);
    emit ready(state != State::unavailable);
}

void CheckServiceLauncher::start() {
    if (m_state != State::idle) {
        return;
    }
    if (!qEnvironmentVariableIsEmpty("AIMSET_CHECK_URL")) {
        finish(State::configured,
               QStringLiteral("AIMSET_CHECK_URL is set — not starting ") + kProgram);
        return;
    }
    launch();
}

void CheckServiceLauncher::launch() {
    const QString program = QDir(m_options.programDirectory).filePath(kProgram);
    if (!QFileInfo(program).isExecutable()) {
        notStarted(m_everRan ? QString(kProgram + QStringLiteral(" is gone from ") + program)
                             : QString(kProgram + QStringLiteral(" not found beside the app (") +
                                       program + QLatin1Char(')')));
        return;
    }
    setState(State::starting);
    m_errorOutput.clear();
    // A fresh token for every start: a service that has gone takes its
    // token with it.
    m_startingToken = freshToken();
    auto* process = new QProcess(this);
    m_process = process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(tokenVariable), QString::fromLatin1(m_startingToken));
    process->setProcessEnvironment(environment);
    // The service goes with the app even when the app cannot stop it itself
    // (killed, crashed): the kernel ends it when its parent dies.
    process->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(process, &QProcess::readyReadStandardOutput, this, &CheckServiceLauncher::readOutput);
    connect(process, &QProcess::readyReadStandardError, this, [this, process] {
        // Kept short: only its first line is ever reported.
        m_errorOutput.append(process->readAllStandardError().left(4096 - m_errorOutput.size()));
    });
    connect(process, &QProcess::finished, this, &CheckServiceLauncher::processFinished);
    connect(process, &QProcess::errorOccurred, this, [this, program](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || m_state != State::starting) {
            return;
        }
        const QString why = QStringLiteral("Could not start ") + program + QStringLiteral(": ") +
                            (m_process ? m_process->errorString() : QString());
        if (m_process) {
            m_process->deleteLater();
            m_process = nullptr;
        }
        notStarted(why);
    });
    m_startDeadline = m_loop.scheduleOnce(
        m_options.startTimeout,
        [this] {
            if (m_state != State::starting || !m_process) {
                return;
            }
            // Its end comes through processFinished, which reports it.
            m_errorOutput = "did not start in time";
            m_process->kill();
        },
        this);
    // Port 0: the service takes a free port and names it in its first line,
    // so nothing that happens to listen on a known port ever gets a check.
    process->start(program, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--port"), QStringLiteral("0"),
                             QStringLiteral("--judge"), QStringLiteral("offline")});
}

void CheckServiceLauncher::readOutput() {
    if (!m_process) {
        return;
    }
    static const QRegularExpression listening(
        QStringLiteral("^\\[checkd\\] Listening on (http://127\\.0\\.0\\.1:(\\d+)/check) "));
    // Everything after the first line is the service's access log, which
    // the app does not repeat; it is read only so the pipe never fills.
    while (m_process->canReadLine()) {
        const QString line = QString::fromUtf8(m_process->readLine());
        if (m_state != State::starting) {
            continue;
        }
        const auto match = listening.match(line);
        if (!match.hasMatch() || match.captured(2).toInt() <= 0 ||
            match.captured(2).toInt() > 65535) {
            continue;
        }
        m_startDeadline.reset();
        m_runningSince = m_loop.now();
        publish(QUrl(match.captured(1)), m_startingToken);
        if (m_everRan) {
            setState(State::running);
        } else {
            m_everRan = true;
            finish(State::running, QStringLiteral("Started ") + kProgram + QStringLiteral(" on ") +
                                       m_url.toString());
        }
    }
}

void CheckServiceLauncher::processFinished(int exitCode, QProcess::ExitStatus status) {
    if (m_process) {
        m_process->deleteLater();
        m_process = nullptr;
    }
    if (m_state == State::starting) {
        notStarted(kProgram + QStringLiteral(" exited before it was ready: ") +
                   firstLine(m_errorOutput));
        return;
    }
    if (m_state == State::running) {
        died(kProgram + QStringLiteral(" stopped unexpectedly (") +
             (status == QProcess::CrashExit
                  ? QStringLiteral("crashed")
                  : QStringLiteral("exit code ") + QString::number(exitCode)) +
             QLatin1Char(')'));
    }
}

// A service that ran before is restarted; one that never did is given up.
void CheckServiceLauncher::notStarted(const QString& why) {
    if (m_everRan) {
        died(why);
    } else {
        finish(State::unavailable, why + kWillFail);
    }
}

// One line per restart; until the new service is up, checks go nowhere.
void CheckServiceLauncher::died(const QString& why) {
    m_startDeadline.reset();
    publish({}, {});
    if (m_state == State::running && m_loop.now() - m_runningSince >= m_options.stableRun) {
        m_restartDelay = m_options.firstRestartDelay;
    }
    const auto delay = m_restartDelay;
    m_restartDelay = std::min(m_restartDelay * 2, m_options.maxRestartDelay);
    Log(kTag + why + QStringLiteral(" — restarting in ") + seconds(delay));
    setState(State::restarting);
    m_restartTimer = m_loop.scheduleOnce(
        delay,
        [this] {
            if (m_state == State::restarting) {
                launch();
            }
        },
        this);
}

void CheckServiceLauncher::stop() {
    m_startDeadline.reset();
    m_restartTimer.reset();
    publish({}, {});
    if (!m_process) {
        if (m_state != State::idle && m_state != State::unavailable &&
            m_state != State::configured) {
            setState(State::stopped);
        }
        return;
    }
    QProcess* process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    Log(kTag + QStringLiteral("Stopping ") + kProgram);
    process->terminate();
    if (!process->waitForFinished(static_cast<int>(m_options.stopTimeout.count()))) {
        process->kill();
        process->waitForFinished(1000);
    }
    delete process;
    setState(State::stopped);
}

} // namespace aimset
