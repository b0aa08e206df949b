#pragma once

#include "Platform/PanelHost.h"
#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

namespace aimset {

class FrontTabCloser;
class UsageStore;

// Everything the user sees when the current activity may not fit the aimset:
// a clarifying question with a 30-second timeout, or a 15-second countdown
// that closes the tab, each on a floating panel that takes clicks without
// taking the front position from the user's application. Keeps the pause
// bookkeeping of the session clock (time with an intervention on screen is
// not focused time) and counts every intervention. Lives on the main thread.
class InterventionManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(QString currentAimset READ currentAimset NOTIFY currentAimsetChanged)
    Q_PROPERTY(QString clarifyingQuestion READ clarifyingQuestion NOTIFY clarifyingQuestionChanged)
    // Whole seconds, at most 30: QML's int.
    Q_PROPERTY(int countdownRemaining READ countdownRemaining NOTIFY countdownRemainingChanged)
    Q_PROPERTY(int clarifyTimeoutRemaining READ clarifyTimeoutRemaining NOTIFY
                   clarifyTimeoutRemainingChanged)

public:
    enum class Phase { hidden, clarifyingQuestion, misalignedCountdown };
    Q_ENUM(Phase)

    static constexpr std::int64_t countdownSeconds = 15;
    static constexpr std::int64_t clarifyTimeoutSeconds = 30;
    static constexpr MainLoop::Duration tickInterval{1000};
    static constexpr QSize questionPanelSize{420, 250};
    static constexpr QSize countdownPanelSize{420, 280};

    // Runs a task off the main thread.
    using BackgroundRunner = std::function<void(std::function<void()>)>;

    // Asked right before a tab is closed: is the window the intervention is
    // about still in front? Unset means yes.
    using TargetCheck = std::function<bool()>;

    // The loop, the host, the tab closer and the usage store must outlive the
    // manager and any counting task it started.
    InterventionManager(MainLoop& loop, PanelHost& panelHost, FrontTabCloser& frontTab,
                        UsageStore& usageStore, BackgroundRunner runInBackground,
                        TargetCheck isTargetInFront = {}, QObject* parent = nullptr);

    // Observable state; every assignment notifies, equal values included.
    Phase phase() const { return m_phase; }
    QString currentAimset() const { return m_currentAimset; }
    QString clarifyingQuestion() const { return m_clarifyingQuestion; }
    qint64 countdownRemaining() const { return m_countdownRemaining; }
    qint64 clarifyTimeoutRemaining() const { return m_clarifyTimeoutRemaining; }

    void showClarifyingQuestion(const QString& aimset, const QString& question);
    void startMisalignedCountdown(const QString& aimset, const QString& reason);
    Q_INVOKABLE void userSaidYes();
    Q_INVOKABLE void userSaidNo();
    // Takes a shown intervention away without closing anything.
    void autoDismiss();

    // Closed pauses plus the open one so far.
    double pausedSeconds() const;
    // True exactly while an intervention holds the session clock still.
    bool isPaused() const { return m_pauseStart.has_value(); }
    // A new session starts with no time paused.
    void resetPauses();

signals:
    // The intervention ended in a "no" (the user's or the clock's).
    void dismissed();
    // The user said the window belongs to the aimset.
    void aimsetExpanded(const QString& aimset);

    void phaseChanged();
    void currentAimsetChanged();
    void clarifyingQuestionChanged();
    void countdownRemainingChanged();
    void clarifyTimeoutRemainingChanged();

private:
    // Pauses the session clock, shows the phase's panel in the middle of the
    // screen and starts its one-second ticker.
    void enter(Phase phase, const QString& view, QSize size);
    void tickDown(std::uint64_t generation);
    // Sends the close-tab chord to the front window and logs what the desktop did.
    void closeFrontTab();
    void closeTabAndDismiss(const QString& event, const QString& closing);
    // Ends a phase in the order every way out shares: ticker, pause, phase,
    // panel.
    void leavePhase();
    // The reason of a countdown may quote the window, so its line is a
    // debug line; the question is the one the user is asked.
    void countIntervention(const QString& logPrefix, const QString& text, bool quotesWindow);
    double secondsSince(MainLoop::Duration start) const;

    MainLoop& m_loop;
    PanelHost& m_panelHost;
    FrontTabCloser& m_frontTab;
    UsageStore& m_usageStore;
    BackgroundRunner m_runInBackground;
    TargetCheck m_isTargetInFront;

    Phase m_phase = Phase::hidden;
    QString m_currentAimset;
    QString m_clarifyingQuestion;
    std::int64_t m_countdownRemaining = countdownSeconds;
    std::int64_t m_clarifyTimeoutRemaining = clarifyTimeoutSeconds;

    std::unique_ptr<FloatingPanel> m_panel;
    // Counts down the phase on screen; only one shows at a time.
    TimerHandle m_ticker;
    // Tells a queued tick of a stopped ticker from one of the running ticker.
    std::uint64_t m_tickerGeneration = 0;
    double m_accumulatedPausedSeconds = 0;
    std::optional<MainLoop::Duration> m_pauseStart;
};

} // namespace aimset
