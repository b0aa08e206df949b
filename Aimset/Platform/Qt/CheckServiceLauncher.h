#pragma once

#include "Platform/HttpClient.h"
#include "Runtime/MainLoop.h"

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

namespace aimset {

// Makes sure an alignment service is there when the user configured none:
// reuses a compatible service already on the fixed loopback port, or starts
// aimset-checkd (installed beside the app) there with the offline judge, and
// stops what it started when it goes. When nothing can be had it says so
// once in the log and the app runs on; its checks then take their failure
// paths.
class CheckServiceLauncher : public QObject {
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)

public:
    enum class State {
        idle,
        configured, // AIMSET_CHECK_URL names a service: nothing to start
        probing,
        starting,
        running, // started by us
        reused,  // someone else's, on our port
        unavailable,
        stopped,
    };
    Q_ENUM(State)

    static constexpr quint16 defaultPort = 48620;
    static constexpr auto programName = "aimset-checkd";

    struct Options {
        // Where aimset-checkd is looked for; empty: beside the running app.
        QString programDirectory;
        quint16 port = defaultPort;
        std::chrono::milliseconds probeTimeout{1000};
        std::chrono::milliseconds startTimeout{5000};
        std::chrono::milliseconds stopTimeout{3000};
    };

    CheckServiceLauncher(HttpClient& http, MainLoop& loop, Options options);
    ~CheckServiceLauncher() override;

    // Begins the work; the result arrives through onReady. Once only.
    void start();
    // Stops the service if this launcher started it. Also on destruction.
    void stop();

    State state() const { return m_state; }
    // Where the app's checks go when it has no AIMSET_CHECK_URL.
    QUrl serviceURL() const;

    // Called once when start() has an outcome: true when a service answers
    // (started, reused or configured), false when none could be had.
    std::function<void(bool)> onReady;

signals:
    void stateChanged();

private:
    void probe(std::function<void(bool compatible, bool answered)> then);
    void launch();
    void readOutput();
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void finish(State state, const QString& logLine);
    void setState(State state);

    HttpClient& m_http;
    MainLoop& m_loop;
    Options m_options;
    State m_state = State::idle;
    QPointer<QProcess> m_process;
    TimerHandle m_startDeadline;
    QByteArray m_errorOutput;
    bool m_retriedProbe = false;
};

} // namespace aimset
