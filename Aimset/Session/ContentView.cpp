#include "ContentView.h"

#include "Platform/UserDefaults.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"
#include "SessionFormat.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace aimset {

namespace {

double secondsBetween(MainLoop::Duration from, MainLoop::Duration to) {
    return static_cast<double>((to - from).count()) / 1000.0;
}

int wholeSeconds(double seconds) {
    // Truncated toward zero, as the clock shows completed seconds.
    return static_cast<int>(std::trunc(seconds));
}

} // namespace

ContentView::ContentView(Desktop desktop, QObject* parent)
    : QObject(parent)
    , m_loop(desktop.loop)
    , m_defaults(desktop.defaults)
    , m_runInBackground(std::move(desktop.runInBackground))
    , m_checker(desktop.http, desktop.accessibility, desktop.checkServiceURL,
                desktop.appLists.passwordManagerIDs)
    , m_tabCloser(desktop.frontTab)
    , m_usageStore(desktop.secrets)
    , m_appMonitor(desktop.loop, desktop.workspace, desktop.accessibility, m_checker,
                   desktop.appLists)
    , m_interventionManager(
          desktop.loop, desktop.panels, m_tabCloser, m_usageStore,
          [this](std::function<void()> work) { runInBackground(std::move(work)); })
    , m_voiceAimsetManager(desktop.loop, desktop.speech, desktop.panels)
    , m_hotkeyManager(desktop.loop, desktop.voiceChord)
    , m_helpPages(desktop.loop)
    , m_onboarding(desktop.loop, desktop.accessibility) {
    m_hasCompletedOnboarding = m_defaults.boolForKey(onboardingKey);
    m_helpPages.onClose = [this] { setShowHelp(false); };
    m_onboarding.onComplete = [this] { completeOnboarding(); };
    connect(&m_voiceAimsetManager, &VoiceAimsetManager::transcriptionComplete, this,
            [this](const QString& text) {
                m_appMonitor.setTemporaryAimset(text);
                setAimset(text);
            });
    makeLaunchModal();
}

ContentView::~ContentView() {
    // Counting tasks use the usage store: let them finish before it goes.
    m_pool.waitForDone();
}

void ContentView::runInBackground(std::function<void()> work) {
    if (m_runInBackground) {
        m_runInBackground(std::move(work));
    } else {
        m_pool.start(std::move(work));
    }
}

// ---- observable fields ------------------------------------------------------------------------

void ContentView::setShowLaunchModal(bool show) {
    const bool wasShown = m_showLaunchModal;
    if (!assignIfChanged(this, m_showLaunchModal, show, &ContentView::showLaunchModalChanged)) {
        return;
    }
    if (show) {
        // A fresh modal each time: an empty field and "No goal".
        makeLaunchModal();
    } else if (wasShown) {
        startSession();
    }
}

void ContentView::makeLaunchModal() {
    if (m_launchModal) {
        m_launchModal->deleteLater();
    }
    m_launchModal = new LaunchModal(QString(), this);
    m_launchModal->onSubmit = [this](const QString& aimset, int goalMinutes) {
        setAimset(aimset);
        setFocusGoalMinutes(goalMinutes);
        setShowLaunchModal(false);
    };
    emit launchModalChanged();
}

void ContentView::setAimset(const QString& aimset) {
    assignIfChanged(this, m_aimset, aimset, &ContentView::aimsetChanged);
}

void ContentView::setShowHelp(bool show) {
    if (!assignIfChanged(this, m_showHelp, show, &ContentView::showHelpChanged)) {
        return;
    }
    if (show) {
        m_helpPages.open();
    } else {
        m_helpPages.close();
    }
}

void ContentView::setSessionEnded(bool ended) {
    assignIfChanged(this, m_sessionEnded, ended, &ContentView::sessionEndedChanged);
}

void ContentView::setFocusGoalMinutes(int minutes) {
    assignIfChanged(this, m_focusGoalMinutes, minutes, &ContentView::focusGoalMinutesChanged);
}

void ContentView::setMilestoneMessage(const QString& message) {
    assignIfChanged(this, m_milestoneMessage, message, &ContentView::milestoneMessageChanged);
}

void ContentView::setSessionWarningMessage(const QString& message) {
    assignIfChanged(this, m_sessionWarningMessage, message,
                    &ContentView::sessionWarningMessageChanged);
}

