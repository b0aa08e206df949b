#pragma once

namespace aimset {

class KeyEventPoster;

// Closes the current tab (or window) of the frontmost application by
// synthesising the desktop's close-tab chord (Control-W; Command-W on a Mac). Keeps no state
// between calls and reports only through its log lines.
class TabCloser {
public:
    explicit TabCloser(KeyEventPoster& poster)
        : m_poster(poster) {}

    void closeCurrentTab();

private:
    KeyEventPoster& m_poster;
};

} // namespace aimset
