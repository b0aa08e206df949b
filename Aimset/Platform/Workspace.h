#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace aimset {

// An application as the desktop reports it. Name and identifier may be
// unknown to the desktop.
struct RunningApplication {
    std::optional<QString> localizedName;
    std::optional<QString> bundleIdentifier;
    std::int32_t processIdentifier = 0;

    bool operator==(const RunningApplication&) const = default;
};

// The desktop's windows: which application is in front, the title of a
// process's focused window, and news of activations.
class Workspace {
public:
    using ObserverToken = std::uint64_t;
    // Called on the main thread with the activated application, if the
    // desktop could tell which one it is.
    using ActivationHandler = std::function<void(const std::optional<RunningApplication>&)>;

    virtual ~Workspace() = default;

    virtual std::optional<RunningApplication> frontmostApplication() = 0;

    // The title of the focused window of a process; empty optional when the
    // process has no readable focused window or title.
    virtual std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) = 0;

    virtual ObserverToken addActivationObserver(ActivationHandler handler) = 0;
    virtual void removeActivationObserver(ObserverToken token) = 0;
};

} // namespace aimset
