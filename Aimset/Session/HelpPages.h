#pragma once

#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace aimset {

// The help card behind the main window's "?" button: which of its five pages
// shows, and the state of each page's self-running demonstration. Every timed
// step runs on the main loop and first checks that its page is still active,
// so leaving a page stops its demonstration at once. The demonstrations only
// animate this state; they touch no other component. Drawn by HelpOverlay.qml.
class HelpPages : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isOpen READ isOpen NOTIFY isOpenChanged)
    Q_PROPERTY(int helpPage READ helpPage NOTIFY helpPageChanged)
    // Page 0: typing an aimset.
    Q_PROPERTY(QString typingText READ typingText NOTIFY typingTextChanged)
    Q_PROPERTY(int typingExampleIndex READ typingExampleIndex NOTIFY typingExampleIndexChanged)
    Q_PROPERTY(double typingOpacity READ typingOpacity NOTIFY typingOpacityChanged)
    Q_PROPERTY(bool isTypingActive READ isTypingActive NOTIFY isTypingActiveChanged)
    // Page 1: the three outcomes, one stage at a time.
    Q_PROPERTY(int helpStage READ helpStage NOTIFY helpStageChanged)
    Q_PROPERTY(int helpCountdownValue READ helpCountdownValue NOTIFY helpCountdownValueChanged)
    Q_PROPERTY(bool showHitNext READ showHitNext NOTIFY showHitNextChanged)
    Q_PROPERTY(double ghostOpacity READ ghostOpacity NOTIFY ghostOpacityChanged)
    Q_PROPERTY(double ghostFloatOffset READ ghostFloatOffset NOTIFY ghostFloatOffsetChanged)
    Q_PROPERTY(bool isGhostAnimating READ isGhostAnimating NOTIFY isGhostAnimatingChanged)
    // Page 2: the aimset widening.
    Q_PROPERTY(QString page3TypingText READ page3TypingText NOTIFY page3TypingTextChanged)
    Q_PROPERTY(bool isPage3TypingActive READ isPage3TypingActive NOTIFY isPage3TypingActiveChanged)
    Q_PROPERTY(bool showPage3Expansion READ showPage3Expansion NOTIFY showPage3ExpansionChanged)
    // Page 3: the focus goal slider.
    Q_PROPERTY(double page4SliderValue READ page4SliderValue NOTIFY page4SliderValueChanged)
    Q_PROPERTY(bool isPage4Active READ isPage4Active NOTIFY isPage4ActiveChanged)
    Q_PROPERTY(
        bool showPage4ProgressInfo READ showPage4ProgressInfo NOTIFY showPage4ProgressInfoChanged)
    Q_PROPERTY(QStringList goalLabels READ goalLabels CONSTANT)
    // Page 4: the spoken aimset.
    Q_PROPERTY(bool isPage5Active READ isPage5Active NOTIFY isPage5ActiveChanged)
    Q_PROPERTY(bool page5OptionPressed READ page5OptionPressed NOTIFY page5OptionPressedChanged)
    Q_PROPERTY(bool page5MPressed READ page5MPressed NOTIFY page5MPressedChanged)
    Q_PROPERTY(bool page5ShowPanel READ page5ShowPanel NOTIFY page5ShowPanelChanged)
    Q_PROPERTY(QString page5Transcript READ page5Transcript NOTIFY page5TranscriptChanged)
    Q_PROPERTY(bool page5ShowClosing READ page5ShowClosing NOTIFY page5ShowClosingChanged)

