#pragma once

#include "Platform/DesktopExtension.h"

#include <utility>
#include <vector>

namespace aimset {

// Reports `current`; each enable() waits until the test calls answer().
class FakeDesktopExtension final : public DesktopExtension {
public:
    State state() override { return current; }
    void enable(std::function<void(State)> done) override { pending.push_back(std::move(done)); }

    void answer(State state) {
        current = state;
        for (auto& done : std::exchange(pending, {})) {
            done(state);
        }
    }

    State current = State::off;
    std::vector<std::function<void(State)>> pending;
};

} // namespace aimset
