#include "Session/HelpPages.h"
#include "Runtime/VirtualMainLoop.h"
#include "Session/ContentView.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <QVariant>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

using ms = std::chrono::milliseconds;

// The help card on the virtual loop, with every change of its state written
// down as "<ms since the card opened> <field>=<value>".
struct HelpPagesTest : ::testing::Test {
    VirtualMainLoop loop;
    HelpPages pages{loop};
    QObject context;
    QStringList changes;
    ms origin{0};
    int closeCalls = 0;

    void SetUp() override {
        pages.onClose = [this] { ++closeCalls; };
        watch(&HelpPages::helpPageChanged, "helpPage");
        watch(&HelpPages::typingTextChanged, "typingText");
        watch(&HelpPages::typingExampleIndexChanged, "typingExampleIndex");
        watch(&HelpPages::typingOpacityChanged, "typingOpacity");
        watch(&HelpPages::isTypingActiveChanged, "isTypingActive");
        watch(&HelpPages::helpStageChanged, "helpStage");
        watch(&HelpPages::helpCountdownValueChanged, "helpCountdownValue");
        watch(&HelpPages::showHitNextChanged, "showHitNext");
        watch(&HelpPages::ghostOpacityChanged, "ghostOpacity");
        watch(&HelpPages::ghostFloatOffsetChanged, "ghostFloatOffset");
        watch(&HelpPages::isGhostAnimatingChanged, "isGhostAnimating");
        watch(&HelpPages::page3TypingTextChanged, "page3TypingText");
        watch(&HelpPages::isPage3TypingActiveChanged, "isPage3TypingActive");
        watch(&HelpPages::showPage3ExpansionChanged, "showPage3Expansion");
        watch(&HelpPages::page4SliderValueChanged, "page4SliderValue");
        watch(&HelpPages::isPage4ActiveChanged, "isPage4Active");
        watch(&HelpPages::showPage4ProgressInfoChanged, "showPage4ProgressInfo");
        watch(&HelpPages::isPage5ActiveChanged, "isPage5Active");
        watch(&HelpPages::page5OptionPressedChanged, "page5OptionPressed");
        watch(&HelpPages::page5MPressedChanged, "page5MPressed");
        watch(&HelpPages::page5ShowPanelChanged, "page5ShowPanel");
        watch(&HelpPages::page5TranscriptChanged, "page5Transcript");
        watch(&HelpPages::page5ShowClosingChanged, "page5ShowClosing");
    }

    template <typename Signal> void watch(Signal signal, const char* name) {
        QObject::connect(&pages, signal, &context, [this, name] {
            changes << QString::number((loop.now() - origin).count()) + QLatin1Char(' ') +
                           QLatin1String(name) + QLatin1Char('=') + pages.property(name).toString();
        });
    }

    // Starts the clock of the change list at the current moment.
    void mark() {
        origin = loop.now();
        changes.clear();
    }
    QStringList take() {
        QStringList taken;
        taken.swap(changes);
        return taken;
    }
    // Takes the changes of the fields whose names start with the prefix.
    QStringList take(const QString& prefix) {
        QStringList kept;
        QStringList taken;
        for (const QString& change : std::as_const(changes)) {
            (change.section(QLatin1Char(' '), 1).startsWith(prefix) ? taken : kept) << change;
        }
        changes = kept;
        return taken;
    }
    void openAt(int page) {
        pages.open();
        for (int step = 0; step < page; ++step) {
            // Page 1 walks its intro and three stages before it lets go.
            const int steps = pages.helpPage() == 1 ? 4 : 1;
            for (int i = 0; i < steps; ++i) {
                pages.navigateHelp(+1);
            }
        }
        EXPECT_EQ(pages.helpPage(), page);
    }
    void goToStage(int stage) {
        openAt(1);
        for (int i = -1; i < stage; ++i) {
            pages.navigateHelp(+1);
        }
        EXPECT_EQ(pages.helpStage(), stage);
    }
};

// The changes that type text one character per interval from the start time.
QStringList typed(const QString& field, const QString& text, ms start, ms interval) {
    QStringList lines;
    for (qsizetype count = 1; count <= text.size(); ++count) {
        lines << QString::number((start + interval * (count - 1)).count()) + QLatin1Char(' ') +
                     field + QLatin1Char('=') + text.left(count);
    }
    return lines;
}

