#include "Session/HelpPages.h"
#include "Runtime/VirtualMainLoop.h"
#include "Session/ContentView.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// The card's navigation and how each page's demonstration starts, stops and
// loops; the tables' moments on screen are walked by the help-pages scenario.
namespace {

struct HelpPagesTest : ::testing::Test {
    VirtualMainLoop loop;
    HelpPages pages{loop};
    int closeCalls = 0;

    HelpPagesTest() {
        QObject::connect(&pages, &HelpPages::closed, [this] { ++closeCalls; });
        pages.open();
    }
    void press(std::initializer_list<int> directions) {
        for (int direction : directions) {
            pages.navigateHelp(direction);
        }
    }
    QString text(const char* field) const { return pages.demo(field).toString(); }
};

TEST_F(HelpPagesTest, TheArrowsWalkPageOnesStagesBeforeLeavingIt) {
    struct Case {
        std::vector<int> directions;
        int page;
        int stage;
    } const cases[] = {
        {{-1}, 0, -1},
        {{0, +1}, 1, -1},
        {{+1, +1, +1, +1}, 1, 2},
        {{+1, +1, +1, +1, +1}, 2, -1},
        {{+1, +1, +1, +1, +1, -1}, 1, -1},
        {{+1, +1, +1, -1, -1, -1}, 0, -1},
        {{+9, +1, +1, +1, +1, +1, +1, +1, +1}, 4, -1},
    };
    for (const Case& c : cases) {
        pages.closeHelp();
        pages.open();
        for (int direction : c.directions) {
            pages.navigateHelp(direction);
        }
        EXPECT_EQ(pages.helpPage(), c.page) << ::testing::PrintToString(c.directions);
        EXPECT_EQ(pages.helpStage(), c.stage) << ::testing::PrintToString(c.directions);
    }
    EXPECT_EQ(closeCalls, static_cast<int>(std::size(cases)));
}

TEST_F(HelpPagesTest, PageZeroTypesTheExamplesInTurnAndResumesTheCurrentOneAfresh) {
    // 22 characters 50 ms apart, held 1.5 s after the last interval, faded
    // 0.4 s: the next example starts 3 s after the first.
    loop.advance(2999ms);
    EXPECT_EQ(pages.demo("typingOpacity").toDouble(), 0.0);
    loop.advance(1ms);
    EXPECT_EQ(text("typingText"), u"W"_s);
    EXPECT_EQ(pages.demo("typingOpacity").toDouble(), 1.0);
    press({+1, -1});
    EXPECT_EQ(text("typingText"), u"W"_s);
    EXPECT_EQ(pages.typingExampleIndex(), 1);
    // Closing starts the next opening from the first example.
    pages.closeHelp();
    loop.advance(10s);
    EXPECT_EQ(text("typingText"), QString());
    pages.open();
    EXPECT_EQ(text("typingText"), u"S"_s);
}

TEST_F(HelpPagesTest, TheGhostFloatsOnlyInStageZeroAndTheCountdownRestsAtOne) {
    press({+1, +1});
    loop.advance(1599ms);
    EXPECT_EQ(pages.demo("ghostFloatOffset").toDouble(), -6.0);
    loop.advance(1ms);
    EXPECT_EQ(pages.demo("ghostOpacity").toDouble(), 0.0);
    loop.advance(1800ms);
    EXPECT_EQ(pages.demo("ghostOpacity").toDouble(), 0.15);
    press({+1, +1});
    EXPECT_EQ(pages.demo("ghostOpacity").toDouble(), 0.0);
    loop.advance(8399ms);
    EXPECT_EQ(pages.demo("helpCountdownValue").toInt(), 2);
    loop.advance(1ms);
    EXPECT_EQ(pages.demo("helpCountdownValue").toInt(), 1);
    loop.advance(1min);
    EXPECT_EQ(pages.demo("helpCountdownValue").toInt(), 1);
    EXPECT_FALSE(pages.isDemoPlaying());
    // Back and forth: the countdown starts again at 15, with the hint 5 s on.
    press({-1, +1});
    EXPECT_EQ(pages.demo("helpCountdownValue").toInt(), 15);
    EXPECT_FALSE(pages.demo("showHitNext").toBool());
    loop.advance(5s);
    EXPECT_TRUE(pages.demo("showHitNext").toBool());
}

TEST_F(HelpPagesTest, LeavingAPageMidwayStopsItAndReturningStartsItFromTheBeginning) {
    press({+1, +1, +1, +1, +1});
    loop.advance(550ms);
    EXPECT_EQ(text("page3TypingText"), u"Research for"_s);
    press({+1, -1});
    EXPECT_EQ(text("page3TypingText"), u"R"_s);
    press({+1, +1});
    loop.advance(1s);
    EXPECT_TRUE(pages.demo("page5MPressed").toBool());
    press({-1});
    EXPECT_FALSE(pages.demo("page5MPressed").toBool());
    EXPECT_EQ(pages.demo("page4SliderValue").toDouble(), 0.0);
}

TEST_F(HelpPagesTest, ClosingFromAnyPageOrDyingLeavesNoTimerBehind) {
    for (int page = 0; page < HelpPages::pageCount; ++page) {
        pages.open();
        for (int step = 0; step < page + (page >= 1 ? 3 : 0); ++step) {
            pages.navigateHelp(+1);
        }
        loop.advance(1s);
        pages.closeHelp();
        EXPECT_EQ(loop.scheduledTimerCount(), 0u) << page;
    }
    {
        HelpPages dying(loop);
        dying.open();
    }
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST(HelpInContentViewTest, ShowHelpOpensTheCardAndClosingItHidesTheOverlay) {
    test::SimulatedDesktop sim;
    sim.defaults.setBool(ContentView::onboardingKey, true);
    ContentView view(sim.desktop());
    HelpPages* pages = view.helpPages();
    EXPECT_FALSE(pages->isDemoPlaying());

    view.toggleHelp();
    EXPECT_TRUE(pages->isOpen());
    EXPECT_EQ(pages->demo("typingText").toString(), u"S"_s);
    pages->closeHelp();
    EXPECT_FALSE(view.showHelp());
    EXPECT_FALSE(pages->isDemoPlaying());

    // Hidden by the "?" button instead: the card stops all the same.
    view.toggleHelp();
    pages->navigateHelp(+1);
    view.toggleHelp();
    EXPECT_FALSE(pages->isOpen());
    EXPECT_FALSE(pages->isDemoPlaying());
    EXPECT_EQ(pages->helpPage(), 0);
}

} // namespace
