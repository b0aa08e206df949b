#include "Runtime/Timeline.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

using Table = Timeline::Table;

// A timeline of two fields on a virtual loop; every change it announces is
// one line "<ms> a=<a> b=<b>".
struct Player {
    VirtualMainLoop loop;
    Timeline timeline{loop, {{u"a"_s, 0}, {u"b"_s, u""_s}}};
    QStringList lines;
    int finishes = 0;

    Player() {
        QObject::connect(&timeline, &Timeline::stateChanged, [this] {
            lines << u"%1 a=%2 b=%3"_s.arg(loop.now().count())
                         .arg(timeline.state().value(u"a"_s).toString(),
                              timeline.state().value(u"b"_s).toString());
        });
        QObject::connect(&timeline, &Timeline::finished, [this] { ++finishes; });
    }
};

TEST(TimelineTest, PlaysEachTableAsWritten) {
    const struct {
        const char* name;
        Table table;
        std::chrono::milliseconds played;
        QStringList changes;
        int finishes;
    } cases[] = {
        {"cues due at once apply before play returns; equal values change nothing",
         {{0ms, u"a"_s, 1}, {0ms, u"a"_s, 1}, {10ms, u"a"_s, 2}, {20ms, u"a"_s, 2}},
         1s,
         {u"0 a=1 b="_s, u"10 a=2 b="_s},
         1},
        {"one time applies in table order, out-of-order times by time",
         {{20ms, u"b"_s, u"late"_s}, {5ms, u"a"_s, 1}, {5ms, u"a"_s, 3}},
         1s,
         {u"5 a=3 b="_s, u"20 a=3 b=late"_s},
         1},
        {"an end marker changes nothing and holds the end back",
         {{5ms, u"a"_s, 1}, {50ms, {}, {}}},
         49ms,
         {u"5 a=1 b="_s},
         0},
        {"a repeating cue comes back every period and never finishes",
         {{0ms, u"a"_s, 1, 30ms}, {10ms, u"a"_s, 0, 30ms}},
         70ms,
         {u"0 a=1 b="_s, u"10 a=0 b="_s, u"30 a=1 b="_s, u"40 a=0 b="_s, u"60 a=1 b="_s,
          u"70 a=0 b="_s},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Player player;
        player.timeline.play(c.table);
        player.loop.advance(c.played);
        EXPECT_EQ(player.lines, c.changes);
        EXPECT_EQ(player.finishes, c.finishes);
    }
}

TEST(TimelineTest, StopAndReplayStartFromTheDefaultsAndDropWhatWasLeft) {
    Player player;
    player.timeline.play({{0ms, u"a"_s, 1}, {10ms, u"b"_s, u"x"_s}, {20ms, u"a"_s, 2}});
    player.loop.advance(15ms);
    player.timeline.play({{5ms, u"b"_s, u"y"_s}});
    player.loop.advance(1s);
    player.timeline.play({{0ms, u"a"_s, 1}, {10ms, u"a"_s, 2}});
    player.timeline.stop();
    EXPECT_EQ(player.lines,
              (QStringList{u"0 a=1 b="_s, u"10 a=1 b=x"_s, u"15 a=0 b="_s, u"20 a=0 b=y"_s,
                           u"1015 a=0 b="_s, u"1015 a=1 b="_s, u"1015 a=0 b="_s}));
    EXPECT_EQ(player.loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(player.finishes, 1);
    // Pending cues die with the timeline.
    auto timeline = std::make_unique<Timeline>(player.loop, QVariantMap{});
    timeline->play({{1s, u"a"_s, 1}});
    timeline.reset();
    EXPECT_EQ(player.loop.scheduledTimerCount(), 0u);
    player.loop.advance(2s);
}

} // namespace
