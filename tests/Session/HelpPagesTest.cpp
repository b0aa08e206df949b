#include "Session/HelpPages.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

// The card's navigation, and that closing it stops every demonstration; the
// demonstrations themselves are walked by the help-pages scenario and the QML test.
namespace {

struct HelpPagesTest : ::testing::Test {
    VirtualMainLoop loop;
    HelpPages pages{loop};
    int closeCalls = 0;

    HelpPagesTest() {
        QObject::connect(&pages, &HelpPages::closed, [this] { ++closeCalls; });
        pages.open();
    }
};

TEST_F(HelpPagesTest, TheArrowsWalkPageOnesStagesBeforeLeavingIt) {
    struct Case {
        std::vector<int> directions;
        int page;
        int stage;
    } const cases[] = {
        // Back from page 2 to page 1's start, and back through its stages;
        // the card offers no arrow past either end.
        {{+1, +1, +1, +1, +1, -1}, 1, -1},
        {{+1, +1, +1, -1, -1, -1}, 0, -1},
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

} // namespace