void ContentView::setIsChangingAimset(bool changing) {
    assignIfChanged(this, m_isChangingAimset, changing, &ContentView::isChangingAimsetChanged);
}

void ContentView::setNewAimsetText(const QString& text) {
    assignIfChanged(this, m_newAimsetText, text, &ContentView::newAimsetTextChanged);
}

void ContentView::setSessionStartDate(std::optional<MainLoop::Duration> start) {
    m_sessionStartDate = start;
    emit sessionStartChanged();
}

// ---- the window ---------------------------------------------------------------------------------

void ContentView::completeOnboarding() {
    m_defaults.setBool(onboardingKey, true);
    assignIfChanged(this, m_hasCompletedOnboarding, true,
                    &ContentView::hasCompletedOnboardingChanged);
}

void ContentView::toggleHelp() {
    setShowHelp(!m_showHelp);
}

// ---- the start of a session -------------------------------------------------------------------

void ContentView::startSession() {
    m_appMonitor.userAimset = m_aimset;
    m_appMonitor.checkAccessibilityPermission();
    m_appMonitor.startMonitoring();
    // The session follows the wall clock: time asleep counts.
    const MainLoop::Duration now = m_loop.wallClock();
    setSessionStartDate(now);
    m_interventionManager.sessionStartDate = now;
    m_interventionManager.focusGoalSeconds = static_cast<std::int64_t>(m_focusGoalMinutes) * 60;
    m_interventionManager.accumulatedPausedSeconds = 0;
    m_interventionManager.pauseStart.reset();
    wireCallbacks();
    setUpVoice();
    scheduleSessionTimers();
    startDisplay();
}

void ContentView::wireCallbacks() {
    AppMonitor& monitor = m_appMonitor;
    InterventionManager& interventions = m_interventionManager;

    monitor.onAligned = [&monitor, &interventions] {
        interventions.autoDismiss();
        monitor.setPollInterval(false);
        monitor.interventionAppName.clear();
        monitor.interventionWindowTitle.clear();
    };
    monitor.onUnclear = [&monitor, &interventions](const QString& question, const QString&) {
        interventions.showClarifyingQuestion(monitor.userAimset, question);
        monitor.markInterventionWindow();
        monitor.setPollInterval(true);
    };
    monitor.onMisaligned = [&monitor, &interventions](const QString& reason) {
        interventions.startMisalignedCountdown(monitor.userAimset, reason);
        monitor.markInterventionWindow();
        monitor.setPollInterval(true);
    };
    monitor.onWindowChanged = [&monitor, &interventions] {
        interventions.autoDismiss();
        monitor.setPollInterval(false);
    };
    interventions.isTargetInFront = [&monitor] { return monitor.isInterventionWindowInFront(); };
    interventions.onDismiss = [&monitor] {
        monitor.setLastAlignmentResult(QString());
        monitor.lastCheckedAppName.clear();
        monitor.lastCheckedWindowTitle.clear();
        monitor.setPollInterval(false);
        monitor.interventionAppName.clear();
        monitor.interventionWindowTitle.clear();
    };
    interventions.onAimsetExpanded = [this](const QString& aimset) {
        // The window the question was about, not whatever the last poll saw.
        const QString windowTitle = m_appMonitor.interventionWindowTitle;
        const QString appName = m_appMonitor.interventionAppName;
        m_appMonitor.setPollInterval(false);
        m_appMonitor.interventionAppName.clear();
        m_appMonitor.interventionWindowTitle.clear();
        // The request goes out from a task of its own, after the answer's
        // handling (and its log line) has finished.
        m_loop.post([self = QPointer<ContentView>(this), aimset, appName, windowTitle] {
            if (self) {
                self->expandAimset(aimset, appName, windowTitle);
            }
        });
    };
}

void ContentView::expandAimset(const QString& aimset, const QString& appName,
                               const QString& windowTitle) {
    m_checker.expandAimset(aimset, windowTitle,
                           [self = QPointer<ContentView>(this), aimset, appName,
                            windowTitle](std::optional<QString> expansion) {
                               if (!self) {
                                   return;
                               }
                               if (expansion) {
                                   const QString expanded = aimset +
                                                            QStringLiteral(" (including ") +
                                                            *expansion + QLatin1Char(')');
                                   self->m_appMonitor.setTemporaryAimset(expanded);
                                   self->setAimset(expanded);
                               }
                               self->m_appMonitor.markAligned(appName, windowTitle);
                           });
}

