#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace aimset {

// An application as the desktop reports it; it may not know name and identifier.
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
    // Called on the main thread with the activated application, if known.
    using ActivationHandler = std::function<void(const std::optional<RunningApplication>&)>;

    virtual ~Workspace() = default;

    virtual std::optional<RunningApplication> frontmostApplication() = 0;

    // The title of a process's focused window; none when there is no readable one.
    virtual std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) = 0;

    virtual ObserverToken addActivationObserver(ActivationHandler handler) = 0;
    virtual void removeActivationObserver(ObserverToken token) = 0;
};

// A backend that keeps its activation observers and tells them in the order they came.
class ObservedWorkspace : public Workspace {
public:
    ObserverToken addActivationObserver(ActivationHandler handler) override {
        m_handlers.emplace(m_next, std::move(handler));
        return m_next++;
    }
    void removeActivationObserver(ObserverToken token) override { m_handlers.erase(token); }
    std::size_t observerCount() const { return m_handlers.size(); }

protected:
    void notifyObservers(const std::optional<RunningApplication>& app) const {
        const auto handlers = m_handlers; // a handler may add or remove observers
        for (const auto& [token, handler] : handlers) {
            handler(app);
        }
    }

private:
    std::map<ObserverToken, ActivationHandler> m_handlers;
    ObserverToken m_next = 1;
};

} // namespace aimset
