#pragma once

#include "Runtime/MainLoop.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QString>
#include <QUrl>

#include <chrono>

namespace aimset {

// Starts the app's own alignment service when the user configured none:
// aimset-checkd, installed beside the app, on a free loopback port it picks
// itself, with a fresh secret token that every check must carry. A service
// this launcher did not start is never used, whatever listens where. When
// the service dies it is started again after a growing delay; checks in the
// gap have nowhere to go and fail. It is stopped when the launcher goes.
class CheckServiceLauncher : public QObject {
    Q_OBJECT
    Q_PROPERTY(State state READ state NOTIFY stateChanged)

public:
    enum class State {
        idle,
        configured, // AIMSET_CHECK_URL names a service: nothing to start
        starting,
        running,
        restarting, // died; started again after a delay
        unavailable,
        stopped,
    };
    Q_ENUM(State)

    static constexpr auto programName = "aimset-checkd";
    // How the service learns its token: the environment, which other users
    // cannot read, unlike the command line.
    static constexpr auto tokenVariable = "AIMSET_CHECKD_TOKEN";

    struct Options {
        // Where aimset-checkd is looked for; empty: beside the running app.
        QString programDirectory;
        std::chrono::milliseconds startTimeout{5000};
        std::chrono::milliseconds stopTimeout{3000};
        // Delay before the first restart, doubled after each one up to the
        // maximum; back to the first after a run of stableRun.
        std::chrono::milliseconds firstRestartDelay{1000};
        std::chrono::milliseconds maxRestartDelay{60000};
        std::chrono::milliseconds stableRun{60000};
    };

    CheckServiceLauncher(MainLoop& loop, Options options);
    ~CheckServiceLauncher() override;

    // Begins the work; the first outcome arrives through ready. Once only.
    void start();
    // Stops the service if this launcher started it. Also on destruction.
    void stop();

    State state() const { return m_state; }
    // The running service's address and token; empty while there is none.
    QUrl serviceURL() const { return m_url; }
    QByteArray token() const { return m_token; }
    // The service's process id while it runs, else 0.
    qint64 processId() const;

signals:
    void stateChanged();
    // Once when start() has an outcome: true when a service answers (started
    // or configured), false when none could be had.
    void ready(bool answers);
    // Whenever the service started here comes or goes: its address and
    // token, or both empty while it is down.
    void serviceChanged(const QUrl& url, const QByteArray& token);

private:
    void launch();
    void readOutput();
    void processFinished(int exitCode, QProcess::ExitStatus status);
    void notStarted(const QString& why);
    void died(const QString& why);
    void finish(State state, const QString& logLine);
    void setState(State state);
    void publish(const QUrl& url, const QByteArray& token);

    MainLoop& m_loop;
    Options m_options;
    State m_state = State::idle;
    QPointer<QProcess> m_process;
    TimerHandle m_startDeadline;
    TimerHandle m_restartTimer;
    QByteArray m_errorOutput;
    QUrl m_url;
    QByteArray m_token;
    QByteArray m_startingToken;
    bool m_everRan = false;
    std::chrono::milliseconds m_restartDelay{0};
    MainLoop::Duration m_runningSince{0};
};

} // namespace aimset