void ContentView::setUpVoice() {
    m_voiceAimsetManager.requestPermissions();
    m_hotkeyManager.onHotkeyDown = [this] {
        // No recording while a question or countdown is on screen.
        if (m_interventionManager.phase() == InterventionManager::Phase::hidden) {
            m_voiceAimsetManager.startListening();
        }
    };
    m_hotkeyManager.onHotkeyUp = [this] { m_voiceAimsetManager.stopListening(); };
    m_hotkeyManager.startMonitoring();
}

// ---- the session clock ------------------------------------------------------------------------

void ContentView::scheduleSessionTimers() {
    const QPointer<ContentView> self(this);
    m_sessionWarningTimer = m_loop.scheduleOnce(sessionWarningDelay, [self] {
        if (self) {
            self->setSessionWarningMessage(sessionWarningText);
        }
    });
    m_sessionEndTimer = m_loop.scheduleOnce(sessionEndDelay, [self] {
        if (self) {
            self->endSession();
        }
    });
}

void ContentView::invalidateSessionTimers() {
    m_sessionWarningTimer.reset();
    m_sessionEndTimer.reset();
}

double ContentView::focusedSeconds() const {
    if (!m_sessionStartDate) {
        return 0;
    }
    return secondsBetween(*m_sessionStartDate, m_loop.wallClock()) -
           m_interventionManager.pausedSeconds();
}

void ContentView::catchUpSessionTimers() {
    // The timers run on the monotonic clock, which stops while the machine
    // sleeps; the limit is wall-clock time, so after a sleep they are due early.
    if (!m_sessionStartDate) {
        return;
    }
    const MainLoop::Duration elapsed = m_loop.wallClock() - *m_sessionStartDate;
    if (m_sessionEndTimer && elapsed >= sessionEndDelay) {
        endSession();
    } else if (m_sessionWarningTimer && elapsed >= sessionWarningDelay) {
        m_sessionWarningTimer.reset();
        setSessionWarningMessage(sessionWarningText);
    }
}

void ContentView::startDisplay() {
    refreshDisplay(true);
    scheduleDisplayRefresh();
}

// The display changes only at whole minutes of focused time, at the goal's
// milestones and at the session's warning and end, so it wakes for the next
// of those on the wall clock: at once after a sleep or a clock change. A wake
// that an intervention made early finds nothing to change and waits again.
void ContentView::scheduleDisplayRefresh() {
    const double focused = focusedSeconds();
    double next = std::max(60.0, (std::floor(focused / 60.0) + 1) * 60.0);
    if (m_focusGoalMinutes >= 1) {
        const double goalSeconds = m_focusGoalMinutes * 60.0;
        for (const int milestone : {25, 50, 75, 100}) {
            if (milestone > m_displayedMilestone) {
                next = std::min(next, goalSeconds * milestone / 100.0);
                break;
            }
        }
    }
    // While an intervention holds the time still, a second's wait is early enough.
    const MainLoop::Duration::rep shortest = m_interventionManager.pauseStart ? 1000 : 1;
    const auto delay = std::max<MainLoop::Duration::rep>(
        shortest, static_cast<MainLoop::Duration::rep>(std::ceil((next - focused) * 1000.0)));
    MainLoop::Duration deadline = m_loop.wallClock() + MainLoop::Duration(delay);
    if (m_sessionWarningTimer) {
        deadline = std::min(deadline, *m_sessionStartDate + sessionWarningDelay);
    }
    if (m_sessionEndTimer) {
        deadline = std::min(deadline, *m_sessionStartDate + sessionEndDelay);
    }
    m_displayTimer = m_loop.scheduleAtWallClock(deadline, [self = QPointer<ContentView>(this)] {
        if (self) {
            self->refreshDisplay(false);
            self->catchUpSessionTimers();
            if (self && self->m_sessionStartDate && !self->m_sessionEnded) {
                self->scheduleDisplayRefresh();
            }
        }
    });
}

