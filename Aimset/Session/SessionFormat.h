#pragma once

#include <QString>

namespace aimset {

// "< 1m", "25m", "1h 0m", "2h 15m".
QString formatDuration(double focusedSeconds);
// "30m", "1h", "1h 30m".
QString formatGoal(int minutes);
// The highest milestone (0, 25, 50, 75 or 100 percent) that focused seconds
// reach of a goal in minutes; 0 without a goal.
int milestoneFor(double focusedSeconds, int goalMinutes);
// The words for a milestone, empty for any other value.
QString milestoneMessageFor(int milestone);

} // namespace aimset
