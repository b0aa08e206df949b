#pragma once

#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>

#include <optional>

namespace aimset {

class InterventionManager;

// One focus session as the main window shows it: its aimset, its clock
// (wall-clock time without the time interventions were on screen), the
// goal's milestones, the three-hour limit, the summary, and the editor that
// changes the aimset. Lives on the main thread.
class FocusSession : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString aimset READ aimset NOTIFY aimsetChanged)
    Q_PROPERTY(bool sessionEnded READ sessionEnded NOTIFY sessionEndedChanged)
    Q_PROPERTY(bool hasSessionStart READ hasSessionStart NOTIFY sessionStartChanged)
    Q_PROPERTY(int focusGoalMinutes READ focusGoalMinutes NOTIFY focusGoalMinutesChanged)
    Q_PROPERTY(QString milestoneMessage READ milestoneMessage NOTIFY milestoneMessageChanged)
    Q_PROPERTY(QString sessionWarningMessage READ sessionWarningMessage NOTIFY
                   sessionWarningMessageChanged)
    Q_PROPERTY(bool isChangingAimset READ isChangingAimset NOTIFY isChangingAimsetChanged)
    Q_PROPERTY(
        QString newAimsetText READ newAimsetText WRITE setNewAimsetText NOTIFY newAimsetTextChanged)
    // The running session's display, refreshed when its texts change.
    Q_PROPERTY(QString focusedText READ focusedText NOTIFY displayChanged)
    Q_PROPERTY(double goalProgress READ goalProgress NOTIFY displayChanged)
    Q_PROPERTY(QString goalProgressText READ goalProgressText NOTIFY displayChanged)
    Q_PROPERTY(QString summaryDurationText READ summaryDurationText NOTIFY sessionEndedChanged)
    Q_PROPERTY(QString summaryGoalText READ summaryGoalText NOTIFY sessionEndedChanged)
    Q_PROPERTY(bool summaryGoalReached READ summaryGoalReached NOTIFY sessionEndedChanged)

public:
    static constexpr MainLoop::Duration sessionWarningDelay{10200 * 1000};
    static constexpr MainLoop::Duration sessionEndDelay{10800 * 1000};
    static constexpr MainLoop::Duration milestoneShownFor{3000};
    static inline const QString sessionWarningText = QStringLiteral("Session ends in 10 minutes.");

    // The interventions' paused time is not focused time.
    FocusSession(MainLoop& loop, const InterventionManager& interventions,
                 QObject* parent = nullptr);

    QString aimset() const { return m_aimset; }
    // The aimset shown; the session's own editor, the voice and an answered
    // question change it.
    void setAimset(const QString& aimset);
    bool sessionEnded() const { return m_sessionEnded; }
    bool hasSessionStart() const { return m_startDate.has_value(); }
    int focusGoalMinutes() const { return m_focusGoalMinutes; }
    QString milestoneMessage() const { return m_milestoneMessage; }
    QString sessionWarningMessage() const { return m_sessionWarningMessage; }
    bool isChangingAimset() const { return m_isChangingAimset; }
    QString newAimsetText() const { return m_newAimsetText; }
    void setNewAimsetText(const QString& text);
    QString focusedText() const { return m_focusedText; }
    double goalProgress() const { return m_goalProgress; }
    QString goalProgressText() const { return m_goalProgressText; }
    QString summaryDurationText() const;
    QString summaryGoalText() const;
    bool summaryGoalReached() const;

    // Starts the clock, the limit and the display.
    void start(const QString& aimset, int goalMinutes);
    Q_INVOKABLE void endSession();
    // Back to no session, for the next one.
    void reset();

    Q_INVOKABLE void beginChangeAimset();
    Q_INVOKABLE void submitNewAimset();
    Q_INVOKABLE void cancelChangeAimset();

signals:
    // The session ended, by the user or by its limit.
    void ended();
    // The user typed a new aimset for the rest of the session.
    void newAimsetSubmitted(const QString& aimset);

    void aimsetChanged();
    void sessionEndedChanged();
    void sessionStartChanged();
    void focusGoalMinutesChanged();
    void milestoneMessageChanged();
    void sessionWarningMessageChanged();
    void isChangingAimsetChanged();
    void newAimsetTextChanged();
    void displayChanged();

private:
    // Seconds of the running session without the time interventions were on screen.
    double focusedSeconds() const;
    void setMilestoneMessage(const QString& message);
    void setSessionWarningMessage(const QString& message);
    void setIsChangingAimset(bool changing);
    void catchUpSessionTimers();
    void scheduleDisplayRefresh();
    void refreshDisplay(bool first);

    MainLoop& m_loop;
    const InterventionManager& m_interventions;

    QString m_aimset;
    std::optional<MainLoop::Duration> m_startDate;
    bool m_sessionEnded = false;
    double m_duration = 0;
    int m_focusGoalMinutes = 0;
    int m_lastMilestone = 0;
    QString m_milestoneMessage;
    QString m_sessionWarningMessage;
    TimerHandle m_warningTimer;
    TimerHandle m_endTimer;

    TimerHandle m_displayTimer;
    int m_displayedMilestone = 0;
    QString m_focusedText;
    double m_goalProgress = 0;
    QString m_goalProgressText;

    bool m_isChangingAimset = false;
    QString m_newAimsetText;
};

} // namespace aimset
