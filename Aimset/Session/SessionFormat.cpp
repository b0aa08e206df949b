#include "SessionFormat.h"

namespace aimset {

QString formatDuration(int seconds) {
    if (seconds < 60) {
        return QStringLiteral("< 1m");
    }
    const int hours = seconds / 3600;
    const int minutes = (seconds % 3600) / 60;
    if (seconds < 3600) {
        return QString::number(minutes) + QLatin1Char('m');
    }
    return QString::number(hours) + QStringLiteral("h ") + QString::number(minutes) +
           QLatin1Char('m');
}

QString formatGoal(int minutes) {
    if (minutes < 60) {
        return QString::number(minutes) + QLatin1Char('m');
    }
    if (minutes % 60 == 0) {
        return QString::number(minutes / 60) + QLatin1Char('h');
    }
    return QString::number(minutes / 60) + QStringLiteral("h ") + QString::number(minutes % 60) +
           QLatin1Char('m');
}

int milestoneFor(double focusedSeconds, int goalMinutes) {
    if (goalMinutes < 1) {
        return 0;
    }
    // Truncated, as the progress is shown in whole percent.
    const auto percent = static_cast<long long>(focusedSeconds / (goalMinutes * 60.0) * 100.0);
    for (const int milestone : {100, 75, 50, 25}) {
        if (percent >= milestone) {
            return milestone;
        }
    }
    return 0;
}

QString milestoneMessageFor(int milestone) {
    switch (milestone) {
    case 25:
        return QStringLiteral("Great start. Keep going.");
    case 50:
        return QStringLiteral("Halfway there.");
    case 75:
        return QStringLiteral("Almost there. Don't stop now.");
    case 100:
        return QStringLiteral("Goal reached! Keep going or end session.");
    default:
        return {};
    }
}

} // namespace aimset