public:
    static constexpr int pageCount = 5;
    static constexpr int countdownStart = 15;
    static constexpr MainLoop::Duration countdownInterval{600};
    static constexpr MainLoop::Duration hitNextDelay{5000};
    static constexpr MainLoop::Duration typingInterval{50};
    static constexpr MainLoop::Duration typingHold{1500};
    static constexpr MainLoop::Duration typingFadeGap{400};
    static constexpr MainLoop::Duration expansionDelay{3000};
    static constexpr MainLoop::Duration sliderStepInterval{500};
    static constexpr MainLoop::Duration progressInfoDelay{5000};
    static constexpr MainLoop::Duration transcriptInterval{45};
    static constexpr MainLoop::Duration ghostRiseWait{1600};
    static constexpr MainLoop::Duration ghostFallWait{1800};
    static constexpr double ghostRaisedOpacity = 0.15;
    static constexpr double ghostRaisedOffset = -6;

    static const QStringList& typingExamples();
    static inline const QString page3Aimset = QStringLiteral("Research for YouTube video");
    static inline const QString page5Sentence =
        QStringLiteral("Actually, I need to book a doctor's appointment first.");

    explicit HelpPages(MainLoop& loop, QObject* parent = nullptr);
    ~HelpPages() override;

    bool isOpen() const { return m_isOpen; }
    int helpPage() const { return m_helpPage; }
    QString typingText() const { return m_typingText; }
    int typingExampleIndex() const { return m_typingExampleIndex; }
    double typingOpacity() const { return m_typingOpacity; }
    bool isTypingActive() const { return m_isTypingActive; }
    int helpStage() const { return m_helpStage; }
    int helpCountdownValue() const { return m_helpCountdownValue; }
    bool showHitNext() const { return m_showHitNext; }
    double ghostOpacity() const { return m_ghostOpacity; }
    double ghostFloatOffset() const { return m_ghostFloatOffset; }
    bool isGhostAnimating() const { return m_isGhostAnimating; }
    QString page3TypingText() const { return m_page3TypingText; }
    bool isPage3TypingActive() const { return m_isPage3TypingActive; }
    bool showPage3Expansion() const { return m_showPage3Expansion; }
    double page4SliderValue() const { return m_page4SliderValue; }
    bool isPage4Active() const { return m_isPage4Active; }
    bool showPage4ProgressInfo() const { return m_showPage4ProgressInfo; }
    QStringList goalLabels() const;
    bool isPage5Active() const { return m_isPage5Active; }
    bool page5OptionPressed() const { return m_page5OptionPressed; }
    bool page5MPressed() const { return m_page5MPressed; }
    bool page5ShowPanel() const { return m_page5ShowPanel; }
    QString page5Transcript() const { return m_page5Transcript; }
    bool page5ShowClosing() const { return m_page5ShowClosing; }

    // The timers behind page 1, for whoever needs to know they are gone.
    bool hasCountdownTimer() const { return static_cast<bool>(m_helpCountdownTimer); }
    bool hasHitNextTask() const { return static_cast<bool>(m_hitNextTask); }

    // The card came on screen: its current page (page 0 after a close) starts.
    void open();
    // The card left the screen by other means than closeHelp: everything
    // stops and the next opening starts afresh. Does not call onClose.
    void close();

    // The arrows: +1 next, -1 back (any positive or negative value counts as
    // that direction; 0 does nothing). On page 1 they walk its stages first.
    Q_INVOKABLE void navigateHelp(int direction);
    // The card's close button and a click on the scrim.
    Q_INVOKABLE void closeHelp();

    // Hides the help overlay (the owner's `showHelp` = false).
    std::function<void()> onClose;

signals:
    void isOpenChanged();
    void helpPageChanged();
    void typingTextChanged();
    void typingExampleIndexChanged();
    void typingOpacityChanged();
    void isTypingActiveChanged();
    void helpStageChanged();
    void helpCountdownValueChanged();
    void showHitNextChanged();
    void ghostOpacityChanged();
    void ghostFloatOffsetChanged();
    void isGhostAnimatingChanged();
    void page3TypingTextChanged();
    void isPage3TypingActiveChanged();
    void showPage3ExpansionChanged();
    void page4SliderValueChanged();
    void isPage4ActiveChanged();
    void showPage4ProgressInfoChanged();
    void isPage5ActiveChanged();
    void page5OptionPressedChanged();
    void page5MPressedChanged();
    void page5ShowPanelChanged();
    void page5TranscriptChanged();
    void page5ShowClosingChanged();

