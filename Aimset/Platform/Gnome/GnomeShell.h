#pragma once

#include "Platform/DesktopExtension.h"
#include "Platform/FrontTabCloser.h"
#include "Platform/VoiceChord.h"
#include "Platform/Workspace.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <chrono>
#include <cstdint>

namespace aimset {

// Aimset's GNOME Shell extension over the session bus (org.aimset.Shell1,
// version 1): under Wayland only the shell knows the window in front, types
// into it and hears keys everywhere. Registers as the extension's client
// whenever it appears. Every call is asynchronous: the main thread never
// waits for the shell.
class GnomeShell final : public QObject,
                         public ObservedWorkspace,
                         public FrontTabCloser,
                         public VoiceChord,
                         public DesktopExtension {
    Q_OBJECT

public:
    static inline const QString uuid = QStringLiteral("aimset@aimset.invalid");
    // The title of every floating panel, by which the extension tells them
    // from the main window.
    static inline const QString panelWindowTitle = QStringLiteral("Aimset panel");

    // startWait: how long an extension just switched on has to come up
    // before the shell is asked why it did not.
    explicit GnomeShell(std::chrono::milliseconds startWait = std::chrono::seconds(5));

    // Listens and registers; each change of the link is one log line.
    void start();
    bool isRegistered() const { return m_link == Link::registered; }

    // The window in front as the extension last reported it. An activation
    // is a focus change to another process, not a moment without focus.
    std::optional<RunningApplication> frontmostApplication() override { return m_front; }
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;

    // Control+W from the shell's virtual keyboard, which lifts the held
    // modifiers around it; a failure shows later as a log line.
    Result closeFrontTab() override;

    // Alt+M as the extension hears it; false only without a session bus. A
    // chord held when the extension goes comes up then: a recording never
    // waits for a release that cannot arrive.
    bool watch(std::function<void()> down, std::function<void()> up) override;
    void unwatch() override { watch(nullptr, nullptr); }

    // Switched on with gnome-extensions. Under Wayland the shell reads the
    // extensions installed since login only at the next login, so one
    // switched on that does not come up soon after is waiting for it.
    State state() override;
    void enable(std::function<void(State)> done) override;

signals:
    void registered();

private slots:
    void onFocusChanged(bool present, const QString& appId, const QString& name, uint pid,
                        const QString& title);
    void onTitleChanged(const QString& title);
    void onChordPressed() { setChordDown(true); }
    void onChordReleased() { setChordDown(false); }

private:
    enum class Link {
        connecting,
        // No extension on the bus: not installed, not enabled, or installed
        // since login and not loaded yet.
        absent,
        // It answered, but not as this app's client (another version, or it
        // did not recognise this program).
        refused,
        registered,
    };

    void askVersion();
    void registerClient();
    void setLink(Link link, const QString& why = {});
    void setChordDown(bool down);
    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> done, const QString& interfaceName = {});
    void waitForStart(std::function<void(State)> done);
    void askShellWhy(std::function<void(State)> done);

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    Link m_link = Link::connecting;
    // Replies to an earlier appearance of the extension are not this one's.
    std::uint64_t m_generation = 0;

    std::optional<RunningApplication> m_front;
    QString m_frontTitle;
    std::optional<std::uint32_t> m_lastPid;

    bool m_chordDown = false;
    std::function<void()> m_onChordDown;
    std::function<void()> m_onChordUp;

    std::chrono::milliseconds m_startWait;
    std::optional<State> m_afterEnable;
};

} // namespace aimset
