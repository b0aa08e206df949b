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
            EXPECT_TRUE(desktop.isKeyHeld(*modifier))
                << "the held modifier is down again afterwards";
            desktop.fakeKey(*modifier, false);
        }
        return keys;
    }
};

// Control+W arrives alone: a modifier the person holds is lifted before the
// chord and pressed again after it.
TEST_F(X11FrontTabCloserTest, ControlWArrivesAloneWhateverModifierIsHeld) {
    const QStringList chord{
        QStringLiteral("key press 37 state 0"), QStringLiteral("key press 25 state 4"),
        QStringLiteral("key release 25 state 4"), QStringLiteral("key release 37 state 4")};
    const struct {
        std::optional<std::uint8_t> modifier;
        int mask;
    } rows[] = {{std::nullopt, 0}, {kShiftL, 1}, {kAltL, 8}};
    for (const auto& row : rows) {
        QStringList expected = chord;
        QString keys = QStringLiteral("25|37");
        if (row.modifier) {
            const int m = *row.modifier;
            expected.prepend(QStringLiteral("key release %1 state %2").arg(m).arg(row.mask));
            expected.prepend(QStringLiteral("key press %1 state 0").arg(m));
            expected.append(QStringLiteral("key press %1 state 0").arg(m));
            keys += QStringLiteral("|%1").arg(m);
        }
        // Only these keys: one let go by an earlier test may still arrive.
        EXPECT_EQ(closeTabWhileHolding(row.modifier)
                      .filter(QRegularExpression(QStringLiteral("^key \\w+ (%1) ").arg(keys))),
                  expected);
        EXPECT_EQ(log.take(), QStringList{QStringLiteral("[TabCloser] Sent Ctrl+W via XTest")});
        EXPECT_FALSE(desktop.isKeyHeld(37));
    }
}

TEST_F(X11FrontTabCloserTest, FindsWOnTheKeyboardMap) {
    EXPECT_EQ(frontTab->keycodeForKeysym(0x77), 25); // the W key of the test server's US map
}

} // namespace
