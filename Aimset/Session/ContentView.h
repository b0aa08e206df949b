#pragma once

#include "FocusSession.h"
#include "HelpPages.h"
#include "Interventions/InterventionManager.h"
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
#include <QThreadPool>
#include <QUrl>

#include <functional>

namespace aimset {

class Accessibility;
class HttpClient;
class VoiceChord;
class FrontTabCloser;
class SecretStore;
class UserDefaults;

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

// The main window's state (which layer shows) and the composition of every
// component: what each one's signals set going in the others. Drawn by
// ContentView.qml.
class ContentView : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool hasCompletedOnboarding READ hasCompletedOnboarding NOTIFY
                   hasCompletedOnboardingChanged)
    Q_PROPERTY(bool showLaunchModal READ showLaunchModal NOTIFY showLaunchModalChanged)
    Q_PROPERTY(bool showHelp READ showHelp NOTIFY showHelpChanged)
    Q_PROPERTY(aimset::LaunchModal* launchModal READ launchModal CONSTANT)
    Q_PROPERTY(aimset::FocusSession* session READ session CONSTANT)
    Q_PROPERTY(aimset::AppMonitor* appMonitor READ appMonitor CONSTANT)
    Q_PROPERTY(aimset::HelpPages* helpPages READ helpPages CONSTANT)
    Q_PROPERTY(aimset::OnboardingFlow* onboarding READ onboarding CONSTANT)

public:
    static inline const QString onboardingKey = QStringLiteral("hasCompletedOnboarding");

    explicit ContentView(Desktop desktop, QObject* parent = nullptr);
    ~ContentView() override;

    bool hasCompletedOnboarding() const { return m_hasCompletedOnboarding; }
    bool showLaunchModal() const { return m_showLaunchModal; }
    bool showHelp() const { return m_showHelp; }

    LaunchModal* launchModal() { return &m_launchModal; }
    FocusSession* session() { return &m_session; }
    AppMonitor* appMonitor() { return &m_appMonitor; }
    InterventionManager* interventionManager() { return &m_interventionManager; }
    // The help card; it opens at its first page whenever showHelp turns true.
    HelpPages* helpPages() { return &m_helpPages; }
    OnboardingFlow* onboarding() { return &m_onboarding; }
    AlignmentChecker& checker() { return m_checker; }

    // The "?" button.
    Q_INVOKABLE void toggleHelp();
    // The summary's button: back to the launch modal.
    Q_INVOKABLE void startNewSession();
    Q_INVOKABLE void restoreOriginalAimset();

signals:
    void hasCompletedOnboardingChanged();
    void showLaunchModalChanged();
    void showHelpChanged();

private:
    void connectComponents();
    void completeOnboarding();
    void setShowHelp(bool show);
    void startSession(const QString& aimset, int goalMinutes);
    void endSession();
    void useTemporaryAimset(const QString& aimset);
    void expandAimset(const QString& aimset);

    MainLoop& m_loop;
    UserDefaults& m_defaults;
    std::function<void(std::function<void()>)> m_runInBackground;
    QThreadPool m_pool;

    AlignmentChecker m_checker;
    UsageStore m_usageStore;
    AppMonitor m_appMonitor;
    InterventionManager m_interventionManager;
    FocusSession m_session;
    VoiceAimsetManager m_voiceAimsetManager;
    GlobalHotkeyManager m_hotkeyManager;
    HelpPages m_helpPages;
    OnboardingFlow m_onboarding;

    bool m_hasCompletedOnboarding = false;
    bool m_showLaunchModal = true;
    bool m_showHelp = false;
    LaunchModal m_launchModal;
};

} // namespace aimset
