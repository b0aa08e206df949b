#pragma once

#include "DesktopEntries.h"
#include "Platform/Workspace.h"
#include "XcbConnection.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

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

// The frontmost application and its window on an X11 desktop, read from the
// window manager's hints (EWMH), with activations from changes of the root
// window's _NET_ACTIVE_WINDOW. Runs on the main thread.
class X11Workspace final : public QObject, public ObservedWorkspace {
public:
    X11Workspace(std::unique_ptr<XcbConnection> connection, DesktopEntries entries);

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;

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
    std::optional<WindowFacts> m_justRead;

    xcb_atom_t m_netActiveWindow;
    xcb_atom_t m_netWmPid;
    xcb_atom_t m_netWmName;
    xcb_atom_t m_utf8String;
};

} // namespace aimset
