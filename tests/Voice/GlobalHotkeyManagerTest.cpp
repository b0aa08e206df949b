#include "Voice/GlobalHotkeyManager.h"

#include "Platform/Fake/FakeKeyEventMonitor.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

constexpr quint64 option = ModifierFlag::option;
constexpr int keyM = 46;

const QString started = u"[Hotkey] Global hotkey monitor started (Alt+M)"_s;
const QString stopped = u"[Hotkey] Global hotkey monitor stopped"_s;
const QString pressed = u"[Hotkey] Alt+M pressed — recording started"_s;
const QString released = u"[Hotkey] Alt+M released — recording stopped"_s;
const QString timedOut = u"[Hotkey] Safety timeout — stopping recording after 30.0s"_s;
// The callbacks of one whole recording.
const QStringList downUp{u"down recording=1"_s, u"up recording=0"_s};

struct GlobalHotkeyManagerTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeKeyEventMonitor keys;
    test::LogCapture log;
    std::unique_ptr<GlobalHotkeyManager> manager =
        std::make_unique<GlobalHotkeyManager>(loop, keys);
    // "down"/"up" with the recording state the callback saw.
    QStringList callbacks;

    void SetUp() override {
        manager->onHotkeyDown = [this] {
            callbacks << u"down recording=%1"_s.arg(manager->isRecording());
        };
        manager->onHotkeyUp = [this] {
            callbacks << u"up recording=%1"_s.arg(manager->isRecording());
        };
        manager->startMonitoring();
        log.clear();
    }

    // Delivers through the global monitor and lets the main loop run.
    void press(const KeyEvent& event) {
        keys.deliverGlobal(event);
        loop.runPending();
    }
};

TEST_F(GlobalHotkeyManagerTest, StartMonitoringInstallsBothMonitorsForTheThreeKinds) {
    EXPECT_EQ(keys.calls,
              (QStringList{u"addGlobalMonitor 0x1c00 -> 1"_s, u"addLocalMonitor 0x1c00 -> 2"_s}));
    EXPECT_EQ(manager->globalMonitor(), KeyMonitorToken{1});
    EXPECT_EQ(manager->localMonitor(), KeyMonitorToken{2});

    manager->stopMonitoring();
    EXPECT_EQ(keys.calls.mid(2), (QStringList{u"removeMonitor 1"_s, u"removeMonitor 2"_s}));
    EXPECT_FALSE(manager->globalMonitor());
    EXPECT_FALSE(manager->localMonitor());
    EXPECT_EQ(keys.globalMonitorCount() + keys.localMonitorCount(), 0u);
    EXPECT_EQ(log.take(), QStringList{stopped});

    // A later session monitors again.
    manager->startMonitoring();
    EXPECT_EQ(log.take(), QStringList{started});
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    EXPECT_TRUE(manager->isRecording());
    EXPECT_EQ(keys.globalMonitorCount(), 1u);
    EXPECT_EQ(keys.localMonitorCount(), 1u);
}

TEST_F(GlobalHotkeyManagerTest, EventsAreHandledInArrivalOrderInPostedTasks) {
    keys.deliverGlobal(FakeKeyEventMonitor::keyDown(keyM, option));
    EXPECT_FALSE(manager->isRecording());
    EXPECT_TRUE(callbacks.isEmpty());
    EXPECT_EQ(loop.postedTaskCount(), 1u);
    loop.runPending();
    EXPECT_TRUE(manager->isRecording());
    EXPECT_EQ(callbacks, QStringList{u"down recording=1"_s});

    // Events of both monitors queue in arrival order: an up never overtakes a down.
    keys.deliverGlobal(FakeKeyEventMonitor::keyUp(keyM, option));
    keys.deliverLocal(FakeKeyEventMonitor::keyDown(keyM, option));
    keys.deliverGlobal(FakeKeyEventMonitor::keyUp(keyM, option));
    loop.runPending();
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(log.take(), (QStringList{pressed, released, pressed, released}));
}

