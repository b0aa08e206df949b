#pragma once

#include <QString>

namespace aimset {

// Where one of the app's helper programs (aimset-checkd, aimset-atspi-dump)
// is: in an installed app, the helpers' own folder (libexec/aimset beside
// bin/); in a build tree, beside the app. When neither holds it, the
// installed place, for the message that says it is missing. appDirectory
// empty: the running app's folder.
QString helperProgramPath(const QString& name, const QString& appDirectory = {});

// Whether the app in appDirectory (empty: the running one) is an installed
// one: its helpers are where the install puts them. A build tree is not.
bool isInstalledApp(const QString& appDirectory = {});

} // namespace aimset
