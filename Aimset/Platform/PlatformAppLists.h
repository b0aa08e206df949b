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

// A list written as one '|'-separated string.
inline QStringList listOf(const char* items) {
    return QString::fromUtf8(items).split(QLatin1Char('|'));
}

} // namespace aimset
