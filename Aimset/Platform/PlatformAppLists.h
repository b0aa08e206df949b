#pragma once

#include <QStringList>

namespace aimset {

// Application identifiers a desktop backend adds to the built-in lists, in
// its own naming (desktop-file ids on Linux).
struct PlatformAppLists {
    // Applications that never distract: settings, terminals, file managers...
    QStringList alwaysAllowedIDs;
    // Password managers: their windows are never read.
    QStringList passwordManagerIDs;
};

} // namespace aimset
