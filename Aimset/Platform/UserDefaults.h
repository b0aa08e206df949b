#pragma once

#include <QString>

namespace aimset {

// The application's small persistent settings: named boolean flags.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;
    // False when the flag was never written.
    virtual bool boolForKey(const QString& key) const = 0;
    virtual void setBool(const QString& key, bool value) = 0;
};

} // namespace aimset