TEST_F(GlobalHotkeyManagerTest, TenSecondHoldWithAutoRepeatGivesOneDownAndOneUp) {
    press(FakeKeyEventMonitor::flagsChanged(option));
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    for (int i = 0; i < 300; ++i) {
        loop.advance(33ms);
        press(FakeKeyEventMonitor::keyDown(keyM, option));
    }
    EXPECT_EQ(loop.now(), 9900ms);
    loop.advance(100ms);
    press(FakeKeyEventMonitor::keyUp(keyM, option));
    press(FakeKeyEventMonitor::flagsChanged(0));

    EXPECT_EQ(callbacks, downUp);
    EXPECT_EQ(log.take(), (QStringList{pressed, released}));
    EXPECT_FALSE(manager->isRecording());
    // The safety timer went with the release.
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    loop.advance(60s);
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(GlobalHotkeyManagerTest, ReleasingOptionFirstEndsTheRecordingAndTheLaterKeyUpIsIgnored) {
    press(FakeKeyEventMonitor::flagsChanged(option));
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    loop.advance(2s);
    press(FakeKeyEventMonitor::flagsChanged(0));
    EXPECT_FALSE(manager->isRecording());
    loop.advance(500ms);
    press(FakeKeyEventMonitor::keyUp(keyM, 0));

    EXPECT_EQ(callbacks, downUp);
    EXPECT_EQ(log.take(), (QStringList{pressed, released}));
}

TEST_F(GlobalHotkeyManagerTest, OtherModifiersNeitherPreventNorAreRequired) {
    for (const quint64 extra : {ModifierFlag::shift, ModifierFlag::command,
                                ModifierFlag::control | ModifierFlag::shift}) {
        callbacks.clear();
        press(FakeKeyEventMonitor::keyDown(keyM, option | extra));
        EXPECT_TRUE(manager->isRecording()) << extra;
        // Letting go of the extra modifier while Option stays down changes nothing.
        press(FakeKeyEventMonitor::flagsChanged(option));
        EXPECT_TRUE(manager->isRecording()) << extra;
        press(FakeKeyEventMonitor::keyUp(keyM, option));
        EXPECT_EQ(callbacks, downUp) << extra;
    }
    EXPECT_EQ(log.take(), (QStringList{pressed, released, pressed, released, pressed, released}));
}

TEST_F(GlobalHotkeyManagerTest, OnlyThePhysicalMKeyWithOptionAlreadyDownStartsARecording) {
    press(FakeKeyEventMonitor::keyDown(keyM, 0));
    // Only the key-down of M is tested for Option; adding Option later is too late.
    press(FakeKeyEventMonitor::flagsChanged(option));
    press(FakeKeyEventMonitor::keyUp(keyM, option));
    press(FakeKeyEventMonitor::flagsChanged(0));
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);

    press(FakeKeyEventMonitor::flagsChanged(option));
    press(FakeKeyEventMonitor::keyDown(45, option)); // N
    press(FakeKeyEventMonitor::keyDown(41, option)); // where AZERTY puts M
    press(FakeKeyEventMonitor::keyUp(keyM, option));
    press(KeyEvent{KeyEventKind::other, keyM, option});
    EXPECT_FALSE(manager->isRecording());
    EXPECT_TRUE(callbacks.isEmpty());

    // A recording ignores other keys and events of other kinds.
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    press(FakeKeyEventMonitor::keyUp(45, option));
    press(KeyEvent{KeyEventKind::other, keyM, 0});
    EXPECT_TRUE(manager->isRecording());
    EXPECT_EQ(callbacks, QStringList{u"down recording=1"_s});
}

