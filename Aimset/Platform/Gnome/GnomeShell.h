#pragma once

#include "Platform/FrontTabCloser.h"
#include "Platform/VoiceChord.h"
#include "Platform/Workspace.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

namespace aimset {

// The session bus's side of Aimset's GNOME Shell extension (interface
// org.aimset.Shell1, version 1): under Wayland only the shell knows which
// window is in front, can type into it and hears keys everywhere, so it is
// the desktop's workspace, front-tab closer and voice chord. Registers this
// process as the extension's client whenever the extension appears. Every
// call is asynchronous: the main thread never waits for the shell, which
// itself waits for nobody.
class GnomeShell final : public QObject,
                         public Workspace,
                         public FrontTabCloser,
                         public VoiceChord {
    Q_OBJECT

public:
    static inline const QString service = QStringLiteral("org.aimset.Shell");
    static inline const QString path = QStringLiteral("/org/aimset/Shell");
    static inline const QString interface = QStringLiteral("org.aimset.Shell1");
    static inline const QString uuid = QStringLiteral("aimset@aimset.invalid");
    static constexpr std::uint32_t interfaceVersion = 1;
    // The title of every floating panel, by which the extension tells them
    // from the main window.
    static inline const QString panelWindowTitle = QStringLiteral("Aimset panel");

    enum class State {
        connecting,
        // No extension on the bus: not installed, not enabled, or installed
        // since login and not loaded yet.
        absent,
        // It answered, but not as this app's client (another version, or it
        // did not recognise this program).
        refused,
        registered,
    };

    // Listens and registers; the outcome comes as stateChanged.
    void start();
    State state() const { return m_state; }
    bool isRegistered() const { return m_state == State::registered; }

    // The window in front as the extension last reported it: never asked
    // for and waited on. An activation is a focus change to another
    // process; a moment without focus, or another window of the same
    // process, is none.
    std::optional<RunningApplication> frontmostApplication() override { return m_front; }
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;
    ObserverToken addActivationObserver(ActivationHandler handler) override {
        return m_observers.add(std::move(handler));
    }
    void removeActivationObserver(ObserverToken token) override { m_observers.remove(token); }

    // Control+W from the shell's own virtual keyboard, which lifts the
    // modifiers the user holds around it (a Wayland client cannot type into
    // another). Sent without waiting: a failure shows later as a log line.
    Result closeFrontTab() override;

    // Alt+M as the extension hears it; false only without a session bus (an
    // extension enabled later is heard from its registration on). A chord
    // still held when the extension goes comes up then, so a recording never
    // waits for a release that cannot arrive.
    bool watch(std::function<void()> down, std::function<void()> up) override;
    void unwatch() override { watch(nullptr, nullptr); }

signals:
    void stateChanged(aimset::GnomeShell::State state);

private slots:
    void onFocusChanged(bool present, const QString& appId, const QString& name, uint pid,
                        const QString& title);
    void onTitleChanged(const QString& title);
    void onChordPressed() { setChordDown(true); }
    void onChordReleased() { setChordDown(false); }

private:
    void askVersion();
    void registerClient();
    void setState(State state, const QString& why = {});
    void setChordDown(bool down);
    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> done,
              const QString& interfaceName = interface);

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    State m_state = State::connecting;
    // Replies to an earlier appearance of the extension are not this one's.
    std::uint64_t m_generation = 0;

    // The window in front; what was in front before the extension went is
    // unknown.
    std::optional<RunningApplication> m_front;
    QString m_frontTitle;
    std::optional<std::uint32_t> m_lastPid;
    ActivationObservers m_observers;

    bool m_chordDown = false;
    std::function<void()> m_onChordDown;
    std::function<void()> m_onChordUp;
};

} // namespace aimset
