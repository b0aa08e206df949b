#include "HelpPages.h"

#include "LaunchModalView.h"
#include "Runtime/Observable.h"

#include <QPointer>

#include <algorithm>

namespace aimset {

namespace {

constexpr MainLoop::Duration atOnce{0};
constexpr MainLoop::Duration keyPressPause{150};
constexpr MainLoop::Duration firstKeyDelay{400};
constexpr MainLoop::Duration panelDelay{300};
constexpr MainLoop::Duration transcriptDelay{400};
constexpr MainLoop::Duration optionReleaseDelay{100};
constexpr MainLoop::Duration panelHideDelay{200};
constexpr MainLoop::Duration closingDelay{400};
constexpr int lastSliderPosition = 4; // "2h"

} // namespace

const QStringList& HelpPages::typingExamples() {
    static const QStringList examples{QStringLiteral("Study for biology exam"),
                                      QStringLiteral("Work on my coding project"),
                                      QStringLiteral("Book flights to Japan"),
                                      QStringLiteral("Research for my essay on climate change")};
    return examples;
}

HelpPages::HelpPages(MainLoop& loop, QObject* parent)
    : QObject(parent)
    , m_loop(loop) {}

HelpPages::~HelpPages() = default;

QStringList HelpPages::goalLabels() const {
    return LaunchModalView::goalLabels();
}

// ---- the card -----------------------------------------------------------------------------------

void HelpPages::open() {
    if (m_isOpen) {
        return;
    }
    setIsOpen(true);
    showPage(m_helpPage);
}

void HelpPages::close() {
    if (!m_isOpen) {
        return;
    }
    closeSteps();
    setHelpPage(0);
    setTypingExampleIndex(0);
}

void HelpPages::closeHelp() {
    closeSteps();
    if (onClose) {
        onClose();
    }
    setHelpPage(0);
    setTypingExampleIndex(0);
}

void HelpPages::closeSteps() {
    stopTypingDemo();
    stopPage3Demo();
    stopPage4Demo();
    stopPage5Demo();
    resetOutcomes();
    setIsOpen(false);
}

void HelpPages::navigateHelp(int direction) {
    if (!m_isOpen || direction == 0) {
        return;
    }
    if (direction > 0) {
        if (m_helpPage == 1 && m_helpStage < 2) {
            m_helpCountdownTimer.reset();
            setHelpStage(m_helpStage + 1);
            restartHint();
            if (m_helpStage == 2) {
                startCountdown();
            }
        } else if (m_helpPage <= 3) {
            const int leaving = m_helpPage;
            stopTypingDemo();
            resetOutcomes();
            leavePage(leaving);
            setHelpPage(leaving + 1);
            showPage(m_helpPage);
        }
        // The last page has nowhere further to go.
        return;
    }
    if (m_helpPage == 1 && m_helpStage >= 0) {
        m_helpCountdownTimer.reset();
        setHelpStage(m_helpStage - 1);
        restartHint();
        return;
    }
    if (m_helpPage == 0) {
        // The first page has no back arrow; its demonstration keeps running.
        return;
    }
    const int leaving = m_helpPage;
    stopTypingDemo();
    resetOutcomes();
    leavePage(leaving);
    setHelpPage(leaving - 1);
    showPage(m_helpPage);
}

void HelpPages::showPage(int page) {
    switch (page) {
    case 0:
        startTypingDemo();
        break;
    case 1:
        showOutcomes();
        break;
    case 2:
        startPage3Demo();
        break;
    case 3:
        startPage4Demo();
        break;
    case 4:
        startPage5Demo();
        break;
    default:
        break;
    }
}

void HelpPages::leavePage(int page) {
    switch (page) {
    case 0:
        stopTypingDemo();
        break;
    case 1:
        leaveOutcomes();
        break;
    case 2:
        stopPage3Demo();
        break;
    case 3:
        stopPage4Demo();
        break;
    case 4:
        stopPage5Demo();
        break;
    default:
        break;
    }
}

// ---- running a demonstration --------------------------------------------------------------------

void HelpPages::play(Demo demo, std::shared_ptr<const Script> script, std::size_t next) {
    // Steps without a wait run straight away, within the step before them.
    while (next < script->size() && (*script)[next].wait <= atOnce) {
        (*script)[next].action(*this);
        ++next;
        if (!(this->*demo.active)) {
            return;
        }
    }
    if (next >= script->size()) {
        return;
    }
    this->*demo.pending = m_loop.scheduleOnce(
        (*script)[next].wait, [self = QPointer<HelpPages>(this), demo, script, next] {
            if (!self || !(self.data()->*demo.active)) {
                return;
            }
            (*script)[next].action(*self);
            if (self && self.data()->*demo.active) {
                self->play(demo, script, next + 1);
            }
        });
}

void HelpPages::appendTyping(Script& script, const QString& text, MainLoop::Duration interval,
                             void (HelpPages::*setText)(const QString&)) {
    for (qsizetype count = 1; count <= text.size(); ++count) {
        script.push_back({count == 1 ? atOnce : interval, [text, count, setText](HelpPages& pages) {
                              (pages.*setText)(text.left(count));
                          }});
    }
}

// ---- page 0: typing an aimset -------------------------------------------------------------------

void HelpPages::startTypingDemo() {
    if (m_isTypingActive) {
        return;
    }
    setIsTypingActive(true);
    setTypingText(QString());
    setTypingOpacity(1.0);
    typeExample();
}

void HelpPages::typeExample() {
    const QString example = typingExamples().at(m_typingExampleIndex % typingExamples().size());
    auto script = std::make_shared<Script>();
    script->push_back({atOnce, [](HelpPages& pages) {
                           pages.setTypingText(QString());
                           pages.setTypingOpacity(1.0);
                       }});
    appendTyping(*script, example, typingInterval, &HelpPages::setTypingText);
    // The hold counts from the end of the last character's interval.
    script->push_back(
        {typingInterval + typingHold, [](HelpPages& pages) { pages.setTypingOpacity(0.0); }});
    script->push_back({typingFadeGap, [](HelpPages& pages) {
                           pages.setTypingExampleIndex(pages.m_typingExampleIndex + 1);
                           pages.typeExample();
                       }});
    play({&HelpPages::m_isTypingActive, &HelpPages::m_typingStep}, std::move(script), 0);
}

void HelpPages::stopTypingDemo() {
    m_typingStep.reset();
    setIsTypingActive(false);
    setTypingText(QString());
    setTypingOpacity(1.0);
}

// ---- page 1: the three outcomes -----------------------------------------------------------------

void HelpPages::showOutcomes() {
    restartHint();
    if (m_helpStage == 2) {
        startCountdown();
    }
    if (m_helpStage == 0) {
        startGhost();
    }
}

void HelpPages::leaveOutcomes() {
    m_helpCountdownTimer.reset();
    m_hitNextTask.reset();
    stopGhost();
}

void HelpPages::resetOutcomes() {
    m_helpCountdownTimer.reset();
    m_hitNextTask.reset();
    setHelpStage(-1);
    setHelpCountdownValue(countdownStart);
    setShowHitNext(false);
}

void HelpPages::startCountdown() {
    setHelpCountdownValue(countdownStart);
    m_helpCountdownTimer.reset();
    m_helpCountdownTimer =
        m_loop.scheduleRepeating(countdownInterval, [self = QPointer<HelpPages>(this)] {
            if (self) {
                self->countdownTick();
            }
        });
}

void HelpPages::countdownTick() {
    if (m_helpCountdownValue < 2) {
        // The demonstration rests at 1; it never closes anything.
        m_helpCountdownTimer.reset();
        return;
    }
    setHelpCountdownValue(m_helpCountdownValue - 1);
}

void HelpPages::restartHint() {
    setShowHitNext(false);
    m_hitNextTask.reset();
    m_hitNextTask = m_loop.scheduleOnce(hitNextDelay, [self = QPointer<HelpPages>(this)] {
        if (self) {
            self->setShowHitNext(true);
        }
    });
}

void HelpPages::startGhost() {
    if (m_isGhostAnimating) {
        return;
    }
    setIsGhostAnimating(true);
    setGhostOpacity(0);
    setGhostFloatOffset(0);
    floatGhost();
}

void HelpPages::floatGhost() {
    auto script = std::make_shared<Script>(Script{
        {atOnce,
         [](HelpPages& pages) {
             pages.setGhostOpacity(ghostRaisedOpacity);
             pages.setGhostFloatOffset(ghostRaisedOffset);
         }},
        {ghostRiseWait,
         [](HelpPages& pages) {
             pages.setGhostOpacity(0);
             pages.setGhostFloatOffset(0);
         }},
        {ghostFallWait, [](HelpPages& pages) { pages.floatGhost(); }},
    });
    play({&HelpPages::m_isGhostAnimating, &HelpPages::m_ghostStep}, std::move(script), 0);
}

void HelpPages::stopGhost() {
    m_ghostStep.reset();
    setIsGhostAnimating(false);
    setGhostOpacity(0);
    setGhostFloatOffset(0);
}

// ---- page 2: the aimset widens ------------------------------------------------------------------

void HelpPages::startPage3Demo() {
    if (m_isPage3TypingActive) {
        return;
    }
    setIsPage3TypingActive(true);
    setPage3TypingText(QString());
    setShowPage3Expansion(false);
    auto script = std::make_shared<Script>();
    appendTyping(*script, page3Aimset, typingInterval, &HelpPages::setPage3TypingText);
    script->push_back({typingInterval + expansionDelay,
                       [](HelpPages& pages) { pages.setShowPage3Expansion(true); }});
    play({&HelpPages::m_isPage3TypingActive, &HelpPages::m_page3Step}, std::move(script), 0);
}

void HelpPages::stopPage3Demo() {
    m_page3Step.reset();
    setIsPage3TypingActive(false);
    setPage3TypingText(QString());
    setShowPage3Expansion(false);
}

// ---- page 3: the focus goal ---------------------------------------------------------------------

void HelpPages::startPage4Demo() {
    if (m_isPage4Active) {
        return;
    }
    setIsPage4Active(true);
    setPage4SliderValue(0);
    setShowPage4ProgressInfo(false);
    auto script = std::make_shared<Script>();
    for (int position = 1; position <= lastSliderPosition; ++position) {
        script->push_back({sliderStepInterval,
                           [position](HelpPages& pages) { pages.setPage4SliderValue(position); }});
    }
    script->push_back(
        {progressInfoDelay, [](HelpPages& pages) { pages.setShowPage4ProgressInfo(true); }});
    play({&HelpPages::m_isPage4Active, &HelpPages::m_page4Step}, std::move(script), 0);
}

void HelpPages::stopPage4Demo() {
    m_page4Step.reset();
    setIsPage4Active(false);
    setPage4SliderValue(0);
    setShowPage4ProgressInfo(false);
}

// ---- page 4: the spoken aimset ------------------------------------------------------------------

void HelpPages::startPage5Demo() {
    if (m_isPage5Active) {
        return;
    }
    setIsPage5Active(true);
    setPage5OptionPressed(false);
    setPage5MPressed(false);
    setPage5ShowPanel(false);
    setPage5Transcript(QString());
    setPage5ShowClosing(false);
    auto script = std::make_shared<Script>(Script{
        {firstKeyDelay, [](HelpPages& pages) { pages.setPage5OptionPressed(true); }},
        {keyPressPause, [](HelpPages& pages) { pages.setPage5MPressed(true); }},
        {panelDelay, [](HelpPages& pages) { pages.setPage5ShowPanel(true); }},
    });
    Script typing;
    appendTyping(typing, page5Sentence, transcriptInterval, &HelpPages::setPage5Transcript);
    typing.front().wait = transcriptDelay;
    script->insert(script->end(), typing.begin(), typing.end());
    script->push_back(
        {transcriptInterval, [](HelpPages& pages) { pages.setPage5MPressed(false); }});
    script->push_back(
        {optionReleaseDelay, [](HelpPages& pages) { pages.setPage5OptionPressed(false); }});
    script->push_back({panelHideDelay, [](HelpPages& pages) { pages.setPage5ShowPanel(false); }});
    script->push_back({closingDelay, [](HelpPages& pages) { pages.setPage5ShowClosing(true); }});
    play({&HelpPages::m_isPage5Active, &HelpPages::m_page5Step}, std::move(script), 0);
}

void HelpPages::stopPage5Demo() {
    m_page5Step.reset();
    setIsPage5Active(false);
    setPage5OptionPressed(false);
    setPage5MPressed(false);
    setPage5ShowPanel(false);
    setPage5Transcript(QString());
    setPage5ShowClosing(false);
}

// ---- observable fields --------------------------------------------------------------------------

void HelpPages::setIsOpen(bool open) {
    assignIfChanged(this, m_isOpen, open, &HelpPages::isOpenChanged);
}

void HelpPages::setHelpPage(int page) {
    assignIfChanged(this, m_helpPage, std::clamp(page, 0, pageCount - 1),
                    &HelpPages::helpPageChanged);
}

void HelpPages::setTypingText(const QString& text) {
    assignIfChanged(this, m_typingText, text, &HelpPages::typingTextChanged);
}

void HelpPages::setTypingExampleIndex(int index) {
    assignIfChanged(this, m_typingExampleIndex, index, &HelpPages::typingExampleIndexChanged);
}

void HelpPages::setTypingOpacity(double opacity) {
    assignIfChanged(this, m_typingOpacity, opacity, &HelpPages::typingOpacityChanged);
}

void HelpPages::setIsTypingActive(bool active) {
    assignIfChanged(this, m_isTypingActive, active, &HelpPages::isTypingActiveChanged);
}

void HelpPages::setHelpStage(int stage) {
    const int previous = m_helpStage;
    if (!assignIfChanged(this, m_helpStage, stage, &HelpPages::helpStageChanged)) {
        return;
    }
    // The ghost floats while the first outcome is on screen.
    if (previous == 0) {
        stopGhost();
    }
    if (stage == 0 && m_isOpen && m_helpPage == 1) {
        startGhost();
    }
}

void HelpPages::setHelpCountdownValue(int value) {
    assignIfChanged(this, m_helpCountdownValue, value, &HelpPages::helpCountdownValueChanged);
}

void HelpPages::setShowHitNext(bool show) {
    assignIfChanged(this, m_showHitNext, show, &HelpPages::showHitNextChanged);
}

void HelpPages::setGhostOpacity(double opacity) {
    assignIfChanged(this, m_ghostOpacity, opacity, &HelpPages::ghostOpacityChanged);
}

void HelpPages::setGhostFloatOffset(double offset) {
    assignIfChanged(this, m_ghostFloatOffset, offset, &HelpPages::ghostFloatOffsetChanged);
}

void HelpPages::setIsGhostAnimating(bool animating) {
    assignIfChanged(this, m_isGhostAnimating, animating, &HelpPages::isGhostAnimatingChanged);
}

void HelpPages::setPage3TypingText(const QString& text) {
    assignIfChanged(this, m_page3TypingText, text, &HelpPages::page3TypingTextChanged);
}

void HelpPages::setIsPage3TypingActive(bool active) {
    assignIfChanged(this, m_isPage3TypingActive, active, &HelpPages::isPage3TypingActiveChanged);
}

void HelpPages::setShowPage3Expansion(bool show) {
    assignIfChanged(this, m_showPage3Expansion, show, &HelpPages::showPage3ExpansionChanged);
}

void HelpPages::setPage4SliderValue(double value) {
    assignIfChanged(this, m_page4SliderValue, value, &HelpPages::page4SliderValueChanged);
}

void HelpPages::setIsPage4Active(bool active) {
    assignIfChanged(this, m_isPage4Active, active, &HelpPages::isPage4ActiveChanged);
}

void HelpPages::setShowPage4ProgressInfo(bool show) {
    assignIfChanged(this, m_showPage4ProgressInfo, show, &HelpPages::showPage4ProgressInfoChanged);
}

void HelpPages::setIsPage5Active(bool active) {
    assignIfChanged(this, m_isPage5Active, active, &HelpPages::isPage5ActiveChanged);
}

void HelpPages::setPage5OptionPressed(bool pressed) {
    assignIfChanged(this, m_page5OptionPressed, pressed, &HelpPages::page5OptionPressedChanged);
}

void HelpPages::setPage5MPressed(bool pressed) {
    assignIfChanged(this, m_page5MPressed, pressed, &HelpPages::page5MPressedChanged);
}

void HelpPages::setPage5ShowPanel(bool show) {
    assignIfChanged(this, m_page5ShowPanel, show, &HelpPages::page5ShowPanelChanged);
}

void HelpPages::setPage5Transcript(const QString& text) {
    assignIfChanged(this, m_page5Transcript, text, &HelpPages::page5TranscriptChanged);
}

void HelpPages::setPage5ShowClosing(bool show) {
    assignIfChanged(this, m_page5ShowClosing, show, &HelpPages::page5ShowClosingChanged);
}

} // namespace aimset