private:
    // One demonstration's steps: each waits its delay after the previous one,
    // then runs unless the demonstration's active flag was cleared meanwhile.
    struct Step {
        MainLoop::Duration wait;
        std::function<void(HelpPages&)> action;
    };
    using Script = std::vector<Step>;
    // Where a running script keeps its pending step and which flag it obeys.
    struct Demo {
        bool HelpPages::*active;
        TimerHandle HelpPages::*pending;
    };
    void play(Demo demo, std::shared_ptr<const Script> script, std::size_t next);
    // Appends the steps that type text one character per interval: the first
    // character at once, each next one an interval later, and the last
    // interval waited out before the following step's own wait begins.
    static void appendTyping(Script& script, const QString& text, MainLoop::Duration interval,
                             void (HelpPages::*setText)(const QString&));

    void closeSteps();
    void showPage(int page);
    void leavePage(int page);

    void startTypingDemo();
    void typeExample();
    void stopTypingDemo();
    void showOutcomes();
    void leaveOutcomes();
    void resetOutcomes();
    void startCountdown();
    void countdownTick();
    void restartHint();
    void startGhost();
    void floatGhost();
    void stopGhost();
    void startPage3Demo();
    void stopPage3Demo();
    void startPage4Demo();
    void stopPage4Demo();
    void startPage5Demo();
    void stopPage5Demo();

    void setIsOpen(bool open);
    void setHelpPage(int page);
    void setTypingText(const QString& text);
    void setTypingExampleIndex(int index);
    void setTypingOpacity(double opacity);
    void setIsTypingActive(bool active);
    void setHelpStage(int stage);
    void setHelpCountdownValue(int value);
    void setShowHitNext(bool show);
    void setGhostOpacity(double opacity);
    void setGhostFloatOffset(double offset);
    void setIsGhostAnimating(bool animating);
    void setPage3TypingText(const QString& text);
    void setIsPage3TypingActive(bool active);
    void setShowPage3Expansion(bool show);
    void setPage4SliderValue(double value);
    void setIsPage4Active(bool active);
    void setShowPage4ProgressInfo(bool show);
    void setIsPage5Active(bool active);
    void setPage5OptionPressed(bool pressed);
    void setPage5MPressed(bool pressed);
    void setPage5ShowPanel(bool show);
    void setPage5Transcript(const QString& text);
    void setPage5ShowClosing(bool show);

    MainLoop& m_loop;
    bool m_isOpen = false;
    int m_helpPage = 0;

    QString m_typingText;
    int m_typingExampleIndex = 0;
    double m_typingOpacity = 1.0;
    bool m_isTypingActive = false;
    TimerHandle m_typingStep;

    int m_helpStage = -1;
    int m_helpCountdownValue = countdownStart;
    TimerHandle m_helpCountdownTimer;
    bool m_showHitNext = false;
    TimerHandle m_hitNextTask;
    double m_ghostOpacity = 0;
    double m_ghostFloatOffset = 0;
    bool m_isGhostAnimating = false;
    TimerHandle m_ghostStep;

    QString m_page3TypingText;
    bool m_isPage3TypingActive = false;
    bool m_showPage3Expansion = false;
    TimerHandle m_page3Step;

    double m_page4SliderValue = 0;
    bool m_isPage4Active = false;
    bool m_showPage4ProgressInfo = false;
    TimerHandle m_page4Step;

    bool m_isPage5Active = false;
    bool m_page5OptionPressed = false;
    bool m_page5MPressed = false;
    bool m_page5ShowPanel = false;
    QString m_page5Transcript;
    bool m_page5ShowClosing = false;
    TimerHandle m_page5Step;
};

} // namespace aimset
