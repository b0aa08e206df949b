#include "CheckServiceLauncher.h"

#include <sys/prctl.h>

#include <csignal>

#include "HelperPrograms.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[CheckService] ");
const QByteArray kListening = "[checkd] Listening on ";

QString address(quint16 port) {
    return QStringLiteral("127.0.0.1:") + QString::number(port);
}

QString firstLine(const QByteArray& text) {
    const QString line = QString::fromUtf8(text).trimmed().section(QLatin1Char('\n'), 0, 0);
    return line.isEmpty() ? QStringLiteral("no message") : line;
}

} // namespace

CheckServiceLauncher::CheckServiceLauncher(HttpClient& http, MainLoop& loop, Options options)
    : m_http(http)
    , m_loop(loop)
    , m_options(std::move(options)) {
    if (m_options.programDirectory.isEmpty()) {
        m_options.programDirectory =
            QFileInfo(helperProgramPath(QString::fromLatin1(programName))).path();
    }
}

CheckServiceLauncher::~CheckServiceLauncher() {
    stop();
}

QUrl CheckServiceLauncher::serviceURL() const {
    return QUrl(QStringLiteral("http://") + address(m_options.port) + QStringLiteral("/check"));
}

void CheckServiceLauncher::setState(State state) {
    assignIfChanged(this, m_state, state, &CheckServiceLauncher::stateChanged);
}

void CheckServiceLauncher::finish(State state, const QString& logLine) {
    m_startDeadline.reset();
    Log(kTag + logLine);
    setState(state);
    if (onReady) {
        onReady(state != State::unavailable);
    }
}

void CheckServiceLauncher::start() {
    if (m_state != State::idle) {
        return;
    }
    if (!qEnvironmentVariableIsEmpty("AIMSET_CHECK_URL")) {
        finish(State::configured, QStringLiteral("AIMSET_CHECK_URL is set — not starting ") +
                                      QString::fromLatin1(programName));
        return;
    }
    setState(State::probing);
    QPointer<CheckServiceLauncher> self(this);
    probe([self](bool compatible, bool answered) {
        if (!self || self->m_state != State::probing) {
            return;
        }
        if (compatible) {
            self->finish(State::reused, QStringLiteral("Reusing the alignment service on ") +
                                            address(self->m_options.port));
        } else if (answered) {
            self->finish(State::unavailable,
                         QStringLiteral("Port ") + QString::number(self->m_options.port) +
                             QStringLiteral(" is taken by another program — alignment checks "
                                            "will fail"));
        } else {
            self->launch();
        }
    });
}

// A title check answered the way the app reads it proves a compatible service.
void CheckServiceLauncher::probe(std::function<void(bool compatible, bool answered)> then) {
    HttpRequest request;
    request.url = serviceURL();
    request.headers = {{"Content-Type", "application/json"}};
    request.body = QJsonDocument(QJsonObject{{QStringLiteral("aimset"), QStringLiteral("Aimset")},
                                             {QStringLiteral("context"),
                                              QStringLiteral("Aimset - service check")},
                                             {QStringLiteral("mode"), QStringLiteral("title")}})
                       .toJson(QJsonDocument::Compact);
    request.timeout = m_options.probeTimeout;
    m_http.send(request, [then = std::move(then)](const HttpResponse& response) {
        if (response.error) {
            then(false, false);
            return;
        }
        const QJsonValue aligned =
            QJsonDocument::fromJson(response.body).object().value(QStringLiteral("aligned"));
        then(response.status == 200 && aligned.isBool(), true);
    });
}

void CheckServiceLauncher::launch() {
    const QString program =
        QDir(m_options.programDirectory).filePath(QString::fromLatin1(programName));
    if (!QFileInfo(program).isExecutable()) {
        finish(State::unavailable, QString::fromLatin1(programName) +
                                       QStringLiteral(" not found beside the app (") + program +
                                       QStringLiteral(") — alignment checks will fail"));
        return;
    }
    setState(State::starting);
    m_errorOutput.clear();
    auto* process = new QProcess(this);
    m_process = process;
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
        if (error == QProcess::FailedToStart && m_state == State::starting) {
            finish(State::unavailable, QStringLiteral("Could not start ") + program +
                                           QStringLiteral(": ") + m_process->errorString() +
                                           QStringLiteral(" — alignment checks will fail"));
        }
    });
    QPointer<CheckServiceLauncher> self(this);
    m_startDeadline = m_loop.scheduleOnce(m_options.startTimeout, [self] {
        if (!self || self->m_state != State::starting) {
            return;
        }
        self->finish(State::unavailable, QString::fromLatin1(programName) +
                                             QStringLiteral(" did not start in time — alignment "
                                                            "checks will fail"));
        if (self->m_process) {
            self->m_process->kill();
        }
    });
    process->start(program, {QStringLiteral("--listen"), QStringLiteral("127.0.0.1"),
                             QStringLiteral("--port"), QString::number(m_options.port),
                             QStringLiteral("--judge"), QStringLiteral("offline")});
}

void CheckServiceLauncher::readOutput() {
    if (!m_process) {
        return;
    }
    // Everything after the first line is the service's access log, which
    // the app does not repeat; it is read only so the pipe never fills.
    while (m_process->canReadLine()) {
        const QByteArray line = m_process->readLine();
        if (m_state == State::starting && line.startsWith(kListening)) {
            finish(State::running, QStringLiteral("Started ") + QString::fromLatin1(programName) +
                                       QStringLiteral(" on ") + serviceURL().toString());
        }
    }
}

void CheckServiceLauncher::processFinished(int exitCode, QProcess::ExitStatus status) {
    if (m_process) {
        m_process->deleteLater();
        m_process = nullptr;
    }
    if (m_state == State::starting) {
        // Another app may have started the service a moment before us.
        if (!m_retriedProbe) {
            m_retriedProbe = true;
            setState(State::probing);
            QPointer<CheckServiceLauncher> self(this);
            const QString reason = firstLine(m_errorOutput);
            probe([self, reason](bool compatible, bool) {
                if (!self || self->m_state != State::probing) {
                    return;
                }
                if (compatible) {
                    self->finish(State::reused,
                                 QStringLiteral("Reusing the alignment service on ") +
                                     address(self->m_options.port));
                } else {
                    self->finish(State::unavailable,
                                 QString::fromLatin1(programName) +
                                     QStringLiteral(" exited before it was ready: ") + reason +
                                     QStringLiteral(" — alignment checks will fail"));
                }
            });
        }
        return;
    }
    if (m_state == State::running) {
        Log(kTag + QString::fromLatin1(programName) + QStringLiteral(" stopped unexpectedly (") +
            (status == QProcess::CrashExit
                 ? QStringLiteral("crashed")
                 : QStringLiteral("exit code ") + QString::number(exitCode)) +
            QStringLiteral(") — alignment checks will fail"));
        setState(State::unavailable);
    }
}

void CheckServiceLauncher::stop() {
    m_startDeadline.reset();
    if (!m_process) {
        if (m_state != State::idle && m_state != State::unavailable) {
            setState(State::stopped);
        }
        return;
    }
    QProcess* process = m_process;
    m_process = nullptr;
    process->disconnect(this);
    Log(kTag + QStringLiteral("Stopping ") + QString::fromLatin1(programName));
    process->terminate();
    if (!process->waitForFinished(static_cast<int>(m_options.stopTimeout.count()))) {
        process->kill();
        process->waitForFinished(1000);
    }
    delete process;
    setState(State::stopped);
}

} // namespace aimset
