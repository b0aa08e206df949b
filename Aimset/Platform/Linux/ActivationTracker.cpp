#include "ActivationTracker.h"

namespace aimset {

bool ActivationTracker::activeWindowChanged(std::uint32_t window, std::int32_t pid) {
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

} // namespace aimset
