#include "GnomeShellExtension.h"

#include "Runtime/Log.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTimer>

#include <memory>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[GnomeShell] ");

// The shell's own numbers for an extension's state.
constexpr int kStateError = 3;
constexpr int kStateOutOfDate = 4;

} // namespace

GnomeShellExtension::GnomeShellExtension(GnomeShell& shell, Options options)
    : m_shell(shell)
    , m_options(std::move(options)) {}

bool GnomeShellExtension::isInstalled() const {
    for (const QString& folder : m_options.dataFolders) {
        if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("gnome-shell/extensions/") +
                                                    GnomeShell::uuid +
                                                    QStringLiteral("/metadata.json")))) {
            return true;
        }
    }
    return false;
}

DesktopExtension::State GnomeShellExtension::state() {
    if (m_shell.isRegistered()) {
        return State::running;
    }
    // Switching on an extension that runs and refuses this app helps nothing.
    if (m_shell.state() == GnomeShell::State::refused) {
        return State::unavailable;
    }
    if (m_afterEnable) {
        return *m_afterEnable;
    }
    return isInstalled() ? State::off : State::unavailable;
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
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, this,
            [this, process, done](int exitCode, QProcess::ExitStatus status) {
                process->deleteLater();
                if (status != QProcess::NormalExit || exitCode != 0) {
                    Log(kTag + m_options.tool + QStringLiteral(" enable failed: ") +
                        QString::fromLocal8Bit(process->readAll()).trimmed());
                    m_afterEnable = State::unavailable;
                    done(State::unavailable);
                    return;
                }
                waitForStart(done);
            });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, done](QProcess::ProcessError error) {
                if (error != QProcess::FailedToStart) {
                    return;
                }
                process->deleteLater();
                Log(kTag + QStringLiteral("Could not run ") + m_options.tool +
                    QStringLiteral(" (is gnome-shell-extension-prefs installed?)"));
                m_afterEnable = State::unavailable;
                done(State::unavailable);
            });
    process->start(m_options.tool, {QStringLiteral("enable"), GnomeShell::uuid});
}

// A shell that knows the extension starts it at once; one that does not has
// not read it yet, and the shell's record of it tells the two apart.
void GnomeShellExtension::waitForStart(std::function<void(State)> done) {
    auto waiting = std::make_shared<QMetaObject::Connection>();
    auto finish = [this, waiting, done](bool started) {
        if (!*waiting) {
            return;
        }
        disconnect(*waiting);
        *waiting = {};
        if (started) {
            m_afterEnable.reset();
            done(State::running);
        } else {
            askShellWhy(done);
        }
    };
    *waiting =
        connect(&m_shell, &GnomeShell::stateChanged, this, [finish](GnomeShell::State state) {
            if (state == GnomeShell::State::registered) {
                finish(true);
            }
        });
    if (m_shell.isRegistered()) {
        finish(true);
        return;
    }
    QTimer::singleShot(m_options.startWait, this, [finish] { finish(false); });
}

void GnomeShellExtension::askShellWhy(std::function<void(State)> done) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
    message.setArguments({GnomeShell::uuid});
    auto* watcher = new QDBusPendingCallWatcher(m_shell.bus().asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (finished->isError()) {
                    Log(kTag + QStringLiteral("Could not ask GNOME Shell about its extensions: ") +
                        finished->error().message());
                    m_afterEnable = State::unavailable;
                    done(*m_afterEnable);
                    return;
                }
                const QVariantMap info =
                    qdbus_cast<QVariantMap>(finished->reply().arguments().value(0));
                const int shellState = info.value(QStringLiteral("state")).toInt();
                if (info.isEmpty()) {
                    Log(kTag + QStringLiteral("Aimset's GNOME Shell extension is enabled and "
                                              "loads at the next login: log out and in once"));
                    m_afterEnable = State::nextLogin;
                } else if (shellState == kStateError || shellState == kStateOutOfDate) {
                    Log(kTag + QStringLiteral("GNOME Shell could not start Aimset's extension: ") +
                        (shellState == kStateOutOfDate
                             ? QStringLiteral("it does not support this GNOME version")
                             : info.value(QStringLiteral("error")).toString()));
                    m_afterEnable = State::unavailable;
                } else {
                    // It knows the extension and leaves it off: extensions
                    // are switched off as a whole.
                    Log(kTag + QStringLiteral("GNOME Shell did not start Aimset's extension: "
                                              "switch extensions on in GNOME's Extensions app"));
                    m_afterEnable = State::unavailable;
                }
                done(*m_afterEnable);
            });
}

} // namespace aimset
