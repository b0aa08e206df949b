#include "TabCloser.h"

#include "Platform/FrontTabCloser.h"
#include "Platform/KeyNames.h"
#include "Runtime/Log.h"

namespace aimset {

void TabCloser::closeCurrentTab() {
    const KeyNames& names = KeyNames::desktop();
    switch (m_frontTab.closeFrontTab()) {
    case FrontTabCloser::Result::sent:
        Log(QStringLiteral("[TabCloser] Sent ") + names.closeTabChord + QStringLiteral(" via ") +
            names.keySynthesis);
        break;
    case FrontTabCloser::Result::unreachable:
        Log(QStringLiteral("[TabCloser] Failed to reach ") + names.keySynthesis);
        break;
    case FrontTabCloser::Result::noKeys:
        Log(QStringLiteral("[TabCloser] Failed to create the ") + names.closeTabChord +
            QStringLiteral(" key events"));
        break;
    }
}

} // namespace aimset