QString at(ms time, const QString& change) {
    return QString::number(time.count()) + QLatin1Char(' ') + change;
}

// ---- page 0 ---------------------------------------------------------------------------------

TEST_F(HelpPagesTest, OpeningTypesTheExamplesInTurnHoldingAndFadingEach) {
    mark();
    pages.open();
    EXPECT_TRUE(pages.isOpen());
    EXPECT_EQ(pages.helpPage(), 0);
    EXPECT_TRUE(pages.isTypingActive());
    EXPECT_EQ(pages.typingText(), QStringLiteral("S"));
    loop.advance(49ms);
    EXPECT_EQ(pages.typingText(), QStringLiteral("S"));
    loop.advance(1ms);
    EXPECT_EQ(pages.typingText(), QStringLiteral("St"));

    // Each example takes its characters at 50 ms each, 1.5 s of hold and 0.4 s after the fade.
    ms start{0};
    QStringList expected{at(0ms, QStringLiteral("isTypingActive=true"))};
    for (int index = 0; index < 5; ++index) {
        const QString example = HelpPages::typingExamples().at(index % 4);
        const ms typedUntil = start + 50ms * example.size();
        if (index > 0) {
            expected << at(start, QStringLiteral("typingExampleIndex=") + QString::number(index))
                     << at(start, QStringLiteral("typingText=")) // emptied for the next example
                     << at(start, QStringLiteral("typingOpacity=1"));
        }
        expected << typed(QStringLiteral("typingText"), example, start, 50ms)
                 << at(typedUntil + 1500ms, QStringLiteral("typingOpacity=0"));
        start = typedUntil + 1900ms;
    }
    loop.advanceTo(start - 1ms);
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(pages.typingExampleIndex(), 4);
    EXPECT_EQ(pages.typingText(), QStringLiteral("Study for biology exam"));
    EXPECT_EQ(pages.typingOpacity(), 0.0);
}

TEST_F(HelpPagesTest, TheFirstExampleIsTypedOnlyAsFastAsStated) {
    mark();
    pages.open();
    loop.advance(1049ms);
    EXPECT_EQ(pages.typingText(), QStringLiteral("Study for biology exa"));
    loop.advance(1ms);
    EXPECT_EQ(pages.typingText(), QStringLiteral("Study for biology exam"));
    loop.advanceTo(2599ms);
    EXPECT_EQ(pages.typingOpacity(), 1.0);
    loop.advanceTo(2600ms);
    EXPECT_EQ(pages.typingOpacity(), 0.0);
    loop.advanceTo(2999ms);
    EXPECT_EQ(pages.typingExampleIndex(), 0);
    loop.advanceTo(3000ms);
    EXPECT_EQ(pages.typingExampleIndex(), 1);
    EXPECT_EQ(pages.typingText(), QStringLiteral("W"));
    EXPECT_EQ(pages.typingOpacity(), 1.0);
}

TEST_F(HelpPagesTest, LeavingPageZeroStopsTypingAndComingBackTypesTheCurrentExampleAfresh) {
    pages.open();
    loop.advance(3300ms); // into the second example: "Work on"
    EXPECT_EQ(pages.typingText(), QStringLiteral("Work on"));
    mark();
    pages.navigateHelp(+1);
    EXPECT_FALSE(pages.isTypingActive());
    EXPECT_EQ(pages.typingText(), QString());
    EXPECT_EQ(pages.typingOpacity(), 1.0);
    loop.advance(10s);
    EXPECT_EQ(take(), (QStringList{at(0ms, QStringLiteral("isTypingActive=false")),
                                   at(0ms, QStringLiteral("typingText=")),
                                   at(0ms, QStringLiteral("helpPage=1")),
                                   at(5000ms, QStringLiteral("showHitNext=true"))}));

    mark();
    pages.navigateHelp(-1);
    EXPECT_EQ(pages.helpPage(), 0);
    EXPECT_TRUE(pages.isTypingActive());
    EXPECT_EQ(pages.typingExampleIndex(), 1);
    EXPECT_EQ(pages.typingText(), QStringLiteral("W"));
    loop.advance(100ms);
    EXPECT_EQ(pages.typingText(), QStringLiteral("Wor"));
}

// ---- page 1 ---------------------------------------------------------------------------------

