#pragma once

#include <QtGlobal>

#include <functional>
#include <optional>

namespace aimset {

// What a key event reports. Backends translate their own events into these.
enum class KeyEventKind {
    keyDown,
    keyUp,
    flagsChanged, // a modifier key went down or up
    other,
};

// Virtual key codes by physical position on the ANSI keyboard, so a gesture
// holds on every layout.
namespace KeyCode {
inline constexpr int m = 46;
} // namespace KeyCode

// Modifier-flag bits as events carry them.
namespace ModifierFlag {
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000; // Alt on PC keyboards
inline constexpr quint64 command = 0x100000;
} // namespace ModifierFlag

// Event-mask bits that choose the kinds a monitor receives.
namespace KeyEventMask {
inline constexpr quint64 keyDown = 1u << 10;
inline constexpr quint64 keyUp = 1u << 11;
inline constexpr quint64 flagsChanged = 1u << 12;
} // namespace KeyEventMask

struct KeyEvent {
    KeyEventKind kind = KeyEventKind::other;
    int keyCode = 0;
    quint64 modifierFlags = 0;

    bool hasOption() const { return (modifierFlags & ModifierFlag::option) != 0; }
    friend bool operator==(const KeyEvent&, const KeyEvent&) = default;
};

// Identifies one installed monitor; only the monitor that issued it reads it.
struct KeyMonitorToken {
    quint64 value = 0;
    friend bool operator==(const KeyMonitorToken&, const KeyMonitorToken&) = default;
};

// Delivers key events of the whole desktop. Handlers are called on the main
// thread, one event at a time, in the order the keys were pressed.
class KeyEventMonitor {
public:
    using GlobalHandler = std::function<void(const KeyEvent& event)>;
    // Returns the event to pass on to this application, or nothing to swallow it.
    using LocalHandler = std::function<std::optional<KeyEvent>(const KeyEvent& event)>;

    virtual ~KeyEventMonitor() = default;

    // Events of the kinds in mask while another application is in front. The
    // platform may refuse (no token), e.g. without accessibility trust.
    virtual std::optional<KeyMonitorToken> addGlobalMonitor(quint64 mask,
                                                            GlobalHandler handler) = 0;
    // Events of the kinds in mask while this application is in front.
    virtual std::optional<KeyMonitorToken> addLocalMonitor(quint64 mask, LocalHandler handler) = 0;
    virtual void removeMonitor(KeyMonitorToken token) = 0;
};

} // namespace aimset
