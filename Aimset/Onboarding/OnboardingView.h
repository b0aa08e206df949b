#pragma once

#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

namespace aimset {

class Accessibility;

// The first-run pages: three self-playing demonstrations and the request for
// accessibility access. Every timed step runs here on the main loop; the QML
// page only animates what these fields say. The pages go strictly 0, 1, 2, 3;
// the onboarding ends only through onComplete, called exactly once.
class OnboardingView : public QObject {
    Q_OBJECT
    Q_PROPERTY(int currentPage READ currentPage NOTIFY currentPageChanged)
    // Page 0: the drifting browser and the warning that counts it down.
    Q_PROPERTY(bool showHeadline READ showHeadline NOTIFY showHeadlineChanged)
    Q_PROPERTY(bool showBrowserFrame READ showBrowserFrame NOTIFY showBrowserFrameChanged)
    Q_PROPERTY(bool showIntervention READ showIntervention NOTIFY showInterventionChanged)
    Q_PROPERTY(bool showButton READ showButton NOTIFY showButtonChanged)
    Q_PROPERTY(int countdownValue READ countdownValue NOTIFY countdownValueChanged)
    // Page 1: the three outcomes.
    Q_PROPERTY(int stagesPhase READ stagesPhase NOTIFY stagesPhaseChanged)
    Q_PROPERTY(bool isStagesActive READ isStagesActive NOTIFY isStagesActiveChanged)
    Q_PROPERTY(double stagesGhostOpacity READ stagesGhostOpacity NOTIFY stagesGhostOpacityChanged)
    Q_PROPERTY(double stagesGhostFloat READ stagesGhostFloat NOTIFY stagesGhostFloatChanged)
    Q_PROPERTY(
        int stagesCountdownValue READ stagesCountdownValue NOTIFY stagesCountdownValueChanged)
    Q_PROPERTY(
        bool showStagesQuestionUI READ showStagesQuestionUI NOTIFY showStagesQuestionUIChanged)
    Q_PROPERTY(bool showStagesNudgeUI READ showStagesNudgeUI NOTIFY showStagesNudgeUIChanged)
    Q_PROPERTY(bool showStagesClosing READ showStagesClosing NOTIFY showStagesClosingChanged)
    Q_PROPERTY(bool showStagesButton READ showStagesButton NOTIFY showStagesButtonChanged)
    // Page 2: the spoken aimset.
    Q_PROPERTY(bool showVoiceHeadline READ showVoiceHeadline NOTIFY showVoiceHeadlineChanged)
    Q_PROPERTY(bool showKeyboardHint READ showKeyboardHint NOTIFY showKeyboardHintChanged)
    Q_PROPERTY(bool optionKeyPressed READ optionKeyPressed NOTIFY optionKeyPressedChanged)
    Q_PROPERTY(bool mKeyPressed READ mKeyPressed NOTIFY mKeyPressedChanged)
    Q_PROPERTY(bool showVoicePanel READ showVoicePanel NOTIFY showVoicePanelChanged)
    Q_PROPERTY(QString voiceTranscript READ voiceTranscript NOTIFY voiceTranscriptChanged)
    Q_PROPERTY(bool showVoiceButton READ showVoiceButton NOTIFY showVoiceButtonChanged)
    // Page 3: accessibility access.
    Q_PROPERTY(bool permissionGranted READ permissionGranted NOTIFY permissionGrantedChanged)
    Q_PROPERTY(
        QString permissionButtonTitle READ permissionButtonTitle NOTIFY permissionGrantedChanged)
    Q_PROPERTY(QString privacyNote READ privacyNote CONSTANT)
    Q_PROPERTY(QString accessibilityNote READ accessibilityNote CONSTANT)
    Q_PROPERTY(bool canContinueWithTitlesOnly READ canContinueWithTitlesOnly NOTIFY
                   canContinueWithTitlesOnlyChanged)

public:
    static constexpr int pageCount = 4;

