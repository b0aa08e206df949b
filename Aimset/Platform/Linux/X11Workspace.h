#pragma once

#include "ActivationTracker.h"
#include "DesktopEntries.h"
#include "Platform/Workspace.h"
#include "XcbConnection.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace aimset {

// The frontmost application and its window on an X11 desktop, read from the
// window manager's hints (EWMH), with activations from changes of the root
// window's _NET_ACTIVE_WINDOW. Runs on the main thread.
class X11Workspace final : public QObject, public Workspace {
public:
    X11Workspace(std::unique_ptr<XcbConnection> connection, DesktopEntries entries);

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;
    ObserverToken addActivationObserver(ActivationHandler handler) override;
    void removeActivationObserver(ObserverToken token) override;

    // Everything known about one window, read in one pipelined exchange.
    struct WindowFacts {
        std::uint32_t window = 0;
        std::int32_t pid = 0;
        QString instance;
        QString windowClass;
        std::optional<QString> title;
    };
    std::optional<WindowFacts> activeWindow();

private:
    WindowFacts readWindow(std::uint32_t window);
    std::int32_t clientPid(std::uint32_t window);
    RunningApplication describe(const WindowFacts& facts) const;
    void readEvents();

    std::unique_ptr<XcbConnection> m_x;
    DesktopEntries m_entries;
    std::unique_ptr<QSocketNotifier> m_notifier;
    ActivationTracker m_tracker;
    ActivationObservers m_observers;
    std::optional<WindowFacts> m_justRead;

    xcb_atom_t m_netActiveWindow;
    xcb_atom_t m_netWmPid;
    xcb_atom_t m_netWmName;
    xcb_atom_t m_utf8String;
};

} // namespace aimset
