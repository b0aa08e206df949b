#include "SessionFormat.h"

#include <QHash>

#include <algorithm>

namespace aimset {

QString formatDuration(double focusedSeconds) {
    // Completed seconds, as a clock shows them.
    const int seconds = static_cast<int>(focusedSeconds);
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
    return static_cast<int>(std::clamp(percent / 25 * 25, 0LL, 100LL));
}

QString milestoneMessageFor(int milestone) {
    static const QHash<int, QString> messages{
        {25, QStringLiteral("Great start. Keep going.")},
        {50, QStringLiteral("Halfway there.")},
        {75, QStringLiteral("Almost there. Don't stop now.")},
        {100, QStringLiteral("Goal reached! Keep going or end session.")},
    };
    return messages.value(milestone);
}

} // namespace aimset
