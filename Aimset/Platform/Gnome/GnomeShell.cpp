#include "GnomeShell.h"

#include "Runtime/Log.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[GnomeShell] ");
const QString kService = QStringLiteral("org.aimset.Shell");
const QString kPath = QStringLiteral("/org/aimset/Shell");
const QString kInterface = QStringLiteral("org.aimset.Shell1");
constexpr std::uint32_t kInterfaceVersion = 1;
const QString kTool = QStringLiteral("gnome-extensions");
// The shell's own numbers for an extension's state.
constexpr int kStateError = 3;
constexpr int kStateOutOfDate = 4;

QString describeError(const QDBusMessage& reply) {
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
}

// Whether the reply is an error; if so, it is logged after `what`.
bool failed(const QDBusMessage& reply, const QString& what) {
    if (reply.type() != QDBusMessage::ErrorMessage) {
        return false;
    }
    Log(kTag + what + describeError(reply));
    return true;
}

// In one of the data folders the shell searches.
bool isInstalled() {
    return !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                   QStringLiteral("gnome-shell/extensions/") + GnomeShell::uuid +
                                       QStringLiteral("/metadata.json"))
                .isEmpty();
}

} // namespace

GnomeShell::GnomeShell(std::chrono::milliseconds startWait)
    : m_startWait(startWait) {}

void GnomeShell::start() {
    if (!m_bus.isConnected()) {
        setLink(Link::absent, QStringLiteral("no session bus"));
        return;
    }
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("FocusChanged"), this,
                  SLOT(onFocusChanged(bool, QString, QString, uint, QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("TitleChanged"), this,
                  SLOT(onTitleChanged(QString)));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ChordPressed"), this,
                  SLOT(onChordPressed()));
    m_bus.connect(kService, kPath, kInterface, QStringLiteral("ChordReleased"), this,
                  SLOT(onChordReleased()));
    // The shell loads, reloads and unloads the extension on its own time.
    auto* watcher =
        new QDBusServiceWatcher(kService, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++m_generation;
                if (newOwner.isEmpty()) {
                    setLink(Link::absent);
                } else {
                    askVersion();
                }
            });
    askVersion();
}

void GnomeShell::call(const QString& method, const QVariantList& arguments,
                      std::function<void(const QDBusMessage&)> done, const QString& interfaceName) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        kService, kPath, interfaceName.isEmpty() ? kInterface : interfaceName, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, done = std::move(done),
             generation = m_generation](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                if (generation == m_generation) {
                    done(finished->reply());
                }
            });
}

// The version first: a client of another version would misread the signals.
void GnomeShell::askVersion() {
    call(
        QStringLiteral("Get"), {kInterface, QStringLiteral("Version")},
        [this](const QDBusMessage& reply) {
            const QString error = reply.errorName();
            if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
                setLink(Link::absent);
                return;
            }
            if (reply.type() == QDBusMessage::ErrorMessage) {
                setLink(Link::refused, describeError(reply));
                return;
            }
            const uint version =
                reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
            if (version != kInterfaceVersion) {
                setLink(Link::refused, QStringLiteral("it speaks version %1, this app version %2")
                                           .arg(version)
                                           .arg(kInterfaceVersion));
                return;
            }
            registerClient();
        },
        QStringLiteral("org.freedesktop.DBus.Properties"));
}

void GnomeShell::registerClient() {
    call(QStringLiteral("Register"), {}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            setLink(Link::refused, describeError(reply));
            return;
        }
        setLink(Link::registered);
        call(QStringLiteral("SetPanelWindowTitles"), {QStringList{panelWindowTitle}},
             [](const QDBusMessage& marked) {
                 failed(marked, QStringLiteral("Could not mark the panels: "));
             });
        call(QStringLiteral("GetFocusedWindow"), {}, [this](const QDBusMessage& focus) {
            const QVariantList values = focus.arguments();
            if (focus.type() == QDBusMessage::ErrorMessage || values.size() != 5) {
                Log(kTag + QStringLiteral("Could not read the window in front: ") +
                    describeError(focus));
                return;
            }
            onFocusChanged(values[0].toBool(), values[1].toString(), values[2].toString(),
                           values[3].toUInt(), values[4].toString());
        });
    });
}

