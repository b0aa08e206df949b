#pragma once

#include <functional>

namespace aimset {

// The voice chord (Alt+M) held anywhere on the desktop, whichever
// application is in front. Reports on the main thread, in order: down when M
// is pressed while Alt is held, up when either is let go after that.
class VoiceChord {
public:
    virtual ~VoiceChord() = default;

    // Starts reporting; false when the desktop cannot (nothing is reported then).
    virtual bool watch(std::function<void()> down, std::function<void()> up) = 0;
    // Stops reporting; a chord held now is forgotten.
    virtual void unwatch() = 0;
};

} // namespace aimset
