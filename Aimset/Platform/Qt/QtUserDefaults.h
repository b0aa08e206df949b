#pragma once

#include "Platform/UserDefaults.h"

#include <QSettings>

namespace aimset {

// Flags in the application's own settings file
// ($XDG_CONFIG_HOME/Aimset/Aimset.conf). Every write is flushed at once so a
// flag survives a crash right after it.
class QtUserDefaults final : public UserDefaults {
public:
    // Only a stored true (or "true", "1") counts as true.
    bool boolForKey(const QString& key) const override;
    void setBool(const QString& key, bool value) override;

private:
    mutable QSettings m_settings{QSettings::UserScope, QStringLiteral("Aimset"),
                                 QStringLiteral("Aimset")};
};

} // namespace aimset
