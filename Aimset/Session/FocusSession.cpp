#include "FocusSession.h"

#include "Interventions/InterventionManager.h"
#include "Runtime/Observable.h"
#include "SessionFormat.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>

namespace aimset {

namespace {

double secondsBetween(MainLoop::Duration from, MainLoop::Duration to) {
    return static_cast<double>((to - from).count()) / 1000.0;
}

} // namespace

FocusSession::FocusSession(MainLoop& loop, const InterventionManager& interventions,
                           QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_interventions(interventions) {}

void FocusSession::setAimset(const QString& aimset) {
    assignIfChanged(this, m_aimset, aimset, &FocusSession::aimsetChanged);
}

void FocusSession::setMilestoneMessage(const QString& message) {
    assignIfChanged(this, m_milestoneMessage, message, &FocusSession::milestoneMessageChanged);
}

void FocusSession::setSessionWarningMessage(const QString& message) {
    assignIfChanged(this, m_sessionWarningMessage, message,
                    &FocusSession::sessionWarningMessageChanged);
}

void FocusSession::setIsChangingAimset(bool changing) {
    assignIfChanged(this, m_isChangingAimset, changing, &FocusSession::isChangingAimsetChanged);
}

void FocusSession::setNewAimsetText(const QString& text) {
    assignIfChanged(this, m_newAimsetText, text, &FocusSession::newAimsetTextChanged);
}

// ---- the clock and the limit --------------------------------------------------------------------

void FocusSession::start(const QString& aimset, int goalMinutes) {
    setAimset(aimset);
    assignIfChanged(this, m_focusGoalMinutes, goalMinutes, &FocusSession::focusGoalMinutesChanged);
    // The session follows the wall clock: time asleep counts.
    m_startDate = m_loop.wallClock();
    emit sessionStartChanged();
    m_warningTimer = m_loop.scheduleOnce(
        sessionWarningDelay, [this] { setSessionWarningMessage(sessionWarningText); }, this);
    m_endTimer = m_loop.scheduleOnce(
        sessionEndDelay, [this] { endSession(); }, this);
    refreshDisplay(true);
    scheduleDisplayRefresh();
}

double FocusSession::focusedSeconds() const {
    if (!m_startDate) {
        return 0;
    }
    return secondsBetween(*m_startDate, m_loop.wallClock()) - m_interventions.pausedSeconds();
}

void FocusSession::catchUpSessionTimers() {
    // The timers run on the monotonic clock, which stops while the machine
    // sleeps; the limit is wall-clock time, so after a sleep they are due early.
    if (!m_startDate) {
        return;
    }
    const MainLoop::Duration elapsed = m_loop.wallClock() - *m_startDate;
    if (m_endTimer && elapsed >= sessionEndDelay) {
        endSession();
    } else if (m_warningTimer && elapsed >= sessionWarningDelay) {
        m_warningTimer.reset();
        setSessionWarningMessage(sessionWarningText);
    }
}

// The display changes only at whole minutes of focused time, at the goal's
// milestones and at the session's warning and end, so it wakes for the next
// of those on the wall clock: at once after a sleep or a clock change. A wake
// that an intervention made early finds nothing to change and waits again.
void FocusSession::scheduleDisplayRefresh() {
    const double focused = focusedSeconds();
    double next = std::max(60.0, (std::floor(focused / 60.0) + 1) * 60.0);
    if (m_focusGoalMinutes >= 1 && m_displayedMilestone < 100) {
        // The next quarter of the goal.
        next = std::min(next, m_focusGoalMinutes * 60.0 * (m_displayedMilestone + 25) / 100.0);
    }
    // While an intervention holds the time still, a second's wait is early enough.
    const MainLoop::Duration::rep shortest = m_interventions.isPaused() ? 1000 : 1;
    const auto delay = std::max<MainLoop::Duration::rep>(
        shortest, static_cast<MainLoop::Duration::rep>(std::ceil((next - focused) * 1000.0)));
    MainLoop::Duration deadline = m_loop.wallClock() + MainLoop::Duration(delay);
    if (m_warningTimer) {
        deadline = std::min(deadline, *m_startDate + sessionWarningDelay);
    }
    if (m_endTimer) {
        deadline = std::min(deadline, *m_startDate + sessionEndDelay);
    }
    m_displayTimer = m_loop.scheduleAtWallClock(
        deadline,
        [this] {
            refreshDisplay(false);
            catchUpSessionTimers();
            if (m_startDate && !m_sessionEnded) {
                scheduleDisplayRefresh();
            }
        },
        this);
}

void FocusSession::refreshDisplay(bool first) {
    const double focused = focusedSeconds();
    const auto shown = std::tuple(m_focusedText, m_goalProgress, m_goalProgressText);
    m_focusedText = QStringLiteral("Focused for ") + formatDuration(focused);
    if (m_focusGoalMinutes >= 1) {
        const double goalSeconds = m_focusGoalMinutes * 60.0;
        m_goalProgress = std::clamp(focused / goalSeconds, 0.0, 1.0);
        m_goalProgressText =
            formatDuration(focused) + QStringLiteral(" / ") + formatGoal(m_focusGoalMinutes);
    } else {
        m_goalProgress = 0;
        m_goalProgressText.clear();
    }
    // Ticks that change nothing on screen wake no bindings.
    if (first || shown != std::tuple(m_focusedText, m_goalProgress, m_goalProgressText)) {
        emit displayChanged();
    }

    // Milestones are watched from one refresh to the next; a jump across
    // several announces only the highest.
    const int milestone = milestoneFor(focused, m_focusGoalMinutes);
    const int previous = std::exchange(m_displayedMilestone, milestone);
    if (!first && milestone != previous && m_lastMilestone < milestone) {
        m_lastMilestone = milestone;
        setMilestoneMessage(milestoneMessageFor(milestone));
        // Each message clears whatever shows when its own three seconds are up.
        m_loop.postAfter(
            milestoneShownFor, [this] { setMilestoneMessage(QString()); }, this);
    }
}

// ---- the end ------------------------------------------------------------------------------------

void FocusSession::endSession() {
    m_warningTimer.reset();
    m_endTimer.reset();
    const MainLoop::Duration end = m_loop.wallClock();
    m_duration = secondsBetween(m_startDate.value_or(end), end) - m_interventions.pausedSeconds();
    m_displayTimer.reset();
    assignIfChanged(this, m_sessionEnded, true, &FocusSession::sessionEndedChanged);
    emit sessionEndedChanged(); // the duration changed even if the flag was already set
    emit ended();
}

QString FocusSession::summaryDurationText() const {
    return formatDuration(m_duration);
}

bool FocusSession::summaryGoalReached() const {
    return m_focusGoalMinutes >= 1 && m_duration >= m_focusGoalMinutes * 60.0;
}

QString FocusSession::summaryGoalText() const {
    if (m_focusGoalMinutes < 1) {
        return {};
    }
    if (summaryGoalReached()) {
        return QStringLiteral("Goal reached!");
    }
    const auto percent = static_cast<long long>(m_duration / (m_focusGoalMinutes * 60.0) * 100.0);
    return QString::number(percent) + QStringLiteral("% of your goal");
}

void FocusSession::reset() {
    assignIfChanged(this, m_sessionEnded, false, &FocusSession::sessionEndedChanged);
    m_duration = 0;
    m_startDate.reset();
    emit sessionStartChanged();
    setAimset(QString());
    assignIfChanged(this, m_focusGoalMinutes, 0, &FocusSession::focusGoalMinutesChanged);
    m_lastMilestone = 0;
    m_displayedMilestone = 0;
    setMilestoneMessage(QString());
    setSessionWarningMessage(QString());
    setIsChangingAimset(false);
    setNewAimsetText(QString());
}

// ---- changing the aimset ------------------------------------------------------------------------

void FocusSession::beginChangeAimset() {
    setIsChangingAimset(true);
    setNewAimsetText(QString());
}

void FocusSession::submitNewAimset() {
    const QString text = m_newAimsetText.trimmed();
    if (text.isEmpty()) {
        return;
    }
    emit newAimsetSubmitted(text);
    setAimset(text);
    setIsChangingAimset(false);
    setNewAimsetText(QString());
}

void FocusSession::cancelChangeAimset() {
    setIsChangingAimset(false);
}

} // namespace aimset
