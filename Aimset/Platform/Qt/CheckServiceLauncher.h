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
// aimset-checkd, on a free loopback port it picks itself, with a fresh token
// every check must carry, so nothing else that listens is ever used. A service
// that dies is started again after a growing delay (checks in the gap fail)
// and stopped when the launcher goes.
class CheckServiceLauncher : public QObject {
    Q_OBJECT

public:
    enum class State {
        idle,
        configured, // AIMSET_CHECK_URL names a service: nothing to start
        starting,
        running,
        restarting, // died; started again after a delay
        unavailable,
    };

    // programDirectory: where aimset-checkd is (empty: the app's helpers'
    // folder). The restart delay doubles up to maxRestartDelay.
    explicit CheckServiceLauncher(
        MainLoop& loop, QString programDirectory = {},
        std::chrono::milliseconds maxRestartDelay = std::chrono::minutes(1));
    ~CheckServiceLauncher() override;

    void start();

    State state() const { return m_state; }
    // The service's process id while it runs, else 0.
    qint64 processId() const {
        return m_process && m_state == State::running ? m_process->processId() : 0;
    }

signals:
    // The service's address and token, or both empty while it is down.
    void serviceChanged(const QUrl& url, const QByteArray& token);

private:
    void launch();
    void readOutput(QProcess& process, const QByteArray& token);
    void ended(const QString& why);
    void publish(const QUrl& url, const QByteArray& token);

    MainLoop& m_loop;
    QString m_programDirectory;
    std::chrono::milliseconds m_maxRestartDelay;
    State m_state = State::idle;
    QPointer<QProcess> m_process;
    TimerHandle m_startDeadline;
    TimerHandle m_restartTimer;
    QByteArray m_errorOutput;
    QUrl m_url;
    QByteArray m_token;
    bool m_everRan = false;
    std::chrono::milliseconds m_restartDelay;
    MainLoop::Duration m_runningSince{0};
};

} // namespace aimset
