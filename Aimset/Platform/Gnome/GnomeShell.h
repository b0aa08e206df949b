#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>

namespace aimset {

// The window in front as Aimset's GNOME Shell extension reports it.
struct ShellFocus {
    bool present = false;
    QString appId;
    QString name;
    std::uint32_t pid = 0;
    QString title;

    bool operator==(const ShellFocus&) const = default;
};

// The session bus's side of Aimset's GNOME Shell extension (interface
// org.aimset.Shell1, version 1): under Wayland only the shell knows which
// window is in front, can type into it and hears keys everywhere. Registers
// this process as the extension's client whenever the extension appears, and
// turns its signals into Qt signals. Every call is asynchronous: the main
// thread never waits for the shell, which itself waits for nobody.
class GnomeShell final : public QObject {
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
    bool hasBus() const { return m_bus.isConnected(); }

    // Asks for Control+W in the focused window; false when no extension is
    // registered (nothing was asked). A failure shows later as a log line.
    bool closeFrontTab();

signals:
    void stateChanged(aimset::GnomeShell::State state);
    // On registration (the window in front then) and on every focus change.
    void focusChanged(const aimset::ShellFocus& focus);
    void titleChanged(const QString& title);
    void chordPressed();
    void chordReleased();

private slots:
    void onFocusChanged(bool present, const QString& appId, const QString& name, uint pid,
                        const QString& title);

private:
    void askVersion();
    void registerClient();
    void setState(State state, const QString& why = {});
    void call(const QString& method, const QVariantList& arguments,
              std::function<void(const QDBusMessage&)> done,
              const QString& interfaceName = interface);

    QDBusConnection m_bus = QDBusConnection::sessionBus();
    State m_state = State::connecting;
    // Replies to an earlier appearance of the extension are not this one's.
    std::uint64_t m_generation = 0;
};

} // namespace aimset