TEST_F(HelpPagesTest, NextAndBackWalkPageOnesStagesBeforeLeavingIt) {
    openAt(1);
    EXPECT_EQ(pages.helpStage(), -1);
    QList<std::pair<int, int>> walk;
    for (int i = 0; i < 5; ++i) {
        pages.navigateHelp(+1);
        walk << std::pair(pages.helpPage(), pages.helpStage());
    }
    EXPECT_EQ(walk, (QList<std::pair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {2, -1}, {3, -1}}));

    walk.clear();
    pages.navigateHelp(-1); // to page 2
    pages.navigateHelp(-1); // page 1 opens at its intro
    walk << std::pair(pages.helpPage(), pages.helpStage());
    for (int i = 0; i < 2; ++i) {
        pages.navigateHelp(+1);
    }
    for (int i = 0; i < 3; ++i) {
        pages.navigateHelp(-1);
        walk << std::pair(pages.helpPage(), pages.helpStage());
    }
    EXPECT_EQ(walk, (QList<std::pair<int, int>>{{1, -1}, {1, 0}, {1, -1}, {0, -1}}));
}

TEST_F(HelpPagesTest, TheHitNextHintComesFiveSecondsAfterEachArrivalAndStep) {
    pages.open();
    mark();
    pages.navigateHelp(+1);
    loop.advance(4999ms);
    EXPECT_FALSE(pages.showHitNext());
    loop.advance(1ms);
    EXPECT_TRUE(pages.showHitNext());

    mark();
    pages.navigateHelp(+1); // stage 0: the hint hides and starts over
    EXPECT_FALSE(pages.showHitNext());
    loop.advance(3s);
    pages.navigateHelp(-1); // back to the intro, again from zero
    loop.advance(4999ms);
    EXPECT_FALSE(pages.showHitNext());
    loop.advance(1ms);
    EXPECT_EQ(take(QStringLiteral("showHitNext")),
              (QStringList{at(0ms, QStringLiteral("showHitNext=false")),
                           at(8000ms, QStringLiteral("showHitNext=true"))}));

    pages.navigateHelp(-1); // leaving the page cancels the hint
    EXPECT_FALSE(pages.showHitNext());
    EXPECT_FALSE(pages.hasHitNextTask());
}

TEST_F(HelpPagesTest, TheStageTwoCountdownTicksEverySixTenthsAndRestsAtOne) {
    goToStage(1);
    mark();
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpCountdownValue(), 15);
    EXPECT_TRUE(pages.hasCountdownTimer());
    loop.advance(599ms);
    EXPECT_EQ(pages.helpCountdownValue(), 15);
    loop.advance(60s);
    QStringList expected;
    for (int value = 14; value >= 1; --value) {
        expected << at(600ms * (15 - value),
                       QStringLiteral("helpCountdownValue=") + QString::number(value));
    }
    EXPECT_EQ(take(QStringLiteral("helpCountdownValue")), expected);
    EXPECT_EQ(pages.helpCountdownValue(), 1);
    EXPECT_FALSE(pages.hasCountdownTimer());
}

TEST_F(HelpPagesTest, LeavingStageTwoStopsTheCountdownAndReturningStartsItAtFifteen) {
    goToStage(2);
    loop.advance(3s);
    EXPECT_EQ(pages.helpCountdownValue(), 10);
    pages.navigateHelp(-1);
    EXPECT_EQ(pages.helpStage(), 1);
    EXPECT_FALSE(pages.hasCountdownTimer());
    loop.advance(3s);
    EXPECT_EQ(pages.helpCountdownValue(), 10);

    mark();
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpCountdownValue(), 15);
    loop.advance(600ms);
    EXPECT_EQ(pages.helpCountdownValue(), 14);

    pages.navigateHelp(+1); // on to page 2: page 1 starts over next time
    EXPECT_EQ(pages.helpPage(), 2);
    EXPECT_FALSE(pages.hasCountdownTimer());
    EXPECT_EQ(pages.helpCountdownValue(), 15);
    EXPECT_EQ(pages.helpStage(), -1);
}