void ContentView::refreshDisplay(bool first) {
    const double focused = focusedSeconds();
    const auto shown = std::tuple(m_focusedText, m_goalProgress, m_goalProgressText);
    m_focusedText = QStringLiteral("Focused for ") + formatDuration(wholeSeconds(focused));
    if (m_focusGoalMinutes >= 1) {
        const double goalSeconds = m_focusGoalMinutes * 60.0;
        m_goalProgress = std::clamp(focused / goalSeconds, 0.0, 1.0);
        m_goalProgressText = formatDuration(wholeSeconds(focused)) + QStringLiteral(" / ") +
                             formatGoal(m_focusGoalMinutes);
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
    const int previous = m_displayedMilestone;
    m_displayedMilestone = milestone;
    if (!first && milestone != previous && m_lastMilestone < milestone) {
        m_lastMilestone = milestone;
        showMilestone(milestone);
    }
}

void ContentView::showMilestone(int milestone) {
    setMilestoneMessage(milestoneMessageFor(milestone));
    // Each message clears whatever shows when its own three seconds are up.
    m_loop.postAfter(milestoneShownFor, [self = QPointer<ContentView>(this)] {
        if (self) {
            self->setMilestoneMessage(QString());
        }
    });
}

// ---- the end of a session ---------------------------------------------------------------------

void ContentView::endSession() {
    invalidateSessionTimers();
    m_hotkeyManager.stopMonitoring();
    const MainLoop::Duration end = m_loop.wallClock();
    const MainLoop::Duration start = m_sessionStartDate.value_or(end);
    m_sessionDuration = secondsBetween(start, end) - m_interventionManager.pausedSeconds();
    m_displayTimer.reset();
    setSessionEnded(true);
    emit sessionEndedChanged(); // the duration changed even if the flag was already set
    m_appMonitor.stopMonitoring();
    m_interventionManager.autoDismiss();

    UsageStore* store = &m_usageStore;
    MainLoop* loop = &m_loop;
    const QPointer<ContentView> self(this);
    // The secret store may take its time answering: never on the main thread.
    runInBackground([store, loop, self] {
        store->incrementCount(UsageStore::completedSessionsKey);
        const std::int64_t count = store->readCount(UsageStore::completedSessionsKey);
        loop->post([self, count] {
            if (self) {
                Log(QStringLiteral("[Session] Completed sessions: ") + QString::number(count));
            }
        });
    });
}

QString ContentView::summaryDurationText() const {
    return formatDuration(wholeSeconds(m_sessionDuration));
}

bool ContentView::summaryGoalReached() const {
    return m_focusGoalMinutes >= 1 && m_sessionDuration >= m_focusGoalMinutes * 60.0;
}

QString ContentView::summaryGoalText() const {
    if (m_focusGoalMinutes < 1) {
        return {};
    }
    if (summaryGoalReached()) {
        return QStringLiteral("Goal reached!");
    }
    const auto percent =
        static_cast<long long>(m_sessionDuration / (m_focusGoalMinutes * 60.0) * 100.0);
    return QString::number(percent) + QStringLiteral("% of your goal");
}

void ContentView::startNewSession() {
    m_hotkeyManager.stopMonitoring();
    setSessionEnded(false);
    m_sessionDuration = 0;
    setSessionStartDate(std::nullopt);
    setAimset(QString());
    setFocusGoalMinutes(0);
    m_lastMilestone = 0;
    m_displayedMilestone = 0;
    setMilestoneMessage(QString());
    setSessionWarningMessage(QString());
    setIsChangingAimset(false);
    setNewAimsetText(QString());
    setShowLaunchModal(true);
}

// ---- changing the aimset ----------------------------------------------------------------------

void ContentView::beginChangeAimset() {
    setIsChangingAimset(true);
    setNewAimsetText(QString());
}

void ContentView::submitNewAimset() {
    const QString text = m_newAimsetText.trimmed();
    if (text.isEmpty()) {
        return;
    }
    m_appMonitor.setTemporaryAimset(text);
    setAimset(text);
    setIsChangingAimset(false);
    setNewAimsetText(QString());
}

void ContentView::cancelChangeAimset() {
    setIsChangingAimset(false);
}

void ContentView::restoreOriginalAimset() {
    m_appMonitor.restoreOriginalAimset();
    setAimset(m_appMonitor.userAimset);
}

} // namespace aimset
