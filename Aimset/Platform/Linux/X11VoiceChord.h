#pragma once

#include "Platform/VoiceChord.h"
#include "XcbConnection.h"

#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <memory>
#include <optional>

namespace aimset {

// Follows Alt and M from raw key events. Alt is tracked per key, so a release
// twice or a press without release never leaves it stuck.
class AltMTracker {
public:
    // M by its position on a PC keyboard under evdev, whatever the layout.
    static constexpr std::uint8_t mKeycode = 58;
    // By default, left and right Alt of a standard PC keyboard under evdev.
    explicit AltMTracker(QSet<std::uint8_t> altKeys = {64, 108})
        : m_altKeys(std::move(altKeys)) {}

    // True when the chord went down, false when it came up, else nothing.
    std::optional<bool> apply(std::uint8_t keycode, bool pressed);
    void forget() { m_down = false; }

private:
    QSet<std::uint8_t> m_altKeys;
    QSet<std::uint8_t> m_heldAlts;
    bool m_down = false;
};

// The voice chord from XInput2's raw key events on a connection of its own:
// they neither repeat nor take the key from the application that has it.
class X11VoiceChord final : public QObject, public VoiceChord {
public:
    explicit X11VoiceChord(std::unique_ptr<XcbConnection> connection);

    bool watch(std::function<void()> down, std::function<void()> up) override;
    void unwatch() override;

private:
    bool selectRawEvents();
    void readEvents();

    std::unique_ptr<XcbConnection> m_x;
    AltMTracker m_tracker;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_down;
    std::function<void()> m_up;
    std::uint8_t m_xinputOpcode = 0;
};

} // namespace aimset
