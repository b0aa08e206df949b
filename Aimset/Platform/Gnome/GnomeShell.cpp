#include "GnomeShell.h"

#include "Runtime/Log.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>

namespace aimset {

namespace {

const QString kTag = QStringLiteral("[GnomeShell] ");

QString describeError(const QDBusMessage& reply) {
    return reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
}

} // namespace

GnomeShell::GnomeShell(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus)) {}

GnomeShell::~GnomeShell() = default;

void GnomeShell::start() {
    if (!m_bus.isConnected()) {
        setState(State::absent, QStringLiteral("no session bus"));
        return;
    }
    connectSignal("FocusChanged", SLOT(onFocusChanged(bool, QString, QString, uint, QString)));
    connectSignal("TitleChanged", SLOT(onTitleChanged(QString)));
    connectSignal("ChordPressed", SLOT(onChordPressed()));
    connectSignal("ChordReleased", SLOT(onChordReleased()));
    // The shell loads, reloads and unloads the extension on its own time.
    m_watcher =
        new QDBusServiceWatcher(service, m_bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
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

void GnomeShell::connectSignal(const char* name, const char* slot) {
    m_bus.connect(service, path, interface, QString::fromLatin1(name), this, slot);
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
                if (generation == m_generation && done) {
                    done(finished->reply());
                }
            });
}

// The version first: a client of another version would misread the signals.
void GnomeShell::askVersion() {
    call(
        QStringLiteral("Get"), {interface, QStringLiteral("Version")},
        [this](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                if (reply.errorName() ==
                        QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
                    reply.errorName() ==
                        QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner")) {
                    setState(State::absent);
                } else {
                    setState(State::refused, describeError(reply));
                }
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
        sendPanelTitles();
        askFocusedWindow();
    });
}

void GnomeShell::askFocusedWindow() {
    call(QStringLiteral("GetFocusedWindow"), {}, [this](const QDBusMessage& reply) {
        const QVariantList values = reply.arguments();
        if (reply.type() == QDBusMessage::ErrorMessage || values.size() != 5) {
            Log(kTag + QStringLiteral("Could not read the window in front: ") +
                describeError(reply));
            return;
        }
        onFocusChanged(values[0].toBool(), values[1].toString(), values[2].toString(),
                       values[3].toUInt(), values[4].toString());
    });
}

bool GnomeShell::closeFrontTab() {
    if (!isRegistered()) {
        return false;
    }
    call(QStringLiteral("CloseFrontTab"), {}, [](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            Log(kTag + QStringLiteral("Ctrl+W failed: ") + describeError(reply));
        } else if (!reply.arguments().value(0).toBool()) {
            // No window in front, another one came to the front meanwhile, or
            // a key the user held did not come up in time.
            Log(kTag + QStringLiteral("The shell did not send Ctrl+W"));
        }
    });
    return true;
}

void GnomeShell::setPanelWindowTitles(const QStringList& titles) {
    m_panelTitles = titles;
    if (isRegistered()) {
        sendPanelTitles();
    }
}

void GnomeShell::sendPanelTitles() {
    call(QStringLiteral("SetPanelWindowTitles"), {m_panelTitles}, [](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage) {
            Log(kTag + QStringLiteral("Could not mark the panels: ") + describeError(reply));
        }
    });
}

void GnomeShell::setState(State state, const QString& why) {
    if (state == m_state) {
        return;
    }
    m_state = state;
    switch (state) {
    case State::connecting:
        break;
    case State::absent:
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension is not running, so sessions "
                           "cannot watch windows: enable it with \u201Cgnome-extensions "
                           "enable ") +
            uuid +
            QStringLiteral("\u201D, and log out and in once if it was installed since you "
                           "logged in") +
            (why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')')));
        break;
    case State::refused:
        Log(kTag +
            QStringLiteral("Aimset's GNOME Shell extension did not take this app as its "
                           "client, so sessions cannot watch windows: ") +
            why);
        break;
    case State::registered:
        Log(kTag + QStringLiteral("Connected to Aimset's GNOME Shell extension"));
        break;
    }
    emit stateChanged(state);
}

void GnomeShell::onFocusChanged(bool present, const QString& appId, const QString& name, uint pid,
                                const QString& title) {
    emit focusChanged(ShellFocus{present, appId, name, pid, title});
}

void GnomeShell::onTitleChanged(const QString& title) {
    emit titleChanged(title);
}

void GnomeShell::onChordPressed() {
    emit chordPressed();
}

void GnomeShell::onChordReleased() {
    emit chordReleased();
}

} // namespace aimset
