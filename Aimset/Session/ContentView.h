#pragma once

#include "HelpPages.h"
#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "LaunchModal.h"
#include "Monitoring/AlignmentChecker.h"
#include "Monitoring/AppMonitor.h"
#include "Onboarding/OnboardingFlow.h"
#include "Platform/PlatformAppLists.h"
#include "Runtime/MainLoop.h"
#include "Voice/GlobalHotkeyManager.h"
#include "Voice/VoiceAimsetManager.h"

#include <QObject>
#include <QPointer>
#include <QThreadPool>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

namespace aimset {

class Accessibility;
class HttpClient;
class VoiceChord;
class FrontTabCloser;
class PanelHost;
class SecretStore;
class SpeechRecognizer;
class UserDefaults;
class Workspace;

// Everything the main view needs from the desktop. The references must
// outlive the view.
struct Desktop {
    MainLoop& loop;
    Workspace& workspace;
    Accessibility& accessibility;
    HttpClient& http;
    PanelHost& panels;
    FrontTabCloser& frontTab;
    VoiceChord& voiceChord;
    SecretStore& secrets;
    UserDefaults& defaults;
    SpeechRecognizer& speech;
    PlatformAppLists appLists;
    QUrl checkServiceURL;
    // Runs slow work (the keyring) off the main thread; empty means a pool
    // of the view's own, drained before the view goes away.
    std::function<void(std::function<void()>)> runInBackground;
};

// The main window's state and the wiring of every component: which layer
// shows, the start and end of a focus session, its clock, goal, milestones
// and limit, and changing the aimset. Drawn by ContentView.qml.
class ContentView : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasCompletedOnboarding READ hasCompletedOnboarding NOTIFY
                   hasCompletedOnboardingChanged)
    Q_PROPERTY(bool showLaunchModal READ showLaunchModal NOTIFY showLaunchModalChanged)
    Q_PROPERTY(QString aimset READ aimset NOTIFY aimsetChanged)
    Q_PROPERTY(bool showHelp READ showHelp WRITE setShowHelp NOTIFY showHelpChanged)
    Q_PROPERTY(bool sessionEnded READ sessionEnded NOTIFY sessionEndedChanged)
    Q_PROPERTY(bool hasSessionStart READ hasSessionStart NOTIFY sessionStartChanged)
    Q_PROPERTY(double sessionDuration READ sessionDuration NOTIFY sessionEndedChanged)
    Q_PROPERTY(int focusGoalMinutes READ focusGoalMinutes NOTIFY focusGoalMinutesChanged)
    Q_PROPERTY(QString milestoneMessage READ milestoneMessage NOTIFY milestoneMessageChanged)
    Q_PROPERTY(QString sessionWarningMessage READ sessionWarningMessage NOTIFY
                   sessionWarningMessageChanged)
    Q_PROPERTY(bool isChangingAimset READ isChangingAimset NOTIFY isChangingAimsetChanged)
    Q_PROPERTY(
        QString newAimsetText READ newAimsetText WRITE setNewAimsetText NOTIFY newAimsetTextChanged)
    // The running-session display, refreshed when its texts change.
    Q_PROPERTY(QString focusedText READ focusedText NOTIFY displayChanged)
    Q_PROPERTY(double goalProgress READ goalProgress NOTIFY displayChanged)
    Q_PROPERTY(QString goalProgressText READ goalProgressText NOTIFY displayChanged)
    // The summary's texts.
    Q_PROPERTY(QString summaryDurationText READ summaryDurationText NOTIFY sessionEndedChanged)
    Q_PROPERTY(QString summaryGoalText READ summaryGoalText NOTIFY sessionEndedChanged)
    Q_PROPERTY(bool summaryGoalReached READ summaryGoalReached NOTIFY sessionEndedChanged)
    Q_PROPERTY(aimset::LaunchModal* launchModal READ launchModal NOTIFY launchModalChanged)
    Q_PROPERTY(aimset::AppMonitor* appMonitor READ appMonitor CONSTANT)
    Q_PROPERTY(aimset::InterventionManager* interventionManager READ interventionManager CONSTANT)
    Q_PROPERTY(aimset::VoiceAimsetManager* voiceAimsetManager READ voiceAimsetManager CONSTANT)
    Q_PROPERTY(aimset::HelpPages* helpPages READ helpPages CONSTANT)
    // The first-run pages; they complete through completeOnboarding().
    Q_PROPERTY(aimset::OnboardingFlow* onboarding READ onboarding CONSTANT)

