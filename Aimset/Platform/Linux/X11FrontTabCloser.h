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
    std::unique_ptr<XcbConnection> m_x;
    // Key codes by modifier row: Shift, Lock, Control, Mod1..Mod5.
    std::vector<std::vector<std::uint8_t>> m_modifierRows;
};

} // namespace aimset
