#pragma once

#include "GnomeShell.h"
#include "Platform/DesktopExtension.h"

#include <QObject>
#include <QStringList>

#include <chrono>

namespace aimset {

// Aimset's GNOME Shell extension as something to switch on: installed when
// its folder is in one of the data folders the shell searches; switched on
// with GNOME's own gnome-extensions tool. Under Wayland the shell reads the
// extensions installed since login only at the next login, so one switched
// on that does not come up soon after is waiting for it.
class GnomeShellExtension final : public QObject, public DesktopExtension {
public:
    struct Options {
        // Where the shell looks for extensions: <folder>/gnome-shell/extensions.
        QStringList dataFolders;
        QString tool = QStringLiteral("gnome-extensions");
        std::chrono::milliseconds startWait{5000};
    };
    GnomeShellExtension(GnomeShell& shell, Options options);

    State state() override;
    void enable(std::function<void(State)> done) override;

private:
    bool isInstalled() const;
    void waitForStart(std::function<void(State)> done);
    void askShellWhy(std::function<void(State)> done);

    GnomeShell& m_shell;
    Options m_options;
    std::optional<State> m_afterEnable;
};

} // namespace aimset
