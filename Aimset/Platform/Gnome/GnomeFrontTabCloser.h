#pragma once

#include "GnomeShell.h"
#include "Platform/FrontTabCloser.h"

namespace aimset {

// Control+W from the shell's own virtual keyboard, which lifts the modifiers
// the user holds around it (a Wayland client cannot type into another).
// Sent without waiting for the shell's answer.
class GnomeFrontTabCloser final : public FrontTabCloser {
public:
    explicit GnomeFrontTabCloser(GnomeShell& shell)
        : m_shell(shell) {}

    Result closeFrontTab() override {
        return m_shell.closeFrontTab() ? Result::sent : Result::unreachable;
    }

private:
    GnomeShell& m_shell;
};

} // namespace aimset
