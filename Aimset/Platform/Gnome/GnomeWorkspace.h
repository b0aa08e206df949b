#pragma once

#include "GnomeShell.h"
#include "Platform/Workspace.h"

#include <QObject>

namespace aimset {

// The window in front on GNOME, as the shell extension last reported it: the
// port's questions are answered from what the signals said, never by asking
// the shell and waiting. An activation is a focus change to another process;
// a moment without focus, or another window of the same process, is none.
class GnomeWorkspace final : public QObject, public Workspace {
public:
    explicit GnomeWorkspace(GnomeShell& shell);

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> focusedWindowTitle(std::int32_t processIdentifier) override;
    ObserverToken addActivationObserver(ActivationHandler handler) override;
    void removeActivationObserver(ObserverToken token) override;

private:
    void focusChanged(const ShellFocus& focus);
    static RunningApplication describe(const ShellFocus& focus);

    ShellFocus m_focus;
    std::optional<std::uint32_t> m_lastPid;
    ActivationObservers m_observers;
};

} // namespace aimset
