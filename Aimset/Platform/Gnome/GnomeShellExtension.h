#pragma once

#include "GnomeShell.h"
#include "Platform/DesktopExtension.h"

#include <QObject>

#include <chrono>

namespace aimset {

// Aimset's GNOME Shell extension as something to switch on: installed when
// its folder is in one of the data folders the shell searches; switched on
// with GNOME's own gnome-extensions tool. Under Wayland the shell reads the
// extensions installed since login only at the next login, so one switched
// on that does not come up soon after is waiting for it.
class GnomeShellExtension final : public QObject, public DesktopExtension {
public:
    // startWait: how long one switched on has to come up before the shell
    // is asked why it did not.
    explicit GnomeShellExtension(GnomeShell& shell,
                                 std::chrono::milliseconds startWait = std::chrono::seconds(5));

    State state() override;
    void enable(std::function<void(State)> done) override;

private:
    bool isInstalled() const;
    void waitForStart(std::function<void(State)> done);
    void askShellWhy(std::function<void(State)> done);

    GnomeShell& m_shell;
    std::chrono::milliseconds m_startWait;
    std::optional<State> m_afterEnable;
};

} // namespace aimset
