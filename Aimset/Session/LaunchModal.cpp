#include "LaunchModal.h"

#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <algorithm>

namespace aimset {

namespace {
constexpr int kGoalMinutes[] = {0, 30, 60, 90, 120, 150, 180};
} // namespace

LaunchModal::LaunchModal(QString initialAimset, QObject* parent)
    : QObject(parent)
    , m_initialAimset(std::move(initialAimset)) {}

const QStringList& LaunchModal::goalLabels() {
    static const QStringList labels{QStringLiteral("No goal"), QStringLiteral("30m"),
                                    QStringLiteral("1h"),      QStringLiteral("1h 30m"),
                                    QStringLiteral("2h"),      QStringLiteral("2h 30m"),
                                    QStringLiteral("3h")};
    return labels;
}

int LaunchModal::goalMinutes(int goalIndex) {
    return kGoalMinutes[std::clamp(goalIndex, 0, static_cast<int>(std::size(kGoalMinutes)) - 1)];
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

void LaunchModal::appear() {
    if (!m_hasAppliedInitialAimset && !m_initialAimset.isEmpty()) {
        setAimsetText(m_initialAimset);
        m_hasAppliedInitialAimset = true;
    }
}

void LaunchModal::submitLaunch() {
    if (!canStart()) {
        return;
    }
    const QString aimset = m_aimsetText.trimmed();
    const int minutes = goalMinutes(m_goalIndex);
    Log(QStringLiteral("Aimset: ") + aimset + QStringLiteral(", Goal: ") +
        QString::number(minutes) + QLatin1Char('m'));
    emit submitted(aimset, minutes);
}

} // namespace aimset
