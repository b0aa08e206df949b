#pragma once

namespace aimset {

class FrontTabCloser;

// Closes the current tab (or window) of the frontmost application. Keeps no
// state between calls and reports only through its log lines.
class TabCloser {
public:
    explicit TabCloser(FrontTabCloser& frontTab)
        : m_frontTab(frontTab) {}

    void closeCurrentTab();

private:
    FrontTabCloser& m_frontTab;
};

} // namespace aimset
