#pragma once

#include <cstdint>
#include <optional>

namespace aimset {

// Turns changes of the active window into application activations: a window
// manager sets "no window" for a moment between two windows, and a switch
// between two windows of one application activates nothing new.
class ActivationTracker {
public:
    // Called for every new value of the active window with the process it
    // belongs to (0 when unknown). True when this is a new application.
    bool activeWindowChanged(std::uint32_t window, std::int32_t pid) {
        if (window == 0) {
            return false;
        }
        // Without a process id, windows are the best identity there is.
        const bool sameApplication =
            m_lastPid && (pid != 0 ? *m_lastPid == pid : m_lastWindow == window);
        m_lastPid = pid;
        m_lastWindow = window;
        return !sameApplication;
    }

private:
    std::optional<std::int32_t> m_lastPid;
    std::uint32_t m_lastWindow = 0;
};

} // namespace aimset
