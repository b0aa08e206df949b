#include "Interventions/TabCloser.h"

#include "Platform/Fake/FakeKeyEventPoster.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

struct TabCloserTest : ::testing::Test {
    test::LogCapture log;
    FakeKeyEventPoster keys;
    TabCloser closer{keys};
};

TEST_F(TabCloserTest, PostsCommandWDownThenUpAndReleasesEverything) {
    keys.heldFlags = 0x80000; // the user happens to hold another modifier
    closer.closeCurrentTab();

    // Only the Command flag, whatever else is held.
    ASSERT_EQ(keys.posted.size(), 2u);
    EXPECT_EQ(keys.posted[0].flags, 0x100000u);
    EXPECT_EQ(keys.calls,
              (QStringList{u"createSource"_s, u"createKeyboardEvent 13 down"_s,
                           u"createKeyboardEvent 13 up"_s, u"setFlags 13 down 0x100000"_s,
                           u"setFlags 13 up 0x100000"_s, u"post 13 down"_s, u"post 13 up"_s,
                           u"release 13 up"_s, u"release 13 down"_s, u"release source"_s}));
    EXPECT_EQ(keys.liveObjects, 0);
    EXPECT_EQ(log.lines(), QStringList{u"[TabCloser] Sent Ctrl+W via XTest"_s});

    // Stateless: a second call does exactly the same again.
    closer.closeCurrentTab();
    EXPECT_EQ(keys.posted.size(), 4u);
}

TEST_F(TabCloserTest, NoSourceMeansNothingPostedAndOnlyItsLine) {
    keys.failSource = true;
    closer.closeCurrentTab();
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(keys.calls, QStringList{u"createSource"_s});
    EXPECT_EQ(log.lines(), QStringList{u"[TabCloser] Failed to reach XTest"_s});
}

TEST_F(TabCloserTest, AnEventThatCannotBeMadeMeansNoLoneKeyDown) {
    keys.failKeyUp = true;
    closer.closeCurrentTab();
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(keys.calls, (QStringList{u"createSource"_s, u"createKeyboardEvent 13 down"_s,
                                       u"createKeyboardEvent 13 up"_s, u"release 13 down"_s,
                                       u"release source"_s}));
    EXPECT_EQ(keys.liveObjects, 0);
    EXPECT_EQ(log.take(), QStringList{u"[TabCloser] Failed to create the Ctrl+W key events"_s});

    keys.calls.clear();
    keys.failKeyUp = false;
    keys.failKeyDown = true;
    closer.closeCurrentTab();
    EXPECT_TRUE(keys.posted.empty());
    EXPECT_EQ(keys.calls, (QStringList{u"createSource"_s, u"createKeyboardEvent 13 down"_s,
                                       u"release source"_s}));
    EXPECT_EQ(log.take(), QStringList{u"[TabCloser] Failed to create the Ctrl+W key events"_s});
}

} // namespace
