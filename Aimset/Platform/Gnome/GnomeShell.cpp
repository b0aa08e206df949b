#include "GnomeShell.h"

#include "Runtime/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[GnomeShell] ");

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

} // namespace

void GnomeShell::start() {
    if (!m_bus.isConnected()) {
        setState(State::absent, QStringLiteral("no session bus"));
        return;
    }
    m_bus.connect(service, path, interface, QStringLiteral("FocusChanged"), this,
                  SLOT(onFocusChanged(bool, QString, QString, uint, QString)));
    m_bus.connect(service, path, interface, QStringLiteral("TitleChanged"), this,
                  SLOT(onTitleChanged(QString)));
    m_bus.connect(service, path, interface, QStringLiteral("ChordPressed"), this,
                  SLOT(onChordPressed()));
    m_bus.connect(service, path, interface, QStringLiteral("ChordReleased"), this,
                  SLOT(onChordReleased()));
    // The shell loads, reloads and unloads the extension on its own time.
    auto* watcher =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& newOwner) {
                ++m_generation;
                if (newOwner.isEmpty()) {
                    setState(State::absent);
                } else {
                    askVersion();
                }
            });
    askVersion();
}

void GnomeShell::call(const QString& method, const QVariantList& arguments,
                      std::function<void(const QDBusMessage&)> done, const QString& interfaceName) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interfaceName, method);
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
        QStringLiteral("Get"), {interface, QStringLiteral("Version")},
        [this](const QDBusMessage& reply) {
            const QString error = reply.errorName();
            if (error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
                setState(State::absent);
                return;
            }
            if (reply.type() == QDBusMessage::ErrorMessage) {
                setState(State::refused, describeError(reply));
                return;
            }
            const uint version =
                reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
            if (version != interfaceVersion) {
                setState(State::refused, QStringLiteral("it speaks version %1, this app version %2")
                                             .arg(version)
                                             .arg(interfaceVersion));
                return;
            }
            registerClient();
        },
        QStringLiteral("org.freedesktop.DBus.Properties"));
}

void GnomeShell::registerClient() {
    call(QStringLiteral("Register"), {}, [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            setState(State::refused, describeError(reply));
            return;
        }
        setState(State::registered);
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

void GnomeShell::setState(State state, const QString& why) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    if (state == State::absent) {
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension is not running, so sessions "
                           "cannot watch windows: enable it with \u201Cgnome-extensions "
                           "enable ") +
            uuid +
            QStringLiteral("\u201D, and log out and in once if it was installed since you "
                           "logged in") +
            (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')')));
    } else if (state == State::refused) {
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension did not take this app as its "
                           "client, so sessions cannot watch windows: ") +
            why);
    } else {
        Log(kTag + QStringLiteral("Connected to Aimset's GNOME Shell extension"));
    }
    if (state != State::registered) {
        m_front.reset();
        m_lastPid.reset();
        setChordDown(false);
    }
    emit stateChanged(state);
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
        m_observers.notify(m_front);
    }
}

void GnomeShell::onTitleChanged(const QString& title) {
    if (m_front) {
        m_frontTitle = title;
    }
}

std::optional<QString> GnomeShell::focusedWindowTitle(std::int32_t processIdentifier) {
    if (!m_front || m_front->processIdentifier != processIdentifier) {
        return std::nullopt;
    }
    return m_frontTitle;
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

} // namespace aimset
