#pragma once

namespace aimset {

// Closes the current tab (or window) of whatever application has the
// keyboard focus, by the desktop's close-tab chord.
class FrontTabCloser {
public:
    enum class Result {
        sent,
        // The desktop's key synthesis cannot be reached.
        unreachable,
        // The chord's keys cannot be made; nothing was sent.
        noKeys,
    };

    virtual ~FrontTabCloser() = default;
    virtual Result closeFrontTab() = 0;
};

} // namespace aimset
