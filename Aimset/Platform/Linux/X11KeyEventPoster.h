#pragma once

#include "Platform/KeyEventPoster.h"
#include "XcbConnection.h"

#include <QList>

#include <memory>
#include <vector>

namespace aimset {

// Synthesised key presses on an X11 desktop through XTest. The product's
// Command+W becomes Control+W, the Linux close-tab chord. Modifiers the user
// holds are lifted for the chord and pressed again after it, so the focused
// application sees Control alone: Control+Shift+W would close the whole
// browser window.
class X11KeyEventPoster final : public KeyEventPoster {
public:
    // Null when no X server can be reached.
    static std::unique_ptr<X11KeyEventPoster> create(const char* display = nullptr);
    ~X11KeyEventPoster() override;

    std::unique_ptr<Source> createSource() override;
    std::unique_ptr<Event> createKeyboardEvent(Source& source, std::uint16_t keyCode,
                                               bool keyDown) override;
    void setFlags(Event& event, std::uint64_t flags) override;
    void post(Event& event) override;

    // The X key code of a key sym on the current keyboard map (0 when none).
    std::uint8_t keycodeForKeysym(std::uint32_t keysym);

private:
    explicit X11KeyEventPoster(std::unique_ptr<XcbConnection> connection);
    void readModifierMap();
    std::vector<std::uint8_t> heldKeys();
    void fake(std::uint8_t keycode, bool press);

    std::unique_ptr<XcbConnection> m_x;
    bool m_hasXTest = false;
    // Key codes by modifier row: Shift, Lock, Control, Mod1..Mod5.
    std::vector<std::vector<std::uint8_t>> m_modifierRows;
    // What the last key-down changed, undone by the matching key-up.
    std::vector<std::uint8_t> m_lifted;
    std::vector<std::uint8_t> m_pressedModifiers;
};

} // namespace aimset