public:
    static constexpr MainLoop::Duration sessionWarningDelay{10200 * 1000};
    static constexpr MainLoop::Duration sessionEndDelay{10800 * 1000};
    static constexpr MainLoop::Duration milestoneShownFor{3000};
    static inline const QString sessionWarningText = QStringLiteral("Session ends in 10 minutes.");
    static inline const QString onboardingKey = QStringLiteral("hasCompletedOnboarding");

    explicit ContentView(Desktop desktop, QObject* parent = nullptr);
    ~ContentView() override;

    bool hasCompletedOnboarding() const { return m_hasCompletedOnboarding; }
    bool showLaunchModal() const { return m_showLaunchModal; }
    QString aimset() const { return m_aimset; }
    bool showHelp() const { return m_showHelp; }
    void setShowHelp(bool show);
    bool sessionEnded() const { return m_sessionEnded; }
    bool hasSessionStart() const { return m_sessionStartDate.has_value(); }
    std::optional<MainLoop::Duration> sessionStartDate() const { return m_sessionStartDate; }
    double sessionDuration() const { return m_sessionDuration; }
    int focusGoalMinutes() const { return m_focusGoalMinutes; }
    int lastMilestone() const { return m_lastMilestone; }
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

    LaunchModal* launchModal() const { return m_launchModal; }
    AppMonitor* appMonitor() { return &m_appMonitor; }
    InterventionManager* interventionManager() { return &m_interventionManager; }
    VoiceAimsetManager* voiceAimsetManager() { return &m_voiceAimsetManager; }
    // The help card; it opens at its first page whenever showHelp turns true.
    HelpPages* helpPages() { return &m_helpPages; }
    OnboardingFlow* onboarding() { return &m_onboarding; }
    GlobalHotkeyManager& hotkeyManager() { return m_hotkeyManager; }
    AlignmentChecker& checker() { return m_checker; }
    UsageStore& usageStore() { return m_usageStore; }
    bool hasSessionTimers() const { return m_sessionWarningTimer || m_sessionEndTimer; }

    // The onboarding's completion action.
    Q_INVOKABLE void completeOnboarding();
    // The "?" button.
    Q_INVOKABLE void toggleHelp();

    // Seconds of the running session without the time interventions were on screen.
    double focusedSeconds() const;
    Q_INVOKABLE void endSession();
    Q_INVOKABLE void startNewSession();
    Q_INVOKABLE void beginChangeAimset();
    Q_INVOKABLE void submitNewAimset();
    Q_INVOKABLE void cancelChangeAimset();
    Q_INVOKABLE void restoreOriginalAimset();

signals:
    void hasCompletedOnboardingChanged();
    void showLaunchModalChanged();
    void aimsetChanged();
    void showHelpChanged();
    void sessionEndedChanged();
    void sessionStartChanged();
    void focusGoalMinutesChanged();
    void milestoneMessageChanged();
    void sessionWarningMessageChanged();
    void isChangingAimsetChanged();
    void newAimsetTextChanged();
    void displayChanged();
    void launchModalChanged();

private:
    void setShowLaunchModal(bool show);
    void setAimset(const QString& aimset);
    void setSessionEnded(bool ended);
    void setFocusGoalMinutes(int minutes);
    void setMilestoneMessage(const QString& message);
    void setSessionWarningMessage(const QString& message);
    void setIsChangingAimset(bool changing);
    void setSessionStartDate(std::optional<MainLoop::Duration> start);
    void makeLaunchModal();

    void startSession();
    void wireCallbacks();
    void setUpVoice();
    void expandAimset(const QString& aimset, const QString& appName, const QString& windowTitle);
    void scheduleSessionTimers();
    void invalidateSessionTimers();
    void catchUpSessionTimers();
    void showMilestone(int milestone);
    void startDisplay();
    void scheduleDisplayRefresh();
    void refreshDisplay(bool first);
    void runInBackground(std::function<void()> work);

    MainLoop& m_loop;
    UserDefaults& m_defaults;
    std::function<void(std::function<void()>)> m_runInBackground;
    QThreadPool m_pool;

    AlignmentChecker m_checker;
    TabCloser m_tabCloser;
    UsageStore m_usageStore;
    AppMonitor m_appMonitor;
    InterventionManager m_interventionManager;
    VoiceAimsetManager m_voiceAimsetManager;
    GlobalHotkeyManager m_hotkeyManager;
    HelpPages m_helpPages;
    OnboardingFlow m_onboarding;

    bool m_hasCompletedOnboarding = false;
    bool m_showLaunchModal = true;
    QString m_aimset;
    bool m_showHelp = false;
    QPointer<LaunchModal> m_launchModal;

    std::optional<MainLoop::Duration> m_sessionStartDate;
    bool m_sessionEnded = false;
    double m_sessionDuration = 0;
    int m_focusGoalMinutes = 0;
    int m_lastMilestone = 0;
    QString m_milestoneMessage;
    QString m_sessionWarningMessage;
    TimerHandle m_sessionWarningTimer;
    TimerHandle m_sessionEndTimer;

    TimerHandle m_displayTimer;
    int m_displayedMilestone = 0;
    QString m_focusedText;
    double m_goalProgress = 0;
    QString m_goalProgressText;

    bool m_isChangingAimset = false;
    QString m_newAimsetText;
};

} // namespace aimset