TEST_F(HelpPagesTest, TheGhostFloatsWhileTheFirstOutcomeShows) {
    openAt(1);
    mark();
    pages.navigateHelp(+1);
    EXPECT_TRUE(pages.isGhostAnimating());
    loop.advance(6799ms);
    EXPECT_EQ(take(QStringLiteral("ghost")),
              (QStringList{at(0ms, QStringLiteral("ghostOpacity=0.15")),
                           at(0ms, QStringLiteral("ghostFloatOffset=-6")),
                           at(1600ms, QStringLiteral("ghostOpacity=0")),
                           at(1600ms, QStringLiteral("ghostFloatOffset=0")),
                           at(3400ms, QStringLiteral("ghostOpacity=0.15")),
                           at(3400ms, QStringLiteral("ghostFloatOffset=-6")),
                           at(5000ms, QStringLiteral("ghostOpacity=0")),
                           at(5000ms, QStringLiteral("ghostFloatOffset=0"))}));
    loop.advance(900ms); // risen again at 6.8 s
    EXPECT_EQ(pages.ghostOpacity(), 0.15);

    mark();
    pages.navigateHelp(+1); // stage 1: the ghost goes
    EXPECT_EQ(take(QStringLiteral("ghost")),
              (QStringList{at(0ms, QStringLiteral("ghostOpacity=0")),
                           at(0ms, QStringLiteral("ghostFloatOffset=0"))}));
    EXPECT_FALSE(pages.isGhostAnimating());
    loop.advance(10s);
    EXPECT_TRUE(take(QStringLiteral("ghost")).isEmpty());

    mark();
    pages.navigateHelp(-1); // back on stage 0: it rises from the start
    EXPECT_TRUE(pages.isGhostAnimating());
    loop.advance(1599ms);
    EXPECT_EQ(pages.ghostOpacity(), 0.15);
    loop.advance(1ms);
    EXPECT_EQ(pages.ghostOpacity(), 0.0);
    pages.navigateHelp(-1); // intro
    EXPECT_FALSE(pages.isGhostAnimating());
    EXPECT_EQ(pages.ghostFloatOffset(), 0.0);
}

// ---- page 2 ---------------------------------------------------------------------------------

TEST_F(HelpPagesTest, PageTwoTypesTheAimsetAndShowsTheExpansionThreeSecondsLater) {
    openAt(1);
    loop.advance(1s);
    pages.navigateHelp(+1);
    pages.navigateHelp(+1);
    pages.navigateHelp(+1);
    mark();
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpPage(), 2);
    loop.advance(4299ms);
    EXPECT_FALSE(pages.showPage3Expansion());
    loop.advance(1ms);
    EXPECT_TRUE(pages.showPage3Expansion());
    loop.advance(30s); // it runs once
    QStringList expected{at(0ms, QStringLiteral("isPage3TypingActive=true"))};
    expected << typed(QStringLiteral("page3TypingText"), HelpPages::page3Aimset, 0ms, 50ms)
             << at(4300ms, QStringLiteral("showPage3Expansion=true"));
    EXPECT_EQ(take(QStringLiteral("isPage3")) + take(QStringLiteral("page3")) +
                  take(QStringLiteral("showPage3")),
              expected);
}

TEST_F(HelpPagesTest, LeavingPageTwoMidwayStopsItAndReturningTypesFromTheStart) {
    openAt(2);
    loop.advance(500ms);
    EXPECT_EQ(pages.page3TypingText(), QStringLiteral("Research fo"));
    pages.navigateHelp(+1);
    EXPECT_FALSE(pages.isPage3TypingActive());
    EXPECT_EQ(pages.page3TypingText(), QString());
    loop.advance(10s);
    EXPECT_EQ(pages.page3TypingText(), QString());
    EXPECT_FALSE(pages.showPage3Expansion());

    mark();
    pages.navigateHelp(-1);
    EXPECT_EQ(pages.page3TypingText(), QStringLiteral("R"));
    loop.advance(4299ms);
    EXPECT_FALSE(pages.showPage3Expansion());
    loop.advance(1ms);
    EXPECT_TRUE(pages.showPage3Expansion());
}

// ---- page 3 ---------------------------------------------------------------------------------

