#pragma once

#include "Platform/KeyEventPoster.h"

#include <QStringList>

#include <vector>

namespace aimset {

// Records every call, as lines such as "createSource",
// "createKeyboardEvent 13 down", "setFlags 13 down 0x100000",
// "post 13 down", "release 13 down" and "release source". The test can make
// the source or either event fail to be created.
class FakeKeyEventPoster final : public KeyEventPoster {
public:
    struct PostedEvent {
        std::uint16_t keyCode = 0;
        bool keyDown = false;
        std::uint64_t flags = 0;
    };

    std::unique_ptr<Source> createSource() override;
    std::unique_ptr<Event> createKeyboardEvent(Source& source, std::uint16_t keyCode,
                                               bool keyDown) override;
    void setFlags(Event& event, std::uint64_t flags) override;
    void post(Event& event) override;

    bool failSource = false;
    bool failKeyDown = false;
    bool failKeyUp = false;
    // Starting flags of every event made, as if the user held modifiers.
    std::uint64_t heldFlags = 0;

    std::vector<PostedEvent> posted;
    // Sources and events created and not yet released.
    int liveObjects = 0;
    QStringList calls;
};

} // namespace aimset
