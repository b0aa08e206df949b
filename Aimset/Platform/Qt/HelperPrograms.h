#pragma once

#include <QString>

namespace aimset {

// Where one of the app's helper programs (aimset-checkd, aimset-atspi-dump)
// is: in an installed app, the helpers' own folder (libexec/aimset beside
// bin/); in a build tree, beside the app. When neither holds it, the
// installed place, for the message that says it is missing.
QString helperProgramPath(const QString& name);

// Whether the running app is an installed one: its helpers are where the
// install puts them. A build tree is not.
bool isInstalledApp();

} // namespace aimset
