#include "TabCloser.h"

#include "Platform/KeyEventPoster.h"
#include "Runtime/Log.h"

namespace aimset {

void TabCloser::closeCurrentTab() {
    const auto source = m_poster.createSource();
    if (!source) {
        Log(QStringLiteral("[TabCloser] Failed to create CGEventSource"));
        return;
    }
    // Both events must exist before either is posted: a lone key-down would
    // leave W held in the user's application.
    auto keyDown = m_poster.createKeyboardEvent(*source, KeyEventPoster::keyCodeW, true);
    auto keyUp =
        keyDown ? m_poster.createKeyboardEvent(*source, KeyEventPoster::keyCodeW, false) : nullptr;
    if (!keyDown || !keyUp) {
        Log(QStringLiteral("[TabCloser] Failed to create CGEvent"));
        return;
    }
    // Command alone: modifiers the user happens to hold are not added.
    m_poster.setFlags(*keyDown, KeyEventPoster::commandFlag);
    m_poster.setFlags(*keyUp, KeyEventPoster::commandFlag);
    m_poster.post(*keyDown);
    m_poster.post(*keyUp);
    Log(QStringLiteral("[TabCloser] Sent Cmd+W via CGEvent"));
}

} // namespace aimset
