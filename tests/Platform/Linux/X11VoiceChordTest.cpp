#include "Platform/Linux/X11VoiceChord.h"
#include "support/QtPrinters.h"
#include "support/x11/X11TestDesktop.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::TestWindow;

namespace {

constexpr std::uint8_t kAltL = 64;
constexpr std::uint8_t kAltR = 108;
constexpr std::uint8_t kShiftL = 50;
constexpr std::uint8_t kM = 58;
constexpr std::uint8_t kN = 57;

// Raw presses (+) and releases (-) in, chord changes out ("down", "up").
TEST(AltMTrackerTest, FollowsTheChordThroughRawKeys) {
    struct Key {
        std::uint8_t code;
        bool pressed;
    };
    const struct {
        const char* name;
        std::vector<Key> keys;
        const char* changes;
    } cases[] = {
        {"Alt then M, M let go first",
         {{kAltL, true}, {kM, true}, {kM, false}, {kAltL, false}},
         "down up"},
        {"Alt let go first", {{kAltL, true}, {kM, true}, {kAltL, false}, {kM, false}}, "down up"},
        {"M before Alt is no chord", {{kM, true}, {kAltL, true}, {kM, false}, {kAltL, false}}, ""},
        {"M alone, N with Alt", {{kM, true}, {kM, false}, {kAltL, true}, {kN, true}}, ""},
        {"other modifiers do not matter",
         {{kShiftL, true}, {kAltL, true}, {kM, true}, {kShiftL, false}, {kM, false}},
         "down up"},
        {"the right Alt joining in and leaving changes nothing",
         {{kAltL, true}, {kM, true}, {kAltR, true}, {kAltR, false}, {kAltL, false}},
         "down up"},
        {"a release that arrives twice is no second change",
         {{kAltL, true}, {kM, true}, {kAltL, false}, {kAltL, false}, {kM, false}},
         "down up"},
        {"M again while Alt is still held",
         {{kAltL, true}, {kM, true}, {kM, false}, {kM, true}, {kM, true}},
         "down up down"},
    };
    for (const auto& c : cases) {
        AltMTracker tracker;
        QStringList changes;
        for (const Key& key : c.keys) {
            if (const auto change = tracker.apply(key.code, key.pressed)) {
                changes << (*change ? u"down"_s : u"up"_s);
            }
        }
        EXPECT_EQ(changes.join(u' '), QString::fromLatin1(c.changes)) << c.name;
    }
    // The server's modifier map decides which keys are Alt.
    AltMTracker remapped({kShiftL});
    EXPECT_EQ(remapped.apply(kShiftL, true), std::nullopt);
    EXPECT_EQ(remapped.apply(kM, true), true);
}

TEST(X11VoiceChordTest, HeldAltMIsOneDownAndOneUpAndTheWindowStillGetsTheKeys) {
    test::X11TestDesktop desktop;
    ASSERT_TRUE(desktop.available())
        << "needs an X display with a window manager: run through scripts/with-desktop.sh";
    auto chord = X11VoiceChord::create();
    ASSERT_TRUE(chord);
    QStringList changes;
    ASSERT_TRUE(chord->watch([&] { changes << u"down"_s; }, [&] { changes << u"up"_s; }));
    const auto altM = [&](bool held) {
        desktop.fakeKey(kAltL, true);
        desktop.fakeKey(kM, true);
        // Long enough for the server's auto-repeat to start.
        test::spinUntil([] { return false; }, held ? 1500ms : 0ms);
        desktop.fakeKey(kAltL, false); // Alt let go first
        desktop.fakeKey(kM, false);
        test::spinUntil([] { return false; }, held ? 100ms : 200ms);
    };

    TestWindow window({u"--title"_s, u"Typing here"_s});
    ASSERT_TRUE(desktop.activateAndWait(window.id()));
    altM(true);
    ASSERT_TRUE(test::spinUntil([&] { return changes.size() >= 2; }));
    EXPECT_EQ(changes, (QStringList{u"down"_s, u"up"_s}));
    // The focused window received the keys: nothing was taken from it.
    test::spinUntil([&] { return window.keyLines().size() >= 4; });
    const QStringList keys = window.keyLines();
    for (const QString& key :
         {u"key press 64 state 0"_s, u"key press 58 state 8"_s, u"key release 58 state 0"_s}) {
        EXPECT_TRUE(keys.contains(key)) << keys.join(u'|').toStdString();
    }

    // Unwatched, the chord reports nothing.
    chord->unwatch();
    altM(false);
    EXPECT_EQ(changes.size(), 2);
}

} // namespace
