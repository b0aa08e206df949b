#include "OnboardingView.h"

#include "Platform/Accessibility.h"
#include "Platform/KeyNames.h"
#include "Runtime/Observable.h"

#include <QPointer>

namespace aimset {

OnboardingView::OnboardingView(MainLoop& loop, Accessibility& accessibility, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_accessibility(accessibility) {}

OnboardingView::~OnboardingView() = default;

QString OnboardingView::permissionButtonTitle() const {
    return m_permissionGranted ? QStringLiteral("Done") : QStringLiteral("Enable Aimset");
}

QString OnboardingView::privacyNote() {
    const KeyNames& keys = KeyNames::desktop();
    // No-break spaces keep the two keys together on one line.
    return QStringLiteral("Aimset reads window titles, and a window's visible text only when its "
                          "title is not enough; the only keys it watches are ") +
           keys.modifier + QStringLiteral("\u00a0and\u00a0") + keys.letter +
           QStringLiteral(", and with the built-in judge nothing leaves this computer.");
}

QString OnboardingView::accessibilityNote() {
#ifdef Q_OS_LINUX
    // Said before it happens: the toolkit setting is desktop-wide. Switching
    // the bus on reaches only programs started afterwards, and Chromium reads
    // its pages out only when asked to.
    return QStringLiteral("\u201CEnable Aimset\u201D switches on the desktop's accessibility bus "
                          "and, on GNOME-style desktops, the toolkit-accessibility setting.\n"
                          "Restart apps that were open before.\n"
                          "Chromium also needs --force-renderer-accessibility.");
#else
    return {};
#endif
}

// ---- observable fields ------------------------------------------------------------------------

void OnboardingView::setCurrentPage(int page) {
    assignIfChanged(this, m_currentPage, page, &OnboardingView::currentPageChanged);
}

void OnboardingView::setShowHeadline(bool value) {
    assignIfChanged(this, m_showHeadline, value, &OnboardingView::showHeadlineChanged);
}

void OnboardingView::setShowBrowserFrame(bool value) {
    assignIfChanged(this, m_showBrowserFrame, value, &OnboardingView::showBrowserFrameChanged);
}

void OnboardingView::setShowIntervention(bool value) {
    assignIfChanged(this, m_showIntervention, value, &OnboardingView::showInterventionChanged);
}

void OnboardingView::setShowButton(bool value) {
    assignIfChanged(this, m_showButton, value, &OnboardingView::showButtonChanged);
}

void OnboardingView::setCountdownValue(int value) {
    assignIfChanged(this, m_countdownValue, value, &OnboardingView::countdownValueChanged);
}

void OnboardingView::setStagesPhase(int value) {
    assignIfChanged(this, m_stagesPhase, value, &OnboardingView::stagesPhaseChanged);
}

void OnboardingView::setIsStagesActive(bool value) {
    assignIfChanged(this, m_isStagesActive, value, &OnboardingView::isStagesActiveChanged);
}

void OnboardingView::setStagesGhost(double opacity, double offset) {
    assignIfChanged(this, m_stagesGhostOpacity, opacity,
                    &OnboardingView::stagesGhostOpacityChanged);
    assignIfChanged(this, m_stagesGhostFloat, offset, &OnboardingView::stagesGhostFloatChanged);
}

void OnboardingView::setStagesCountdownValue(int value) {
    assignIfChanged(this, m_stagesCountdownValue, value,
                    &OnboardingView::stagesCountdownValueChanged);
}

void OnboardingView::setShowStagesQuestionUI(bool value) {
    assignIfChanged(this, m_showStagesQuestionUI, value,
                    &OnboardingView::showStagesQuestionUIChanged);
}

void OnboardingView::setShowStagesNudgeUI(bool value) {
    assignIfChanged(this, m_showStagesNudgeUI, value, &OnboardingView::showStagesNudgeUIChanged);
}

void OnboardingView::setShowStagesClosing(bool value) {
    assignIfChanged(this, m_showStagesClosing, value, &OnboardingView::showStagesClosingChanged);
}

void OnboardingView::setShowStagesButton(bool value) {
    assignIfChanged(this, m_showStagesButton, value, &OnboardingView::showStagesButtonChanged);
}

void OnboardingView::setShowVoiceHeadline(bool value) {
    assignIfChanged(this, m_showVoiceHeadline, value, &OnboardingView::showVoiceHeadlineChanged);
}

void OnboardingView::setShowKeyboardHint(bool value) {
    assignIfChanged(this, m_showKeyboardHint, value, &OnboardingView::showKeyboardHintChanged);
}

void OnboardingView::setOptionKeyPressed(bool value) {
    assignIfChanged(this, m_optionKeyPressed, value, &OnboardingView::optionKeyPressedChanged);
}

void OnboardingView::setMKeyPressed(bool value) {
    assignIfChanged(this, m_mKeyPressed, value, &OnboardingView::mKeyPressedChanged);
}

void OnboardingView::setShowVoicePanel(bool value) {
    assignIfChanged(this, m_showVoicePanel, value, &OnboardingView::showVoicePanelChanged);
}

void OnboardingView::setVoiceTranscript(const QString& value) {
    assignIfChanged(this, m_voiceTranscript, value, &OnboardingView::voiceTranscriptChanged);
}

void OnboardingView::setShowVoiceButton(bool value) {
    assignIfChanged(this, m_showVoiceButton, value, &OnboardingView::showVoiceButtonChanged);
}

void OnboardingView::setPermissionGranted(bool value) {
    assignIfChanged(this, m_permissionGranted, value, &OnboardingView::permissionGrantedChanged);
}

void OnboardingView::setCanContinueWithTitlesOnly(bool value) {
    assignIfChanged(this, m_canContinueWithTitlesOnly, value,
                    &OnboardingView::canContinueWithTitlesOnlyChanged);
}

// ---- showing and leaving pages ----------------------------------------------------------------

void OnboardingView::appear() {
    if (m_isShown) {
        return;
    }
    m_isShown = true;
    startPage(m_currentPage);
}

void OnboardingView::disappear() {
    if (!m_isShown) {
        return;
    }
    m_isShown = false;
    stopPage(m_currentPage);
}

void OnboardingView::next() {
    switch (m_currentPage) {
    case 0:
        if (!m_showButton) {
            return;
        }
        stopPage(0);
        setCurrentPage(1);
        resetPage1();
        break;
    case 1:
        if (!m_showStagesButton) {
            return;
        }
        stopPage(1);
        setCurrentPage(2);
        resetPage2();
        break;
    case 2:
        if (!m_showVoiceButton) {
            return;
        }
        stopPage(2);
        setCurrentPage(3);
        break;
    default:
        // Page 3 leaves only through its own button.
        return;
    }
    if (m_isShown) {
        startPage(m_currentPage);
    }
}

bool OnboardingView::isPageActive(int page) const {
    return m_activePage == page && (page != 1 || m_isStagesActive);
}

void OnboardingView::schedulePageStep(int page, MainLoop::Duration delay,
                                      std::function<void()> step) {
    m_pageSteps.push_back(
        m_loop.scheduleOnce(delay, [self = QPointer<OnboardingView>(this), page, step] {
            if (self && self->isPageActive(page)) {
                step();
            }
        }));
}

void OnboardingView::startPage(int page) {
    switch (page) {
    case 0:
        resetPage0();
        startPage0();
        break;
    case 1:
        // One run at a time.
        if (m_isStagesActive) {
            return;
        }
        resetPage1();
        startPage1();
        break;
    case 2:
        resetPage2();
        startPage2();
        break;
    default:
        // Page 3 waits for its button.
        break;
    }
}

void OnboardingView::stopPage(int page) {
    m_activePage = -1;
    m_pageSteps.clear();
    switch (page) {
    case 0:
        m_countdownTimer.reset();
        break;
    case 1:
        setIsStagesActive(false);
        m_stagesCountdownTimer.reset();
        break;
    case 3:
        m_permissionPollTimer.reset();
        break;
    default:
        break;
    }
}

// ---- page 0: the drifting browser -------------------------------------------------------------

void OnboardingView::resetPage0() {
    m_countdownTimer.reset();
    setShowHeadline(false);
    setShowBrowserFrame(false);
    setShowIntervention(false);
    setShowButton(false);
    setCountdownValue(countdownStart);
}

void OnboardingView::startPage0() {
    m_activePage = 0;
    schedulePageStep(0, headlineDelay, [this] { setShowHeadline(true); });
    schedulePageStep(0, browserFrameDelay, [this] { setShowBrowserFrame(true); });
    schedulePageStep(0, interventionDelay, [this] { setShowIntervention(true); });
    schedulePageStep(0, countdownStartDelay, [this] {
        m_countdownTimer =
            m_loop.scheduleRepeating(countdownInterval, [self = QPointer<OnboardingView>(this)] {
                if (self && self->isPageActive(0)) {
                    self->countdownTick();
                }
            });
    });
}

void OnboardingView::countdownTick() {
    // The card stops at 1: the demonstration never closes anything.
    if (m_countdownValue < 2) {
        m_countdownTimer.reset();
        setShowButton(true);
    } else {
        setCountdownValue(m_countdownValue - 1);
    }
}

// ---- page 1: the three outcomes ---------------------------------------------------------------

void OnboardingView::resetPage1() {
    setIsStagesActive(false);
    m_stagesCountdownTimer.reset();
    setStagesPhase(0);
    setStagesGhost(0, 0);
    setStagesCountdownValue(stagesCountdownStart);
    setShowStagesQuestionUI(false);
    setShowStagesNudgeUI(false);
    setShowStagesClosing(false);
    setShowStagesButton(false);
}

void OnboardingView::startPage1() {
    m_activePage = 1;
    setIsStagesActive(true);
    setStagesPhase(0);
    schedulePageStep(1, stagesPhase1Delay, [this] {
        setStagesPhase(1);
        ghostRise();
    });
    schedulePageStep(1, stagesPhase2Delay, [this] { setStagesPhase(2); });
    schedulePageStep(1, stagesQuestionDelay, [this] { setShowStagesQuestionUI(true); });
    schedulePageStep(1, stagesPhase3Delay, [this] { setStagesPhase(3); });
    schedulePageStep(1, stagesNudgeDelay, [this] { setShowStagesNudgeUI(true); });
    schedulePageStep(1, stagesCountdownStartDelay, [this] {
        m_stagesCountdownTimer = m_loop.scheduleRepeating(stagesCountdownInterval,
                                                          [self = QPointer<OnboardingView>(this)] {
                                                              if (self && self->isPageActive(1)) {
                                                                  self->stagesCountdownTick();
                                                              }
                                                          });
    });
}

// The mascot breathes while "Nothing" is on screen; each half checks first.
void OnboardingView::ghostRise() {
    if (!isPageActive(1) || m_stagesPhase != 1) {
        return;
    }
    setStagesGhost(ghostPeakOpacity, ghostPeakFloat);
    schedulePageStep(1, ghostRiseHold, [this] { ghostFall(); });
}

void OnboardingView::ghostFall() {
    if (!isPageActive(1) || m_stagesPhase != 1) {
        return;
    }
    setStagesGhost(0, 0);
    schedulePageStep(1, ghostFallHold, [this] { ghostRise(); });
}

void OnboardingView::stagesCountdownTick() {
    if (m_stagesCountdownValue < 8) {
        m_stagesCountdownTimer.reset();
        setShowStagesClosing(true);
        schedulePageStep(1, stagesButtonAfterClosing, [this] { setShowStagesButton(true); });
    } else {
        setStagesCountdownValue(m_stagesCountdownValue - 1);
    }
}

// ---- page 2: the spoken aimset ----------------------------------------------------------------

void OnboardingView::resetPage2() {
    setShowVoiceHeadline(false);
    setShowKeyboardHint(false);
    setOptionKeyPressed(false);
    setMKeyPressed(false);
    setShowVoicePanel(false);
    setVoiceTranscript(QString());
    setShowVoiceButton(false);
}

void OnboardingView::startPage2() {
    m_activePage = 2;
    schedulePageStep(2, voiceHeadlineDelay, [this] { setShowVoiceHeadline(true); });
    schedulePageStep(2, keyboardHintDelay, [this] { setShowKeyboardHint(true); });
    schedulePageStep(2, optionPressDelay, [this] { setOptionKeyPressed(true); });
    schedulePageStep(2, mPressDelay, [this] { setMKeyPressed(true); });
    schedulePageStep(2, voicePanelDelay, [this] { setShowVoicePanel(true); });
    const auto length = static_cast<int>(spokenAimset.size());
    for (int typed = 1; typed <= length; ++typed) {
        schedulePageStep(2, typingStartDelay + typed * typingInterval,
                         [this, typed] { setVoiceTranscript(spokenAimset.left(typed)); });
    }
    const MainLoop::Duration typed = typingStartDelay + length * typingInterval;
    const MainLoop::Duration mReleased = typed + mReleaseAfterTyping;
    const MainLoop::Duration optionReleased = mReleased + optionReleaseAfterM;
    const MainLoop::Duration panelHidden = optionReleased + panelHideAfterOption;
    schedulePageStep(2, mReleased, [this] { setMKeyPressed(false); });
    schedulePageStep(2, optionReleased, [this] { setOptionKeyPressed(false); });
    schedulePageStep(2, panelHidden, [this] { setShowVoicePanel(false); });
    schedulePageStep(2, panelHidden + voiceButtonAfterPanel, [this] { setShowVoiceButton(true); });
}

// ---- page 3: accessibility access ---------------------------------------------------------------

void OnboardingView::enableAccessibility() {
    if (m_currentPage != 3 || m_hasCompleted) {
        return;
    }
    if (m_accessibility.isProcessTrusted()) {
        finish();
        return;
    }
    m_accessibility.requestTrustWithPrompt();
    startPermissionPolling();
}

void OnboardingView::startPermissionPolling() {
    m_permissionPollTimer.reset();
    m_permissionPollCount = 0;
    m_permissionPollTimer =
        m_loop.scheduleRepeating(permissionPollInterval, [self = QPointer<OnboardingView>(this)] {
            if (self) {
                self->permissionPollTick();
            }
        });
}

void OnboardingView::permissionPollTick() {
    ++m_permissionPollCount;
    if (m_accessibility.isProcessTrusted()) {
        m_permissionPollTimer.reset();
        setPermissionGranted(true);
        // "Done" stays on screen a moment before the onboarding goes.
        m_finishTimer = m_loop.scheduleOnce(doneShownFor, [self = QPointer<OnboardingView>(this)] {
            if (self) {
                self->finish();
            }
        });
        return;
    }
    // The request was answered and access is still off: this desktop could
    // not switch it on, so titles alone are offered.
    setCanContinueWithTitlesOnly(true);
    if (m_permissionPollCount >= maximumPermissionPolls) {
        // Two minutes without an answer: the button can start it anew.
        m_permissionPollTimer.reset();
    }
}

void OnboardingView::continueWithTitlesOnly() {
    if (m_currentPage != 3 || !m_canContinueWithTitlesOnly) {
        return;
    }
    finish();
}

void OnboardingView::finish() {
    if (m_hasCompleted) {
        return;
    }
    m_hasCompleted = true;
    m_permissionPollTimer.reset();
    m_finishTimer.reset();
    if (onComplete) {
        onComplete();
    }
}

} // namespace aimset