TEST_F(HelpPagesTest, PageThreeStepsTheSliderToTwoHoursThenShowsTheProgressInfo) {
    openAt(2);
    mark();
    pages.navigateHelp(+1);
    loop.advance(6999ms);
    EXPECT_FALSE(pages.showPage4ProgressInfo());
    loop.advance(30s);
    EXPECT_EQ(take(QStringLiteral("page4")) + take(QStringLiteral("showPage4")),
              (QStringList{at(500ms, QStringLiteral("page4SliderValue=1")),
                           at(1000ms, QStringLiteral("page4SliderValue=2")),
                           at(1500ms, QStringLiteral("page4SliderValue=3")),
                           at(2000ms, QStringLiteral("page4SliderValue=4")),
                           at(7000ms, QStringLiteral("showPage4ProgressInfo=true"))}));
    EXPECT_EQ(pages.goalLabels().at(4), QStringLiteral("2h"));
    EXPECT_EQ(pages.goalLabels().size(), 7);
}

TEST_F(HelpPagesTest, LeavingPageThreeMidwayResetsTheSliderAndReturningStartsAgain) {
    openAt(3);
    loop.advance(1200ms);
    EXPECT_EQ(pages.page4SliderValue(), 2.0);
    pages.navigateHelp(-1);
    EXPECT_FALSE(pages.isPage4Active());
    EXPECT_EQ(pages.page4SliderValue(), 0.0);
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.page4SliderValue(), 0.0);
    loop.advance(499ms);
    EXPECT_EQ(pages.page4SliderValue(), 0.0);
    loop.advance(1ms);
    EXPECT_EQ(pages.page4SliderValue(), 1.0);
}

// ---- page 4 ---------------------------------------------------------------------------------

TEST_F(HelpPagesTest, PageFourPressesTheKeysTypesTheTranscriptAndClosesInOrder) {
    openAt(3);
    mark();
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpPage(), 4);
    loop.advance(4379ms);
    EXPECT_FALSE(pages.page5ShowClosing());
    loop.advance(30s);
    const QString sentence = HelpPages::page5Sentence;
    const ms typedUntil = 1250ms + 45ms * sentence.size();
    QStringList expected{at(0ms, QStringLiteral("isPage4Active=false")),
                         at(0ms, QStringLiteral("helpPage=4")),
                         at(0ms, QStringLiteral("isPage5Active=true")),
                         at(400ms, QStringLiteral("page5OptionPressed=true")),
                         at(550ms, QStringLiteral("page5MPressed=true")),
                         at(850ms, QStringLiteral("page5ShowPanel=true"))};
    expected << typed(QStringLiteral("page5Transcript"), sentence, 1250ms, 45ms)
             << at(typedUntil, QStringLiteral("page5MPressed=false"))
             << at(typedUntil + 100ms, QStringLiteral("page5OptionPressed=false"))
             << at(typedUntil + 300ms, QStringLiteral("page5ShowPanel=false"))
             << at(typedUntil + 700ms, QStringLiteral("page5ShowClosing=true"));
    EXPECT_EQ(take(), expected);
    EXPECT_EQ(typedUntil, 3680ms);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);

    pages.navigateHelp(+1); // the last page: next does nothing
    EXPECT_EQ(pages.helpPage(), 4);
    EXPECT_TRUE(take().isEmpty());
}

TEST_F(HelpPagesTest, LeavingPageFourWhileTheKeysAreDownReleasesEverything) {
    openAt(4);
    loop.advance(2s);
    EXPECT_TRUE(pages.page5MPressed());
    EXPECT_TRUE(pages.page5ShowPanel());
    pages.navigateHelp(-1);
    EXPECT_FALSE(pages.isPage5Active());
    EXPECT_FALSE(pages.page5OptionPressed());
    EXPECT_FALSE(pages.page5MPressed());
    EXPECT_FALSE(pages.page5ShowPanel());
    EXPECT_EQ(pages.page5Transcript(), QString());
    pages.navigateHelp(+1);
    EXPECT_FALSE(pages.page5OptionPressed());
    loop.advance(399ms);
    EXPECT_FALSE(pages.page5OptionPressed());
    loop.advance(1ms);
    EXPECT_TRUE(pages.page5OptionPressed());
}

// ---- closing and reopening ------------------------------------------------------------------

