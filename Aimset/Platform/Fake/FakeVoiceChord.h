#pragma once

#include "Platform/VoiceChord.h"

namespace aimset {

// A chord the test presses and releases; reaches the watcher only while one
// watches. Can refuse to watch, as a desktop without key events does.
class FakeVoiceChord final : public VoiceChord {
public:
    bool watch(std::function<void()> down, std::function<void()> up) override {
        if (refuse) {
            return false;
        }
        m_down = std::move(down);
        m_up = std::move(up);
        ++watches;
        return true;
    }
    void unwatch() override {
        m_down = nullptr;
        m_up = nullptr;
        ++unwatches;
    }
    bool watching() const { return m_down != nullptr; }

    void press() {
        if (m_down) {
            m_down();
        }
    }
    void release() {
        if (m_up) {
            m_up();
        }
    }

    bool refuse = false;
    int watches = 0;
    int unwatches = 0;

private:
    std::function<void()> m_down;
    std::function<void()> m_up;
};

} // namespace aimset
