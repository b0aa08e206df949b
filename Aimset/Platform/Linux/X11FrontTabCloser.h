#pragma once

#include "Platform/FrontTabCloser.h"
#include "XcbConnection.h"

#include <memory>
#include <vector>

namespace aimset {

// Control+W, the Linux close-tab chord, through XTest. Modifiers the user
// holds are lifted for the chord and pressed again after it, so the focused
// application sees Control alone: Control+Shift+W would close the whole
// browser window.
class X11FrontTabCloser final : public FrontTabCloser {
public:
    explicit X11FrontTabCloser(std::unique_ptr<XcbConnection> connection);

    Result closeFrontTab() override;

private:
    // The X key code of a key sym on the current keyboard map, else the fallback.
    std::uint8_t keycodeFor(std::uint32_t keysym, std::uint8_t fallback);
    void fake(std::uint8_t keycode, bool press);

    std::unique_ptr<XcbConnection> m_x;
    // Key codes by modifier row: Shift, Lock, Control, Mod1..Mod5.
    std::vector<std::vector<std::uint8_t>> m_modifierRows;
};

} // namespace aimset
