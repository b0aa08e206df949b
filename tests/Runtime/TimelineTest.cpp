#include "Runtime/Timeline.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

using Table = Timeline::Table;

struct TimelineTest : ::testing::Test {
    VirtualMainLoop loop;
    Timeline timeline{loop, {{u"a"_s, 0}, {u"b"_s, u""_s}}};
    QStringList lines;
    int finishes = 0;

    TimelineTest() {
        // Every change as "<ms> <field> <value>", in the order it was applied.
        QObject::connect(
            &timeline, &Timeline::stateChanged, [this, seen = timeline.state()]() mutable {
                for (auto it = timeline.state().begin(); it != timeline.state().end(); ++it) {
                    if (seen.value(it.key()) != it.value()) {
                        lines << u"%1 %2 %3"_s.arg(loop.now().count())
                                     .arg(it.key(), it.value().toString());
                    }
                }
                seen = timeline.state();
            });
        QObject::connect(&timeline, &Timeline::finished, [this] { ++finishes; });
    }
};

struct Case {
    const char* name;
    Table table;
    std::chrono::milliseconds played;
    QStringList changes;
    int finishes;
};

TEST_F(TimelineTest, PlaysEachTableAsWritten) {
    const Case cases[] = {
        {"cues due at once apply before play returns; equal values change nothing",
         {{0ms, u"a"_s, 1}, {0ms, u"a"_s, 1}, {10ms, u"a"_s, 2}},
         10ms,
         {u"0 a 1"_s, u"10 a 2"_s},
         1},
        {"one time applies in table order, out-of-order times by time",
         {{20ms, u"b"_s, u"late"_s}, {5ms, u"a"_s, 1}, {5ms, u"b"_s, u"x"_s}},
         1s,
         {u"5 a 1"_s, u"5 b x"_s, u"20 b late"_s},
         1},
        {"an end marker changes nothing and holds the end back",
         {{5ms, u"a"_s, 1}, {50ms, {}, {}}},
         49ms,
         {u"5 a 1"_s},
         0},
        {"a repeating cue comes back every period and never finishes",
         {{0ms, u"a"_s, 1, 30ms}, {10ms, u"a"_s, 0, 30ms}},
         70ms,
         {u"0 a 1"_s, u"10 a 0"_s, u"30 a 1"_s, u"40 a 0"_s, u"60 a 1"_s, u"70 a 0"_s},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lines.clear();
        finishes = 0;
        loop.advanceTo(1h);
        const auto start = loop.now();
        timeline.play(c.table);
        loop.advance(c.played);
        for (QString& line : lines) {
            const auto space = line.indexOf(u' ');
            line = QString::number(line.left(space).toLongLong() - start.count()) + line.mid(space);
        }
        EXPECT_EQ(lines, c.changes);
        EXPECT_EQ(finishes, c.finishes);
        timeline.stop();
    }
}

TEST_F(TimelineTest, TypingAndCountdownWriteOneCuePerStep) {
    Table table;
    EXPECT_EQ(Timeline::typing(table, u"b"_s, u"abc"_s, 100ms, 50ms), 200ms);
    EXPECT_EQ(Timeline::countdown(table, u"a"_s, 3, 1, 1000ms, 600ms), 2800ms);
    timeline.play(table);
    loop.advance(10s);
    EXPECT_EQ(lines, (QStringList{u"100 b a"_s, u"150 b ab"_s, u"200 b abc"_s, u"1600 a 2"_s,
                                  u"2200 a 1"_s}));
}

TEST_F(TimelineTest, StopAndReplayStartFromTheDefaultsAndDropWhatWasLeft) {
    timeline.play({{0ms, u"a"_s, 1}, {10ms, u"b"_s, u"x"_s}, {20ms, u"a"_s, 2}});
    loop.advance(15ms);
    timeline.play({{5ms, u"b"_s, u"y"_s}});
    loop.advance(1s);
    EXPECT_EQ(lines, (QStringList{u"0 a 1"_s, u"10 b x"_s, u"15 a 0"_s, u"15 b "_s, u"20 b y"_s}));
    timeline.play({{0ms, u"a"_s, 1}, {10ms, u"a"_s, 2}});
    timeline.stop();
    EXPECT_EQ(timeline.state(), (QVariantMap{{u"a"_s, 0}, {u"b"_s, u""_s}}));
    EXPECT_FALSE(timeline.isPlaying());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(finishes, 1);
}

TEST(TimelineLifetimeTest, PendingCuesDieWithTheTimeline) {
    VirtualMainLoop loop;
    auto timeline = std::make_unique<Timeline>(loop, QVariantMap{});
    timeline->play({{1s, u"a"_s, 1}});
    timeline.reset();
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(2s);
}

} // namespace
