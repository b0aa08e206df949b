#include "Platform/Linux/X11FrontTabCloser.h"
#include "Interventions/TabCloser.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/x11/X11TestDesktop.h"

#include <QRegularExpression>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace aimset;
using test::TestWindow;

namespace {

constexpr std::uint8_t kShiftL = 50;
constexpr std::uint8_t kAltL = 64;

struct X11FrontTabCloserTest : ::testing::Test {
    test::X11TestDesktop desktop;
    std::unique_ptr<X11FrontTabCloser> frontTab;
    test::LogCapture log;

    void SetUp() override {
        ASSERT_TRUE(desktop.available())
            << "needs an X display with a window manager: run through scripts/with-desktop.sh";
        frontTab = X11FrontTabCloser::create();
        ASSERT_TRUE(frontTab);
    }
    bool isHeld(std::uint8_t keycode) {
        auto* reply = xcb_query_keymap_reply(desktop.connection(),
                                             xcb_query_keymap(desktop.connection()), nullptr);
        const bool held = reply && (reply->keys[keycode / 8] & (1u << (keycode % 8)));
        std::free(reply);
        return held;
    }
    // Closes the tab the way the intervention does, and returns what the
    // focused window received.
    QStringList closeTabWhileHolding(std::optional<std::uint8_t> modifier) {
        TestWindow window({QStringLiteral("--title"), QStringLiteral("A tab")});
        EXPECT_TRUE(desktop.activateAndWait(window.id()));
        if (modifier) {
            desktop.fakeKey(*modifier, true);
        }
        TabCloser closer(*frontTab);
        closer.closeCurrentTab();
        test::spinUntil(
            [&] { return window.keyLines().filter(QStringLiteral("key release 25")).size() == 1; });
        test::spinUntil([] { return false; }, std::chrono::milliseconds(100));
        const QStringList keys = window.keyLines();
        if (modifier) {
            EXPECT_TRUE(isHeld(*modifier)) << "the held modifier is down again afterwards";
            desktop.fakeKey(*modifier, false);
        }
        return keys;
    }
};

TEST_F(X11FrontTabCloserTest, ControlWArrivesAlone) {
    // Only the chord's keys: a key let go by an earlier test may still arrive.
    const QStringList keys = closeTabWhileHolding(std::nullopt)
                                 .filter(QRegularExpression(QStringLiteral("^key \\w+ (25|37) ")));
    EXPECT_EQ(keys, (QStringList{QStringLiteral("key press 37 state 0"),
                                 QStringLiteral("key press 25 state 4"),
                                 QStringLiteral("key release 25 state 4"),
                                 QStringLiteral("key release 37 state 4")}));
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[TabCloser] Sent Ctrl+W via XTest")});
    EXPECT_FALSE(isHeld(37));
}

TEST_F(X11FrontTabCloserTest, AHeldShiftIsLiftedForTheChordAndRestored) {
    const QStringList keys = closeTabWhileHolding(kShiftL);
    EXPECT_TRUE(keys.contains(QStringLiteral("key press 25 state 4")))
        << keys.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(keys.filter(QStringLiteral("key press 25")).size() == 1);
    // Shift went up before W and down again after it.
    const qsizetype w = keys.indexOf(QStringLiteral("key press 25 state 4"));
    EXPECT_LT(keys.indexOf(QStringLiteral("key release 50 state 1")), w);
    EXPECT_GT(keys.lastIndexOf(QStringLiteral("key press 50 state 0")), w);
}

TEST_F(X11FrontTabCloserTest, AHeldAltIsLiftedForTheChordAndRestored) {
    const QStringList keys = closeTabWhileHolding(kAltL);
    EXPECT_TRUE(keys.contains(QStringLiteral("key press 25 state 4")))
        << keys.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(keys.filter(QStringLiteral("key press 25")).size() == 1);
}

TEST_F(X11FrontTabCloserTest, FindsWOnTheKeyboardMap) {
    EXPECT_EQ(frontTab->keycodeForKeysym(0x77), 25); // the W key of the test server's US map
}

} // namespace
