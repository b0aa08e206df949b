#pragma once

#include "GnomeShell.h"
#include "Platform/VoiceChord.h"

#include <QObject>

namespace aimset {

// Alt+M as the shell extension hears it. A chord still held when the
// extension goes comes up then, so a recording never waits for a release
// that cannot arrive.
class GnomeVoiceChord final : public QObject, public VoiceChord {
public:
    explicit GnomeVoiceChord(GnomeShell& shell);

    // False only without a session bus: an extension enabled later is heard
    // from its registration on.
    bool watch(std::function<void()> down, std::function<void()> up) override;
    void unwatch() override;

private:
    void change(bool down);

    bool m_available;
    bool m_down = false;
    std::function<void()> m_onDown;
    std::function<void()> m_onUp;
};

} // namespace aimset