TEST_F(GlobalHotkeyManagerTest, SafetyTimeoutEndsAForgottenRecordingOnce) {
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    log.clear();
    loop.advance(29999ms);
    EXPECT_TRUE(manager->isRecording());
    EXPECT_TRUE(log.lines().isEmpty());
    loop.advance(1ms);
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(log.take(), (QStringList{timedOut, released}));

    // The physical release comes much later and changes nothing.
    loop.advance(15s);
    press(FakeKeyEventMonitor::keyUp(keyM, option));
    press(FakeKeyEventMonitor::flagsChanged(0));
    EXPECT_EQ(callbacks, downUp);
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(GlobalHotkeyManagerTest, EachRecordingGetsItsOwnThirtySecondsCallbacksOrNot) {
    manager->onHotkeyDown = nullptr;
    manager->onHotkeyUp = nullptr;
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    loop.advance(20s);
    press(FakeKeyEventMonitor::keyUp(keyM, option));
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    loop.advance(29s);
    EXPECT_TRUE(manager->isRecording());
    loop.advance(1s);
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(log.take(), (QStringList{pressed, released, pressed, timedOut, released}));
}

TEST_F(GlobalHotkeyManagerTest, StopMonitoringDuringARecordingReleasesItFirst) {
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    log.clear();
    manager->stopMonitoring();
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(callbacks, downUp);
    EXPECT_EQ(log.take(), (QStringList{released, stopped}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);

    // A second stop removes nothing and releases nothing.
    keys.calls.clear();
    manager->stopMonitoring();
    EXPECT_TRUE(keys.calls.isEmpty());
    EXPECT_EQ(log.take(), QStringList{stopped});
    EXPECT_EQ(callbacks.size(), 2);
}

TEST_F(GlobalHotkeyManagerTest, LocalMonitorPassesEveryEventOnAndDrivesTheGesture) {
    const KeyEvent down = FakeKeyEventMonitor::keyDown(keyM, option | ModifierFlag::shift);
    const auto passedOn = keys.deliverLocal(down);
    ASSERT_EQ(passedOn.size(), 1u);
    EXPECT_EQ(passedOn.front(), down);
    loop.runPending();
    EXPECT_TRUE(manager->isRecording());

    const KeyEvent unrelated = FakeKeyEventMonitor::keyDown(0, 0);
    EXPECT_EQ(keys.deliverLocal(unrelated).front(), unrelated);
    keys.deliverLocal(FakeKeyEventMonitor::keyUp(keyM, option));
    loop.runPending();
    EXPECT_EQ(callbacks.size(), 2);
}

TEST_F(GlobalHotkeyManagerTest, ARefusedMonitorLeavesItsFieldEmptyAndTheOtherWorks) {
    FakeKeyEventMonitor refusing;
    refusing.refuseGlobal = true;
    GlobalHotkeyManager local(loop, refusing);
    local.startMonitoring();
    EXPECT_FALSE(local.globalMonitor());
    EXPECT_EQ(local.localMonitor(), KeyMonitorToken{1});
    EXPECT_EQ(log.take(), QStringList{started});

    refusing.deliverLocal(FakeKeyEventMonitor::keyDown(keyM, option));
    loop.runPending();
    EXPECT_TRUE(local.isRecording());

    local.stopMonitoring();
    EXPECT_EQ(refusing.calls,
              (QStringList{u"addGlobalMonitor 0x1c00 refused"_s, u"addLocalMonitor 0x1c00 -> 1"_s,
                           u"removeMonitor 1"_s}));

    FakeKeyEventMonitor refusingBoth;
    refusingBoth.refuseGlobal = true;
    refusingBoth.refuseLocal = true;
    GlobalHotkeyManager none(loop, refusingBoth);
    none.startMonitoring();
    none.stopMonitoring();
    EXPECT_EQ(refusingBoth.calls.size(), 2);
}

TEST_F(GlobalHotkeyManagerTest, LateEventsAndTimersAfterDestructionDoNothing) {
    // Monitors stay installed; the queued event and the pending timeout find nobody.
    press(FakeKeyEventMonitor::keyDown(keyM, option));
    keys.deliverGlobal(FakeKeyEventMonitor::keyUp(keyM, option));
    callbacks.clear();
    log.clear();
    manager.reset();
    EXPECT_EQ(keys.globalMonitorCount(), 1u);
    loop.runPending();
    keys.deliverGlobal(FakeKeyEventMonitor::keyDown(keyM, option));
    keys.deliverLocal(FakeKeyEventMonitor::keyDown(keyM, option));
    loop.advance(60s);
    EXPECT_TRUE(callbacks.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
}

} // namespace