    // Page 0.
    static constexpr MainLoop::Duration headlineDelay{200};
    static constexpr MainLoop::Duration browserFrameDelay{600};
    static constexpr MainLoop::Duration interventionDelay{1400};
    static constexpr MainLoop::Duration countdownStartDelay{1700};
    static constexpr MainLoop::Duration countdownInterval{600};
    static constexpr int countdownStart = 7;
    // Page 1.
    static constexpr MainLoop::Duration stagesPhase1Delay{2500};
    static constexpr MainLoop::Duration stagesPhase2Delay{5500};
    static constexpr MainLoop::Duration stagesQuestionDelay{6100};
    static constexpr MainLoop::Duration stagesPhase3Delay{9600};
    static constexpr MainLoop::Duration stagesNudgeDelay{10200};
    static constexpr MainLoop::Duration stagesCountdownStartDelay{10500};
    static constexpr MainLoop::Duration stagesCountdownInterval{300};
    static constexpr MainLoop::Duration stagesButtonAfterClosing{2000};
    static constexpr int stagesCountdownStart = 15;
    static constexpr MainLoop::Duration ghostRiseHold{1600};
    static constexpr MainLoop::Duration ghostFallHold{1800};
    static constexpr double ghostPeakOpacity = 0.15;
    static constexpr double ghostPeakFloat = -6;
    // Page 2.
    static constexpr MainLoop::Duration voiceHeadlineDelay{200};
    static constexpr MainLoop::Duration keyboardHintDelay{600};
    static constexpr MainLoop::Duration optionPressDelay{1200};
    static constexpr MainLoop::Duration mPressDelay{1350};
    static constexpr MainLoop::Duration voicePanelDelay{1650};
    static constexpr MainLoop::Duration typingStartDelay{2050};
    static constexpr MainLoop::Duration typingInterval{45};
    static constexpr MainLoop::Duration mReleaseAfterTyping{500};
    static constexpr MainLoop::Duration optionReleaseAfterM{100};
    static constexpr MainLoop::Duration panelHideAfterOption{200};
    static constexpr MainLoop::Duration voiceButtonAfterPanel{400};
    static inline const QString spokenAimset = QStringLiteral("I'm planning my trip to Tokyo now");
    // Page 3.
    static constexpr MainLoop::Duration permissionPollInterval{1000};
    static constexpr int maximumPermissionPolls = 120;
    static constexpr MainLoop::Duration doneShownFor{300};

    OnboardingView(MainLoop& loop, Accessibility& accessibility, QObject* parent = nullptr);
    ~OnboardingView() override;

    // Called once, when the accessibility step finishes.
    std::function<void()> onComplete;

    int currentPage() const { return m_currentPage; }
    bool showHeadline() const { return m_showHeadline; }
    bool showBrowserFrame() const { return m_showBrowserFrame; }
    bool showIntervention() const { return m_showIntervention; }
    bool showButton() const { return m_showButton; }
    int countdownValue() const { return m_countdownValue; }
    int stagesPhase() const { return m_stagesPhase; }
    bool isStagesActive() const { return m_isStagesActive; }
    double stagesGhostOpacity() const { return m_stagesGhostOpacity; }
    double stagesGhostFloat() const { return m_stagesGhostFloat; }
    int stagesCountdownValue() const { return m_stagesCountdownValue; }
    bool showStagesQuestionUI() const { return m_showStagesQuestionUI; }
    bool showStagesNudgeUI() const { return m_showStagesNudgeUI; }
    bool showStagesClosing() const { return m_showStagesClosing; }
    bool showStagesButton() const { return m_showStagesButton; }
    bool showVoiceHeadline() const { return m_showVoiceHeadline; }
    bool showKeyboardHint() const { return m_showKeyboardHint; }
    bool optionKeyPressed() const { return m_optionKeyPressed; }
    bool mKeyPressed() const { return m_mKeyPressed; }
    bool showVoicePanel() const { return m_showVoicePanel; }
    QString voiceTranscript() const { return m_voiceTranscript; }
    bool showVoiceButton() const { return m_showVoiceButton; }
    bool permissionGranted() const { return m_permissionGranted; }
    QString permissionButtonTitle() const;
    // What the app reads and watches, and where it goes, in one sentence.
    static QString privacyNote();
    // What "Enable Aimset" switches on here and what else it takes; empty
    // where the desktop's own prompt says it all.
    static QString accessibilityNote();
    // Access was asked for and is still off: the desktop could not switch it
    // on, and the user may go on with window titles alone.
    bool canContinueWithTitlesOnly() const { return m_canContinueWithTitlesOnly; }

    bool isShown() const { return m_isShown; }
    bool isPollingPermission() const { return static_cast<bool>(m_permissionPollTimer); }
    int permissionPollCount() const { return m_permissionPollCount; }
    bool hasCompleted() const { return m_hasCompleted; }

