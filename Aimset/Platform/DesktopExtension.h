#pragma once

#include <functional>

namespace aimset {

// A part of the desktop that the app ships and the user switches on, without
// which sessions cannot see or act on other windows (on GNOME under Wayland,
// Aimset's shell extension).
class DesktopExtension {
public:
    enum class State {
        running,
        // Installed and not switched on: enable() can do it.
        off,
        // Switched on; the desktop loads it only at the user's next login.
        nextLogin,
        // Missing, or the desktop could not start it (a log line says why).
        unavailable,
    };

    virtual ~DesktopExtension() = default;
    virtual State state() = 0;
    // Switches it on; asked only with the user's consent. done runs later,
    // on the main thread, with the state then.
    virtual void enable(std::function<void(State)> done) = 0;
};

} // namespace aimset
