#pragma once

namespace aimset {

class KeyEventPoster;

// Closes the current tab (or window) of the frontmost application by
// synthesising one Command-W key press. Keeps no state between calls and
// reports only through its log lines.
class TabCloser {
public:
    explicit TabCloser(KeyEventPoster& poster)
        : m_poster(poster) {}

    void closeCurrentTab();

private:
    KeyEventPoster& m_poster;
};

} // namespace aimset
