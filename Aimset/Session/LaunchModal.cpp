#include "LaunchModal.h"

#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <algorithm>

namespace aimset {

const QStringList& LaunchModal::goalLabels() {
    static const QStringList labels{QStringLiteral("No goal"), QStringLiteral("30m"),
                                    QStringLiteral("1h"),      QStringLiteral("1h 30m"),
                                    QStringLiteral("2h"),      QStringLiteral("2h 30m"),
                                    QStringLiteral("3h")};
    return labels;
}

void LaunchModal::setAimsetText(const QString& text) {
    assignIfChanged(this, m_aimsetText, text, &LaunchModal::aimsetTextChanged);
}

void LaunchModal::setGoalIndex(int index) {
    assignIfChanged(this, m_goalIndex, std::clamp(index, 0, goalCount() - 1),
                    &LaunchModal::goalIndexChanged);
}

bool LaunchModal::canStart() const {
    return !m_aimsetText.trimmed().isEmpty();
}

void LaunchModal::submitLaunch() {
    if (!canStart()) {
        return;
    }
    const QString aimset = m_aimsetText.trimmed();
    // The goals go by half hours.
    const int minutes = 30 * m_goalIndex;
    Log(QStringLiteral("Aimset: ") + aimset + QStringLiteral(", Goal: ") +
        QString::number(minutes) + QLatin1Char('m'));
    emit submitted(aimset, minutes);
}

} // namespace aimset
