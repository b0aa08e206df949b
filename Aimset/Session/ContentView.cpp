#include "ContentView.h"

#include "Platform/UserDefaults.h"
#include "Runtime/Log.h"
#include "Runtime/Observable.h"

namespace aimset {

ContentView::ContentView(Desktop desktop, QObject* parent)
    : QObject(parent)
    , m_loop(desktop.loop)
    , m_defaults(desktop.defaults)
    , m_runInBackground(desktop.runInBackground
                            ? std::move(desktop.runInBackground)
                            : [this](std::function<void()> work) { m_pool.start(std::move(work)); })
    , m_checker(desktop.http, desktop.accessibility, desktop.checkServiceURL,
                desktop.appLists.passwordManagerIDs)
    , m_usageStore(desktop.secrets)
    , m_appMonitor(desktop.loop, desktop.workspace, desktop.accessibility, m_checker,
                   desktop.appLists)
    , m_interventionManager(desktop.loop, desktop.panels, desktop.frontTab, m_usageStore,
                            m_runInBackground,
                            [this] { return m_appMonitor.isInterventionWindowInFront(); })
    , m_session(desktop.loop, m_interventionManager)
    , m_voiceAimsetManager(desktop.loop, desktop.speech, desktop.panels)
    , m_hotkeyManager(desktop.loop, desktop.voiceChord)
    , m_helpPages(desktop.loop)
    , m_onboarding(desktop.loop, desktop.accessibility) {
    m_hasCompletedOnboarding = m_defaults.boolForKey(onboardingKey);
    connectComponents();
}

ContentView::~ContentView() {
    // Counting tasks use the usage store: let them finish before it goes.
    m_pool.waitForDone();
}

void ContentView::connectComponents() {
    AppMonitor* monitor = &m_appMonitor;
    connect(monitor, &AppMonitor::aligned, this, [this] {
        m_interventionManager.autoDismiss();
        m_appMonitor.interventionEnded();
    });
    connect(monitor, &AppMonitor::windowChanged, this, [this] {
        m_interventionManager.autoDismiss();
        m_appMonitor.setPollInterval(false);
    });
    connect(monitor, &AppMonitor::unclear, this, [this](const QString& question) {
        m_interventionManager.showClarifyingQuestion(m_appMonitor.userAimset(), question);
        m_appMonitor.interventionShown();
    });
    connect(monitor, &AppMonitor::misaligned, this, [this](const QString& reason) {
        m_interventionManager.startMisalignedCountdown(m_appMonitor.userAimset(), reason);
        m_appMonitor.interventionShown();
    });
    connect(&m_interventionManager, &InterventionManager::dismissed, monitor,
            &AppMonitor::interventionDismissed);
    connect(&m_interventionManager, &InterventionManager::aimsetExpanded, this,
            &ContentView::expandAimset);

    connect(&m_session, &FocusSession::ended, this, &ContentView::endSession);
    connect(&m_session, &FocusSession::newAimsetSubmitted, monitor,
            &AppMonitor::setTemporaryAimset);
    connect(&m_voiceAimsetManager, &VoiceAimsetManager::transcriptionComplete, this,
            &ContentView::useTemporaryAimset);
    connect(&m_hotkeyManager, &GlobalHotkeyManager::hotkeyDown, this, [this] {
        // No recording while a question or countdown is on screen.
        if (m_interventionManager.phase() == InterventionManager::Phase::hidden) {
            m_voiceAimsetManager.startListening();
        }
    });
    connect(&m_hotkeyManager, &GlobalHotkeyManager::hotkeyUp, &m_voiceAimsetManager,
            &VoiceAimsetManager::stopListening);

    connect(&m_helpPages, &HelpPages::closed, this, [this] { setShowHelp(false); });
    connect(&m_onboarding, &OnboardingFlow::completed, this, &ContentView::completeOnboarding);
    connect(&m_launchModal, &LaunchModal::submitted, this, &ContentView::startSession);
}

// ---- the window ---------------------------------------------------------------------------------

void ContentView::setShowHelp(bool show) {
    if (assignIfChanged(this, m_showHelp, show, &ContentView::showHelpChanged)) {
        m_helpPages.setOpen(show);
    }
}

void ContentView::completeOnboarding() {
    m_defaults.setBool(onboardingKey, true);
    assignIfChanged(this, m_hasCompletedOnboarding, true,
                    &ContentView::hasCompletedOnboardingChanged);
}

void ContentView::toggleHelp() {
    setShowHelp(!m_showHelp);
}

// ---- a session's start and end --------------------------------------------------------------

void ContentView::startSession(const QString& aimset, int goalMinutes) {
    if (!assignIfChanged(this, m_showLaunchModal, false, &ContentView::showLaunchModalChanged)) {
        return;
    }
    m_appMonitor.checkAccessibilityPermission();
    m_appMonitor.startMonitoring(aimset);
    m_interventionManager.resetPauses();
    m_voiceAimsetManager.requestPermissions();
    m_hotkeyManager.startMonitoring();
    m_session.start(aimset, goalMinutes);
}

void ContentView::endSession() {
    m_hotkeyManager.stopMonitoring();
    m_appMonitor.stopMonitoring();
    m_interventionManager.autoDismiss();
    // The secret store may take its time answering: never on the main thread.
    m_runInBackground([this] {
        m_usageStore.incrementCount(UsageStore::completedSessionsKey);
        const std::int64_t count = m_usageStore.readCount(UsageStore::completedSessionsKey);
        m_loop.post(
            [count] {
                Log(QStringLiteral("[Session] Completed sessions: ") + QString::number(count));
            },
            this);
    });
}

void ContentView::startNewSession() {
    m_hotkeyManager.stopMonitoring();
    m_session.reset();
    if (assignIfChanged(this, m_showLaunchModal, true, &ContentView::showLaunchModalChanged)) {
        // Each session opens on an empty field and "No goal".
        m_launchModal.setAimsetText(QString());
        m_launchModal.setGoalIndex(0);
    }
}

// ---- changing the aimset ----------------------------------------------------------------------

void ContentView::useTemporaryAimset(const QString& aimset) {
    m_appMonitor.setTemporaryAimset(aimset);
    m_session.setAimset(aimset);
}

void ContentView::restoreOriginalAimset() {
    m_appMonitor.restoreOriginalAimset();
    m_session.setAimset(m_appMonitor.userAimset());
}

// The user said the window belongs: it is judged aligned from now on, and
// the aimset is widened by what the service says the window adds to it.
void ContentView::expandAimset(const QString& aimset) {
    // The window the question was about, not whatever the last poll saw.
    const QString appName = m_appMonitor.interventionAppName();
    const QString windowTitle = m_appMonitor.interventionWindowTitle();
    m_appMonitor.interventionEnded();
    // The request goes out from a task of its own, after the answer's
    // handling (and its log line) has finished.
    m_loop.post(
        [this, aimset, appName, windowTitle] {
            m_checker.expandAimset(
                aimset, windowTitle,
                [this, aimset, appName, windowTitle](std::optional<QString> expansion) {
                    // A page with nothing to add (a site's front page) leaves the
                    // aimset as it was rather than "(including )".
                    if (expansion && !expansion->trimmed().isEmpty()) {
                        useTemporaryAimset(aimset + QStringLiteral(" (including ") +
                                           expansion->trimmed() + QLatin1Char(')'));
                    }
                    m_appMonitor.markAligned(appName, windowTitle);
                },
                this);
        },
        this);
}

} // namespace aimset
