#include "GnomeVoiceChord.h"

namespace aimset {

GnomeVoiceChord::GnomeVoiceChord(GnomeShell& shell)
    : m_available(shell.hasBus()) {
    connect(&shell, &GnomeShell::chordPressed, this, [this] { change(true); });
    connect(&shell, &GnomeShell::chordReleased, this, [this] { change(false); });
    connect(&shell, &GnomeShell::stateChanged, this, [this](GnomeShell::State state) {
        if (state != GnomeShell::State::registered) {
            change(false);
        }
    });
}

bool GnomeVoiceChord::watch(std::function<void()> down, std::function<void()> up) {
    m_onDown = std::move(down);
    m_onUp = std::move(up);
    m_down = false;
    return m_available;
}

void GnomeVoiceChord::unwatch() {
    m_onDown = nullptr;
    m_onUp = nullptr;
    m_down = false;
}

void GnomeVoiceChord::change(bool down) {
    if (down == m_down) {
        return;
    }
    m_down = down;
    const auto& handler = down ? m_onDown : m_onUp;
    if (handler) {
        handler();
    }
}

} // namespace aimset
