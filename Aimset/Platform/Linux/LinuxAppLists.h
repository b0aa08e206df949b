#pragma once

#include "Platform/PlatformAppLists.h"

namespace aimset {

// Aimset's own identifier on Linux: its desktop-file id and its window class.
inline constexpr auto kLinuxOwnAppID = "aimset";

// Linux applications that never distract, and password managers, by the
// identifiers X11Workspace reports: desktop-file ids of GNOME, KDE and other
// common desktops, and the window classes of those often run without an entry.
PlatformAppLists linuxAppLists();

} // namespace aimset
