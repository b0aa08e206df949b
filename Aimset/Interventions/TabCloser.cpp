#include "TabCloser.h"

#include "Platform/KeyEventPoster.h"
#include "Platform/KeyNames.h"
#include "Runtime/Log.h"

namespace aimset {

void TabCloser::closeCurrentTab() {
    const KeyNames& names = KeyNames::desktop();
    const auto source = m_poster.createSource();
    if (!source) {
        Log(QStringLiteral("[TabCloser] Failed to reach ") + names.keySynthesis);
        return;
    }
    // Both events must exist before either is posted: a lone key-down would
    // leave W held in the user's application.
    auto keyDown = m_poster.createKeyboardEvent(*source, KeyEventPoster::keyCodeW, true);
    auto keyUp =
        keyDown ? m_poster.createKeyboardEvent(*source, KeyEventPoster::keyCodeW, false) : nullptr;
    if (!keyDown || !keyUp) {
        Log(QStringLiteral("[TabCloser] Failed to create the ") + names.closeTabChord +
            QStringLiteral(" key events"));
        return;
    }
    // The chord's modifier alone: modifiers the user happens to hold are not added.
    m_poster.setFlags(*keyDown, KeyEventPoster::commandFlag);
    m_poster.setFlags(*keyUp, KeyEventPoster::commandFlag);
    m_poster.post(*keyDown);
    m_poster.post(*keyUp);
    Log(QStringLiteral("[TabCloser] Sent ") + names.closeTabChord + QStringLiteral(" via ") +
        names.keySynthesis);
}

} // namespace aimset