    // The onboarding came on screen: the current page's sequence plays from
    // its beginning. Nothing happens while it is already shown.
    Q_INVOKABLE void appear();
    // It left the screen: the current page stops where it is.
    Q_INVOKABLE void disappear();
    // "Next" on pages 0 to 2. Until the page's sequence has finished there is
    // no button, so an early call does nothing.
    Q_INVOKABLE void next();
    // Page 3's button, "Enable Aimset" or "Done".
    Q_INVOKABLE void enableAccessibility();
    // Finishes without window text; offered only once access could not be switched on.
    Q_INVOKABLE void continueWithTitlesOnly();

signals:
    void currentPageChanged();
    void showHeadlineChanged();
    void showBrowserFrameChanged();
    void showInterventionChanged();
    void showButtonChanged();
    void countdownValueChanged();
    void stagesPhaseChanged();
    void isStagesActiveChanged();
    void stagesGhostOpacityChanged();
    void stagesGhostFloatChanged();
    void stagesCountdownValueChanged();
    void showStagesQuestionUIChanged();
    void showStagesNudgeUIChanged();
    void showStagesClosingChanged();
    void showStagesButtonChanged();
    void showVoiceHeadlineChanged();
    void showKeyboardHintChanged();
    void optionKeyPressedChanged();
    void mKeyPressedChanged();
    void showVoicePanelChanged();
    void voiceTranscriptChanged();
    void showVoiceButtonChanged();
    void permissionGrantedChanged();
    void canContinueWithTitlesOnlyChanged();

private:
    void setCurrentPage(int page);
    void setShowHeadline(bool value);
    void setShowBrowserFrame(bool value);
    void setShowIntervention(bool value);
    void setShowButton(bool value);
    void setCountdownValue(int value);
    void setStagesPhase(int value);
    void setIsStagesActive(bool value);
    void setStagesGhost(double opacity, double offset);
    void setStagesCountdownValue(int value);
    void setShowStagesQuestionUI(bool value);
    void setShowStagesNudgeUI(bool value);
    void setShowStagesClosing(bool value);
    void setShowStagesButton(bool value);
    void setShowVoiceHeadline(bool value);
    void setShowKeyboardHint(bool value);
    void setOptionKeyPressed(bool value);
    void setMKeyPressed(bool value);
    void setShowVoicePanel(bool value);
    void setVoiceTranscript(const QString& value);
    void setShowVoiceButton(bool value);
    void setPermissionGranted(bool value);
    void setCanContinueWithTitlesOnly(bool value);

    // Whether the sequence of this page is the one running.
    bool isPageActive(int page) const;
    // Runs step after delay, unless by then its page has stopped.
    void schedulePageStep(int page, MainLoop::Duration delay, std::function<void()> step);
    void startPage(int page);
    void stopPage(int page);

    void resetPage0();
    void startPage0();
    void countdownTick();
    void resetPage1();
    void startPage1();
    void ghostRise();
    void ghostFall();
    void stagesCountdownTick();
    void resetPage2();
    void startPage2();

    void startPermissionPolling();
    void permissionPollTick();
    void finish();

    MainLoop& m_loop;
    Accessibility& m_accessibility;

    bool m_isShown = false;
    int m_currentPage = 0;
    // The page whose sequence runs, -1 for none.
    int m_activePage = -1;
    // The pending steps of that sequence; dropped when it stops.
    std::vector<TimerHandle> m_pageSteps;

    bool m_showHeadline = false;
    bool m_showBrowserFrame = false;
    bool m_showIntervention = false;
    bool m_showButton = false;
    int m_countdownValue = countdownStart;
    TimerHandle m_countdownTimer;

    int m_stagesPhase = 0;
    bool m_isStagesActive = false;
    double m_stagesGhostOpacity = 0;
    double m_stagesGhostFloat = 0;
    int m_stagesCountdownValue = stagesCountdownStart;
    TimerHandle m_stagesCountdownTimer;
    bool m_showStagesQuestionUI = false;
    bool m_showStagesNudgeUI = false;
    bool m_showStagesClosing = false;
    bool m_showStagesButton = false;

    bool m_showVoiceHeadline = false;
    bool m_showKeyboardHint = false;
    bool m_optionKeyPressed = false;
    bool m_mKeyPressed = false;
    bool m_showVoicePanel = false;
    QString m_voiceTranscript;
    bool m_showVoiceButton = false;

    bool m_permissionGranted = false;
    bool m_canContinueWithTitlesOnly = false;
    TimerHandle m_permissionPollTimer;
    int m_permissionPollCount = 0;
    TimerHandle m_finishTimer;
    bool m_hasCompleted = false;
};

} // namespace aimset
