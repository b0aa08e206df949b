#include "QtUserDefaults.h"

namespace aimset {

bool QtUserDefaults::boolForKey(const QString& key) const {
    m_settings.sync();
    const QVariant value = m_settings.value(key);
    if (value.typeId() == QMetaType::Bool) {
        return value.toBool();
    }
    // A hand-edited file may hold anything; treat only clear yeses as true.
    const QString text = value.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1");
}

void QtUserDefaults::setBool(const QString& key, bool value) {
    m_settings.setValue(key, value);
    m_settings.sync();
}

} // namespace aimset
