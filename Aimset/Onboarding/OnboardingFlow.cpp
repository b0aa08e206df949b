#include "OnboardingFlow.h"

#include <QPointer>

#include "Platform/Accessibility.h"
#include "Runtime/Observable.h"

#include <array>
#include <utility>

namespace aimset {

namespace {

using ms = MainLoop::Duration;

QVariantMap defaults() {
    return {{QStringLiteral("showHeadline"), false},
            {QStringLiteral("showBrowserFrame"), false},
            {QStringLiteral("showIntervention"), false},
            {QStringLiteral("countdownValue"), 7},
            {QStringLiteral("showButton"), false},
            {QStringLiteral("stagesPhase"), 0},
            {QStringLiteral("stagesGhostRisen"), false},
            {QStringLiteral("showStagesQuestionUI"), false},
            {QStringLiteral("showStagesNudgeUI"), false},
            {QStringLiteral("stagesCountdownValue"), 15},
            {QStringLiteral("showStagesClosing"), false},
            {QStringLiteral("showStagesButton"), false},
            {QStringLiteral("showVoiceHeadline"), false},
            {QStringLiteral("showKeyboardHint"), false},
            {QStringLiteral("optionKeyPressed"), false},
            {QStringLiteral("mKeyPressed"), false},
            {QStringLiteral("showVoicePanel"), false},
            {QStringLiteral("voiceTranscript"), QString()},
            {QStringLiteral("showVoiceButton"), false}};
}

// The field that shows each page's "Next", the last cue of its table.
const std::array<QString, 3> nextButtons{QStringLiteral("showButton"),
                                         QStringLiteral("showStagesButton"),
                                         QStringLiteral("showVoiceButton")};

// Page 0: a drifting browser; the warning counts 7 down to 1 every 0.6 s
// and stays there, and "Next" comes with the seventh tick.
Timeline::Table driftTable() {
    Timeline::Table table{{ms{200}, QStringLiteral("showHeadline"), true},
                          {ms{600}, QStringLiteral("showBrowserFrame"), true},
                          {ms{1400}, QStringLiteral("showIntervention"), true}};
    const ms ended =
        Timeline::countdown(table, QStringLiteral("countdownValue"), 7, 1, ms{1700}, ms{600});
    table.push_back({ended, nextButtons[0], true});
    return table;
}

// Page 1: the three outcomes in turn. The mascot rises and falls once while
// "Nothing" shows; the warning counts 15 down to 7 every 0.3 s, the closing
// line comes with the next tick and "Next" 2 s after it.
Timeline::Table outcomesTable() {
    Timeline::Table table{{ms{2500}, QStringLiteral("stagesPhase"), 1},
                          {ms{2500}, QStringLiteral("stagesGhostRisen"), true},
                          {ms{4100}, QStringLiteral("stagesGhostRisen"), false},
                          {ms{5500}, QStringLiteral("stagesPhase"), 2},
                          {ms{6100}, QStringLiteral("showStagesQuestionUI"), true},
                          {ms{9600}, QStringLiteral("stagesPhase"), 3},
                          {ms{10200}, QStringLiteral("showStagesNudgeUI"), true}};
    const ms ended = Timeline::countdown(table, QStringLiteral("stagesCountdownValue"), 15, 7,
                                         ms{10500}, ms{300});
    table.push_back({ended, QStringLiteral("showStagesClosing"), true});
    table.push_back({ended + ms{2000}, nextButtons[1], true});
    return table;
}

// Page 2: the chord goes down, a sentence is spoken, the chord comes up.
Timeline::Table voiceTable() {
    Timeline::Table table{{ms{200}, QStringLiteral("showVoiceHeadline"), true},
                          {ms{600}, QStringLiteral("showKeyboardHint"), true},
                          {ms{1200}, QStringLiteral("optionKeyPressed"), true},
                          {ms{1350}, QStringLiteral("mKeyPressed"), true},
                          {ms{1650}, QStringLiteral("showVoicePanel"), true}};
    const ms every{45};
    const ms typed = Timeline::typing(table, QStringLiteral("voiceTranscript"),
                                      QStringLiteral("I'm planning my trip to Tokyo now"),
                                      ms{2050} + every, every);
    table.push_back({typed + ms{500}, QStringLiteral("mKeyPressed"), false});
    table.push_back({typed + ms{600}, QStringLiteral("optionKeyPressed"), false});
    table.push_back({typed + ms{800}, QStringLiteral("showVoicePanel"), false});
    table.push_back({typed + ms{1200}, nextButtons[2], true});
    return table;
}

// Pages 0 to 2's demonstrations.
const std::array<Timeline::Table (*)(), 3> pageTables{driftTable, outcomesTable, voiceTable};

} // namespace

OnboardingFlow::OnboardingFlow(MainLoop& loop, Accessibility& accessibility, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_accessibility(accessibility)
    , m_demo(loop, defaults()) {
    connect(&m_demo, &Timeline::stateChanged, this, &OnboardingFlow::demoChanged);
}

QString OnboardingFlow::permissionButtonTitle() const {
    return m_permissionGranted ? QStringLiteral("Done") : QStringLiteral("Enable Aimset");
}

// ---- showing and leaving pages ----------------------------------------------------------------

void OnboardingFlow::setShown(bool shown) {
    if (shown != std::exchange(m_isShown, shown)) {
        shown ? startPage() : stopPage();
    }
}

void OnboardingFlow::next() {
    if (m_currentPage >= 3 || !m_demo.state().value(nextButtons.at(m_currentPage)).toBool()) {
        return;
    }
    stopPage();
    assignIfChanged(this, m_currentPage, m_currentPage + 1, &OnboardingFlow::currentPageChanged);
    if (m_isShown) {
        startPage();
    }
}

// Each page's demonstration plays from its beginning whenever it shows;
// page 3 waits for its button.
void OnboardingFlow::startPage() {
    if (m_currentPage < 3) {
        m_demo.play(pageTables.at(m_currentPage)());
    } else {
        readExtensionState();
    }
}

void OnboardingFlow::stopPage() {
    m_demo.stop();
    m_permissionPollTimer.reset();
}

// ---- page 3: accessibility access ---------------------------------------------------------------

void OnboardingFlow::enableAccessibility() {
    if (m_currentPage != 3 || m_hasCompleted) {
        return;
    }
    readExtensionState();
    const bool extensionOff = m_extension && m_extensionState == DesktopExtension::State::off;
    const bool trusted = m_accessibility.isProcessTrusted();
    if (trusted && !extensionOff) {
        finish();
        return;
    }
    if (extensionOff && !m_extensionAsked) {
        m_extensionAsked = true;
        m_extension->enable([self = QPointer<OnboardingFlow>(this)](DesktopExtension::State state) {
            if (self) {
                self->extensionAnswered(state);
            }
        });
    }
    if (trusted) {
        accessGranted();
        return;
    }
    m_accessibility.requestTrustWithPrompt();
    m_permissionPollCount = 0;
    m_permissionPollTimer = m_loop.scheduleRepeating(
        permissionPollInterval, [this] { permissionPollTick(); }, this);
}

void OnboardingFlow::permissionPollTick() {
    ++m_permissionPollCount;
    readExtensionState();
    if (m_accessibility.isProcessTrusted()) {
        m_permissionPollTimer.reset();
        accessGranted();
        return;
    }
    // The request was answered and access is still off: this desktop could
    // not switch it on, so titles alone are offered.
    assignIfChanged(this, m_canContinueWithTitlesOnly, true,
                    &OnboardingFlow::canContinueWithTitlesOnlyChanged);
    if (m_permissionPollCount >= maximumPermissionPolls) {
        // Two minutes without an answer: the button can start it anew.
        m_permissionPollTimer.reset();
    }
}

void OnboardingFlow::accessGranted() {
    assignIfChanged(this, m_permissionGranted, true, &OnboardingFlow::permissionGrantedChanged);
    if (!m_extension || m_extensionState == DesktopExtension::State::running) {
        finishShortly();
    }
}

// "Done" stays on screen a moment before the onboarding goes.
void OnboardingFlow::finishShortly() {
    m_finishTimer = m_loop.scheduleOnce(
        doneShownFor, [this] { finish(); }, this);
}

// ---- the desktop extension ----------------------------------------------------------------------

void OnboardingFlow::setDesktopExtension(DesktopExtension* extension) {
    m_extension = extension;
    readExtensionState();
}

// Until it answers, the request in flight decides.
void OnboardingFlow::readExtensionState() {
    if (m_extension && !(m_extensionAsked && m_extensionState == DesktopExtension::State::off)) {
        assignIfChanged(this, m_extensionState, m_extension->state(),
                        &OnboardingFlow::extensionNoteChanged);
    }
}

void OnboardingFlow::extensionAnswered(DesktopExtension::State state) {
    // Still off: the next press asks again.
    m_extensionAsked = state != DesktopExtension::State::off;
    assignIfChanged(this, m_extensionState, state, &OnboardingFlow::extensionNoteChanged);
    if (m_permissionGranted && !m_hasCompleted && state == DesktopExtension::State::running) {
        finishShortly();
    }
}

QString OnboardingFlow::extensionNote() const {
    if (!m_extension) {
        return {};
    }
    switch (m_extensionState) {
    case DesktopExtension::State::running:
        return {};
    case DesktopExtension::State::off:
        return QStringLiteral("Under Wayland, GNOME shows apps nothing of other windows. "
                              "\u201CEnable Aimset\u201D also switches on Aimset's GNOME Shell "
                              "extension, which tells Aimset the window in front, sends it "
                              "Ctrl+W and hears Alt+M.");
    case DesktopExtension::State::nextLogin:
        return QStringLiteral("Log out and back in once: GNOME loads a newly installed "
                              "extension only at login. Until then sessions cannot watch "
                              "windows.");
    case DesktopExtension::State::unavailable:
        return QStringLiteral("Aimset's GNOME Shell extension is missing or GNOME cannot start "
                              "it, so sessions cannot watch windows. Aimset's log says why.");
    }
    return {};
}

void OnboardingFlow::continueWithTitlesOnly() {
    if (m_currentPage != 3 || !m_canContinueWithTitlesOnly) {
        return;
    }
    finish();
}

void OnboardingFlow::finish() {
    if (m_hasCompleted) {
        return;
    }
    m_hasCompleted = true;
    m_permissionPollTimer.reset();
    m_finishTimer.reset();
    emit completed();
}

} // namespace aimset