TEST_F(HelpPagesTest, ClosingStopsEverythingAndReopeningStartsAtTheFirstExample) {
    openAt(0);
    loop.advance(7s); // the second example
    EXPECT_EQ(pages.typingExampleIndex(), 2);
    for (int i = 0; i < 3; ++i) {
        pages.navigateHelp(+1); // page 1, stage 0, stage 1
    }
    EXPECT_EQ(pages.helpStage(), 1);
    pages.closeHelp();
    EXPECT_EQ(closeCalls, 1);
    EXPECT_FALSE(pages.isOpen());
    EXPECT_EQ(pages.helpPage(), 0);
    EXPECT_EQ(pages.typingExampleIndex(), 0);
    EXPECT_EQ(pages.helpStage(), -1);
    EXPECT_FALSE(pages.isTypingActive());
    EXPECT_FALSE(pages.hasHitNextTask());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);

    // Arrows of a card that is not on screen do nothing.
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpPage(), 0);

    pages.open();
    EXPECT_EQ(pages.typingText(), QStringLiteral("S"));
    pages.navigateHelp(+1);
    EXPECT_EQ(pages.helpStage(), -1);
}

TEST_F(HelpPagesTest, ClosingFromEveryPageLeavesNoTimerBehind) {
    for (int page = 0; page < HelpPages::pageCount; ++page) {
        openAt(page);
        loop.advance(1s);
        pages.closeHelp();
        EXPECT_EQ(loop.scheduledTimerCount(), 0u) << page;
        EXPECT_FALSE(pages.isTypingActive() || pages.isPage3TypingActive() ||
                     pages.isPage4Active() || pages.isPage5Active() || pages.isGhostAnimating())
            << page;
    }
    goToStage(0);
    pages.closeHelp();
    EXPECT_FALSE(pages.isGhostAnimating());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(HelpPagesTest, ADirectionOfZeroDoesNothingAndOtherValuesCountByTheirSign) {
    pages.open();
    pages.navigateHelp(0);
    EXPECT_EQ(pages.helpPage(), 0);
    pages.navigateHelp(7);
    EXPECT_EQ(pages.helpPage(), 1);
    pages.navigateHelp(-3);
    EXPECT_EQ(pages.helpPage(), 0);
    pages.navigateHelp(-1); // no page before the first; its demonstration keeps running
    EXPECT_EQ(pages.helpPage(), 0);
    EXPECT_TRUE(pages.isTypingActive());
}

TEST(HelpPagesLifetimeTest, PendingStepsDieWithTheCard) {
    VirtualMainLoop loop;
    {
        HelpPages pages(loop);
        pages.open();
        pages.navigateHelp(+1);
        pages.navigateHelp(+1);
    }
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(20s);
}

// ---- in the main view -----------------------------------------------------------------------

TEST(HelpInContentViewTest, ShowHelpOpensTheCardAndClosingItHidesTheOverlay) {
    test::SimulatedDesktop sim;
    sim.defaults.setBool(ContentView::onboardingKey, true);
    ContentView view(sim.desktop());
    HelpPages* pages = view.helpPages();
    EXPECT_FALSE(pages->isOpen());
    EXPECT_FALSE(pages->isTypingActive());

    view.toggleHelp();
    EXPECT_TRUE(view.showHelp());
    EXPECT_TRUE(pages->isOpen());
    EXPECT_EQ(pages->typingText(), QStringLiteral("S"));
    pages->navigateHelp(+1);
    pages->navigateHelp(+1);
    EXPECT_TRUE(pages->isGhostAnimating());

    pages->closeHelp();
    EXPECT_FALSE(view.showHelp());
    EXPECT_FALSE(pages->isOpen());
    EXPECT_EQ(pages->helpPage(), 0);
    EXPECT_FALSE(pages->isGhostAnimating());

    // Hidden by the "?" button instead: the card stops all the same.
    view.toggleHelp();
    pages->navigateHelp(+1);
    pages->navigateHelp(+1);
    pages->navigateHelp(+1);
    pages->navigateHelp(+1);
    pages->navigateHelp(+1);
    EXPECT_EQ(pages->helpPage(), 2);
    view.toggleHelp();
    EXPECT_FALSE(view.showHelp());
    EXPECT_FALSE(pages->isOpen());
    EXPECT_FALSE(pages->isPage3TypingActive());
    EXPECT_EQ(pages->helpPage(), 0);
    view.setShowHelp(true);
    EXPECT_EQ(pages->helpPage(), 0);
    EXPECT_EQ(pages->typingExampleIndex(), 0);
    EXPECT_EQ(pages->typingText(), QStringLiteral("S"));
}

} // namespace
