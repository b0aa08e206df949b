#include "GnomeShellExtension.h"

#include "Runtime/Log.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[GnomeShell] ");
const QString kTool = QStringLiteral("gnome-extensions");

// The shell's own numbers for an extension's state.
constexpr int kStateError = 3;
constexpr int kStateOutOfDate = 4;

} // namespace

GnomeShellExtension::GnomeShellExtension(GnomeShell& shell, std::chrono::milliseconds startWait)
    : m_shell(shell)
    , m_startWait(startWait) {}

// Installed: in one of the data folders the shell searches.
bool GnomeShellExtension::isInstalled() const {
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                   QStringLiteral("gnome-shell/extensions/") + GnomeShell::uuid +
                                       QStringLiteral("/metadata.json"))
                .isEmpty();
}

DesktopExtension::State GnomeShellExtension::state() {
    if (m_shell.isRegistered()) {
        return State::running;
    }
    // Switching on an extension that runs and refuses this app helps nothing.
    if (m_shell.state() == GnomeShell::State::refused) {
        return State::unavailable;
    }
    return m_afterEnable.value_or(isInstalled() ? State::off : State::unavailable);
}

void GnomeShellExtension::enable(std::function<void(State)> done) {
    if (m_shell.isRegistered()) {
        QTimer::singleShot(0, this, [done] { done(State::running); });
        return;
    }
    if (!isInstalled()) {
        Log(kTag + QStringLiteral("Aimset's GNOME Shell extension is not installed: reinstall "
                                  "Aimset"));
        QTimer::singleShot(0, this, [done] { done(State::unavailable); });
        return;
    }
    const auto fail = [this, done](const QString& why) {
        Log(kTag + why);
        m_afterEnable = State::unavailable;
        done(State::unavailable);
    };
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, this,
            [this, process, done, fail](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status == QProcess::NormalExit && exitCode == 0) {
                    waitForStart(done);
                } else {
                    fail(kTool + QStringLiteral(" enable failed: ") +
                         QString::fromLocal8Bit(process->readAll()).trimmed());
                }
            });
    connect(process, &QProcess::errorOccurred, this, [process, fail](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            process->deleteLater();
            fail(QStringLiteral("Could not run ") + kTool +
                 QStringLiteral(" (is gnome-shell-extension-prefs installed?)"));
        }
    });
    process->start(kTool, {QStringLiteral("enable"), GnomeShell::uuid});
}

// A shell that knows the extension starts it at once; one that does not has
// not read it yet, and the shell's record of it tells the two apart.
void GnomeShellExtension::waitForStart(std::function<void(State)> done) {
    if (m_shell.isRegistered()) {
        m_afterEnable.reset();
        done(State::running);
        return;
    }
    // Whichever comes first ends the wait, and takes the other with it.
    auto* waiting = new QObject(this);
    connect(&m_shell, &GnomeShell::stateChanged, waiting,
            [this, waiting, done](GnomeShell::State state) {
                if (state == GnomeShell::State::registered) {
                    delete waiting;
                    m_afterEnable.reset();
                    done(State::running);
                }
            });
    QTimer::singleShot(m_startWait, waiting, [this, waiting, done] {
        delete waiting;
        askShellWhy(done);
    });
}

void GnomeShellExtension::askShellWhy(std::function<void(State)> done) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
    message.setArguments({GnomeShell::uuid});
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                const QVariantMap info =
                    qdbus_cast<QVariantMap>(finished->reply().arguments().value(0));
                const int shellState = info.value(QStringLiteral("state")).toInt();
                m_afterEnable = State::unavailable;
                if (finished->isError()) {
                    Log(kTag + QStringLiteral("Could not ask GNOME Shell about its extensions: ") +
                        finished->error().message());
                } else if (info.isEmpty()) {
                    Log(kTag + QStringLiteral("Aimset's GNOME Shell extension is enabled and "
                                              "loads at the next login: log out and in once"));
                    m_afterEnable = State::nextLogin;
                } else if (shellState == kStateError || shellState == kStateOutOfDate) {
                    Log(kTag + QStringLiteral("GNOME Shell could not start Aimset's extension: ") +
                        (shellState == kStateOutOfDate
                             ? QStringLiteral("it does not support this GNOME version")
                             : info.value(QStringLiteral("error")).toString()));
                } else {
                    // It knows the extension and leaves it off: extensions
                    // are switched off as a whole.
                    Log(kTag + QStringLiteral("GNOME Shell did not start Aimset's extension: "
                                              "switch extensions on in GNOME's Extensions app"));
                }
                done(*m_afterEnable);
            });
}

} // namespace aimset
