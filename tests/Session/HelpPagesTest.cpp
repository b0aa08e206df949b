#include "Session/HelpPages.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

// The card's navigation, and that closing it stops every demonstration; the
// demonstrations themselves are walked by the help-pages scenario and the QML test.
namespace {

struct HelpPagesTest : ::testing::Test {
    VirtualMainLoop loop;
    HelpPages pages{loop};
    int closeCalls = 0;

    HelpPagesTest() {
        QObject::connect(&pages, &HelpPages::closed, [this] { ++closeCalls; });
        pages.setOpen(true);
    }
    // Where the card is after these arrows from its first page, as "page/stage".
    QString walk(std::initializer_list<int> directions) {
        pages.closeHelp();
        pages.setOpen(true);
        for (int direction : directions) {
            pages.navigateHelp(direction);
        }
        return u"%1/%2"_s.arg(pages.helpPage()).arg(pages.helpStage());
    }
};

// Back from page 2 to page 1's start, and back through its stages; the card
// offers no arrow past either end.
TEST_F(HelpPagesTest, TheArrowsWalkPageOnesStagesBeforeLeavingIt) {
    EXPECT_EQ(walk({+1, +1, +1, +1, +1, -1}), u"1/-1"_s);
    EXPECT_EQ(walk({+1, +1, +1, -1, -1, -1}), u"0/-1"_s);
    EXPECT_EQ(closeCalls, 2);
}

// (What dies with the card is its Timeline's, as the timeline's own test shows.)
TEST_F(HelpPagesTest, ClosingFromAnyPageLeavesNoTimerBehind) {
    for (int page = 0; page < HelpPages::pageCount; ++page) {
        pages.setOpen(true);
        for (int step = 0; step < page + (page >= 1 ? 3 : 0); ++step) {
            pages.navigateHelp(+1);
        }
        loop.advance(1s);
        pages.closeHelp();
        EXPECT_EQ(loop.scheduledTimerCount(), 0u) << page;
    }
}

} // namespace