FrontTabCloser::Result GnomeShell::closeFrontTab() {
    if (!isRegistered()) {
        return Result::unreachable;
    }
    call(QStringLiteral("CloseFrontTab"), {}, [](const QDBusMessage& reply) {
        if (!failed(reply, QStringLiteral("Ctrl+W failed: ")) &&
            !reply.arguments().value(0).toBool()) {
            // No window in front, another one came to the front meanwhile, or
            // a key the user held did not come up in time.
            Log(kTag + QStringLiteral("The shell did not send Ctrl+W"));
        }
    });
    return Result::sent;
}

void GnomeShell::setLink(Link link, const QString& why) {
    if (link == m_link) {
        return;
    }
    m_link = link;
    if (link == Link::absent) {
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension is not running, so sessions "
                           "cannot watch windows: enable it with \u201Cgnome-extensions "
                           "enable ") +
            uuid +
            QStringLiteral("\u201D, and log out and in once if it was installed since you "
                           "logged in") +
            (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')')));
    } else if (link == Link::refused) {
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension did not take this app as its "
                           "client, so sessions cannot watch windows: ") +
            why);
    } else {
        Log(kTag + QStringLiteral("Connected to Aimset's GNOME Shell extension"));
    }
    if (link == Link::registered) {
        emit registered();
    } else {
        m_front.reset();
        m_lastPid.reset();
        setChordDown(false);
    }
}

void GnomeShell::onFocusChanged(bool present, const QString& appId, const QString& name, uint pid,
                                const QString& title) {
    m_front.reset();
    if (!present) {
        return;
    }
    const auto known = [](const QString& text) {
        return text.isEmpty() ? std::nullopt : std::optional<QString>(text);
    };
    m_front = RunningApplication{known(name), known(appId), static_cast<std::int32_t>(pid)};
    m_frontTitle = title;
    if (m_lastPid != pid) {
        m_lastPid = pid;
        notifyObservers(m_front);
    }
}

void GnomeShell::onTitleChanged(const QString& title) {
    if (m_front) {
        m_frontTitle = title;
    }
}

std::optional<QString> GnomeShell::focusedWindowTitle(std::int32_t processIdentifier) {
    const bool inFront = m_front && m_front->processIdentifier == processIdentifier;
    return inFront ? std::optional(m_frontTitle) : std::nullopt;
}

bool GnomeShell::watch(std::function<void()> down, std::function<void()> up) {
    m_onChordDown = std::move(down);
    m_onChordUp = std::move(up);
    m_chordDown = false;
    return m_bus.isConnected();
}

void GnomeShell::setChordDown(bool down) {
    if (down == m_chordDown) {
        return;
    }
    m_chordDown = down;
    if (const auto& handler = down ? m_onChordDown : m_onChordUp) {
        handler();
    }
}

DesktopExtension::State GnomeShell::state() {
    if (isRegistered()) {
        return State::running;
    }
    // Switching on an extension that runs and refuses this app helps nothing.
    if (m_link == Link::refused) {
        return State::unavailable;
    }
    return m_afterEnable.value_or(isInstalled() ? State::off : State::unavailable);
}

void GnomeShell::enable(std::function<void(State)> done) {
    if (isRegistered()) {
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
    process->start(kTool, {QStringLiteral("enable"), uuid});
}

// A shell that knows the extension starts it at once; one that does not has
// not read it yet, and the shell's record of it tells the two apart.
void GnomeShell::waitForStart(std::function<void(State)> done) {
    // Whichever comes first ends the wait, and takes the other with it.
    auto* waiting = new QObject(this);
    const auto started = [this, waiting, done] {
        delete waiting;
        m_afterEnable.reset();
        done(State::running);
    };
    if (isRegistered()) {
        started();
        return;
    }
    connect(this, &GnomeShell::registered, waiting, started);
    QTimer::singleShot(m_startWait, waiting, [this, waiting, done] {
        delete waiting;
        askShellWhy(done);
    });
}

void GnomeShell::askShellWhy(std::function<void(State)> done) {
    QDBusMessage message = QDBusMessage::createMethodCall(
        QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
        QStringLiteral("org.gnome.Shell.Extensions"), QStringLiteral("GetExtensionInfo"));
    message.setArguments({uuid});
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
