#pragma once

#include "Platform/UserDefaults.h"

#include <QHash>
#include <QStringList>

namespace aimset {

// Flags in memory. Records writes as "setBool hasCompletedOnboarding true".
class FakeUserDefaults final : public UserDefaults {
public:
    bool boolForKey(const QString& key) const override { return values.value(key, false); }
    void setBool(const QString& key, bool value) override {
        values.insert(key, value);
        calls << QStringLiteral("setBool ") + key +
                     (value ? QStringLiteral(" true") : QStringLiteral(" false"));
    }

    QHash<QString, bool> values;
    QStringList calls;
};

} // namespace aimset
