#include "GnomeWorkspace.h"

namespace aimset {

GnomeWorkspace::GnomeWorkspace(GnomeShell& shell) {
    connect(&shell, &GnomeShell::focusChanged, this,
            [this](const ShellFocus& focus) { focusChanged(focus); });
    connect(&shell, &GnomeShell::titleChanged, this, [this](const QString& title) {
        if (m_focus.present) {
            m_focus.title = title;
        }
    });
    // What was in front before the extension went is unknown now.
    connect(&shell, &GnomeShell::stateChanged, this, [this](GnomeShell::State state) {
        if (state != GnomeShell::State::registered) {
            m_focus = {};
            m_lastPid.reset();
        }
    });
}

RunningApplication GnomeWorkspace::describe(const ShellFocus& focus) {
    RunningApplication app;
    app.processIdentifier = static_cast<std::int32_t>(focus.pid);
    if (!focus.name.isEmpty()) {
        app.localizedName = focus.name;
    }
    if (!focus.appId.isEmpty()) {
        app.bundleIdentifier = focus.appId;
    }
    return app;
}

std::optional<RunningApplication> GnomeWorkspace::frontmostApplication() {
    if (!m_focus.present) {
        return std::nullopt;
    }
    return describe(m_focus);
}

std::optional<QString> GnomeWorkspace::focusedWindowTitle(std::int32_t processIdentifier) {
    if (!m_focus.present || static_cast<std::int32_t>(m_focus.pid) != processIdentifier) {
        return std::nullopt;
    }
    return m_focus.title;
}

Workspace::ObserverToken GnomeWorkspace::addActivationObserver(ActivationHandler handler) {
    return m_observers.add(std::move(handler));
}

void GnomeWorkspace::removeActivationObserver(ObserverToken token) {
    m_observers.remove(token);
}

void GnomeWorkspace::focusChanged(const ShellFocus& focus) {
    m_focus = focus;
    if (!focus.present || m_lastPid == focus.pid) {
        return;
    }
    m_lastPid = focus.pid;
    const RunningApplication app = describe(focus);
    m_observers.notify(app);
}

} // namespace aimset
