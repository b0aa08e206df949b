#include "Platform/Linux/X11KeyEventMonitor.h"
#include "support/x11/X11TestDesktop.h"

#include <gtest/gtest.h>

#include <vector>

using namespace aimset;
using test::TestWindow;

namespace {

constexpr std::uint8_t kAltL = 64;
constexpr std::uint8_t kAltR = 108;
constexpr std::uint8_t kShiftL = 50;
constexpr std::uint8_t kM = 58;
constexpr std::uint8_t kW = 25;

KeyEvent down(int code, quint64 flags) {
    return {KeyEventKind::keyDown, code, flags};
}
KeyEvent up(int code, quint64 flags) {
    return {KeyEventKind::keyUp, code, flags};
}
KeyEvent flagsChanged(quint64 flags) {
    return {KeyEventKind::flagsChanged, -1, flags};
}

TEST(X11KeyTranslatorTest, LettersMapByPositionAndOthersAreUnmapped) {
    EXPECT_EQ(X11KeyTranslator::keyCodeFor(kM), KeyCode::m);
    EXPECT_EQ(X11KeyTranslator::keyCodeFor(kW), 13);
    EXPECT_EQ(X11KeyTranslator::keyCodeFor(38), 0);  // A
    EXPECT_EQ(X11KeyTranslator::keyCodeFor(65), -1); // space
    EXPECT_EQ(X11KeyTranslator::keyCodeFor(kAltL), -1);
}

TEST(X11KeyTranslatorTest, AltIsTrackedIdempotentlyAcrossBothKeys) {
    X11KeyTranslator translator;
    EXPECT_EQ(translator.translate(kAltL, true), flagsChanged(ModifierFlag::option));
    EXPECT_EQ(translator.translate(kM, true), down(KeyCode::m, ModifierFlag::option));
    // The right Alt joining in and leaving changes nothing while the left is held.
    EXPECT_EQ(translator.translate(kAltR, true).kind, KeyEventKind::other);
    EXPECT_EQ(translator.translate(kAltR, false).kind, KeyEventKind::other);
    EXPECT_EQ(translator.translate(kAltL, false), flagsChanged(0));
    // A release that arrives twice is no second change.
    EXPECT_EQ(translator.translate(kAltL, false).kind, KeyEventKind::other);
    EXPECT_EQ(translator.translate(kM, false), up(KeyCode::m, 0));
    EXPECT_EQ(translator.translate(kShiftL, true), flagsChanged(ModifierFlag::shift));
    EXPECT_EQ(translator.translate(kAltL, true),
              flagsChanged(ModifierFlag::shift | ModifierFlag::option));
}

TEST(X11KeyTranslatorTest, TheServersModifierMapDecidesWhichKeysAreAlt) {
    X11KeyTranslator::ModifierKeys keys;
    keys.option = {kShiftL}; // a remapped keyboard
    X11KeyTranslator translator(keys);
    EXPECT_EQ(translator.translate(kShiftL, true), flagsChanged(ModifierFlag::option));
    EXPECT_EQ(translator.translate(kAltL, true), down(-1, ModifierFlag::option));
}

struct X11KeyEventMonitorTest : ::testing::Test {
    test::X11TestDesktop desktop;
    bool ownWindowActive = false;
    std::unique_ptr<X11KeyEventMonitor> monitor;
    std::vector<KeyEvent> global;
    std::vector<KeyEvent> local;
    static constexpr quint64 allKinds =
        KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;

    void SetUp() override {
        ASSERT_TRUE(desktop.available())
            << "needs an X display with a window manager: run through scripts/with-desktop.sh";
        monitor = X11KeyEventMonitor::create([this] { return ownWindowActive; });
        ASSERT_TRUE(monitor);
        ASSERT_TRUE(monitor->hasRawEvents());
        ASSERT_TRUE(monitor->addGlobalMonitor(
            allKinds, [this](const KeyEvent& event) { global.push_back(event); }));
        ASSERT_TRUE(monitor->addLocalMonitor(allKinds, [this](const KeyEvent& event) {
            local.push_back(event);
            return std::optional<KeyEvent>(event);
        }));
    }
    void wait(int milliseconds) {
        test::spinUntil([] { return false; }, std::chrono::milliseconds(milliseconds));
    }
};

TEST_F(X11KeyEventMonitorTest, HeldAltMIsOneDownAndOneUpAndTheWindowStillGetsTheKeys) {
    TestWindow window({QStringLiteral("--title"), QStringLiteral("Typing here")});
    ASSERT_TRUE(desktop.activateAndWait(window.id()));
    desktop.fakeKey(kAltL, true);
    desktop.fakeKey(kM, true);
    wait(1500);                    // long enough for the server's auto-repeat to start
    desktop.fakeKey(kAltL, false); // Alt let go first
    desktop.fakeKey(kM, false);
    ASSERT_TRUE(test::spinUntil([&] { return global.size() >= 4; }));
    wait(100);
    EXPECT_EQ(global, (std::vector<KeyEvent>{flagsChanged(ModifierFlag::option),
                                             down(KeyCode::m, ModifierFlag::option),
                                             flagsChanged(0), up(KeyCode::m, 0)}));
    EXPECT_TRUE(local.empty());

    // The focused window received the keys: nothing was taken from it.
    test::spinUntil([&] { return window.keyLines().size() >= 4; });
    const QStringList keys = window.keyLines();
    EXPECT_TRUE(keys.contains(QStringLiteral("key press 64 state 0")));
    EXPECT_TRUE(keys.contains(QStringLiteral("key press 58 state 8")))
        << keys.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(keys.contains(QStringLiteral("key release 58 state 0")));
}

TEST_F(X11KeyEventMonitorTest, WhileOurOwnWindowIsActiveOnlyLocalMonitorsHear) {
    ownWindowActive = true;
    desktop.fakeKey(kM, true);
    desktop.fakeKey(kM, false);
    ASSERT_TRUE(test::spinUntil([&] { return local.size() >= 2; }));
    wait(100);
    EXPECT_EQ(local, (std::vector<KeyEvent>{down(KeyCode::m, 0), up(KeyCode::m, 0)}));
    EXPECT_TRUE(global.empty());
}

TEST_F(X11KeyEventMonitorTest, MasksAndRemovalAreHonoured) {
    std::vector<KeyEvent> downsOnly;
    const auto token = monitor->addGlobalMonitor(
        KeyEventMask::keyDown, [&](const KeyEvent& event) { downsOnly.push_back(event); });
    ASSERT_TRUE(token);
    desktop.fakeKey(kW, true);
    desktop.fakeKey(kW, false);
    ASSERT_TRUE(test::spinUntil([&] { return global.size() >= 2; }));
    EXPECT_EQ(downsOnly, (std::vector<KeyEvent>{down(13, 0)}));
    monitor->removeMonitor(*token);
    desktop.fakeKey(kW, true);
    desktop.fakeKey(kW, false);
    ASSERT_TRUE(test::spinUntil([&] { return global.size() >= 4; }));
    EXPECT_EQ(downsOnly.size(), 1u);
}

} // namespace
