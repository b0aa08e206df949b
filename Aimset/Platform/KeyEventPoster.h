#pragma once

#include <cstdint>
#include <memory>

namespace aimset {

// Synthesised keyboard events delivered to whatever application has the
// keyboard focus. Key codes and modifier flags use the product's own
// vocabulary (key code 13 is W, flag 0x100000 is Command); each backend
// translates them into its own.
class KeyEventPoster {
public:
    // Modifier flag of the Command key (the close-tab chord's modifier).
    static constexpr std::uint64_t commandFlag = 0x100000;
    // The W key.
    static constexpr std::uint16_t keyCodeW = 13;

    // What events are made from; released by destroying it.
    class Source {
    public:
        virtual ~Source() = default;
    };
    // One key-down or key-up, not yet posted; released by destroying it.
    class Event {
    public:
        virtual ~Event() = default;
    };

    virtual ~KeyEventPoster() = default;

    // A source reflecting the combined state of the login session, or null
    // when the desktop refuses one.
    virtual std::unique_ptr<Source> createSource() = 0;
    // A keyboard event of the given key, or null when it cannot be made.
    virtual std::unique_ptr<Event> createKeyboardEvent(Source& source, std::uint16_t keyCode,
                                                       bool keyDown) = 0;
    // Replaces the event's modifier flags with exactly these.
    virtual void setFlags(Event& event, std::uint64_t flags) = 0;
    // Delivers the event into the session's event stream; reports nothing.
    virtual void post(Event& event) = 0;
};

} // namespace aimset
