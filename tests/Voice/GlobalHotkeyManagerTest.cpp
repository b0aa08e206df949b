#include "Voice/GlobalHotkeyManager.h"

#include "Platform/Fake/FakeVoiceChord.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <memory>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString started = u"[Hotkey] Global hotkey monitor started (Alt+M)"_s;
const QString stopped = u"[Hotkey] Global hotkey monitor stopped"_s;
const QString pressed = u"[Hotkey] Alt+M pressed — recording started"_s;
const QString released = u"[Hotkey] Alt+M released — recording stopped"_s;
const QString timedOut = u"[Hotkey] Safety timeout — stopping recording after 30.0s"_s;
// The callbacks of one whole recording.
const QStringList downUp{u"down recording=1"_s, u"up recording=0"_s};

struct GlobalHotkeyManagerTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeVoiceChord chord;
    test::LogCapture log;
    std::unique_ptr<GlobalHotkeyManager> manager =
        std::make_unique<GlobalHotkeyManager>(loop, chord);
    // "down"/"up" with the recording state the callback saw.
    QStringList callbacks;

    void SetUp() override {
        QObject::connect(manager.get(), &GlobalHotkeyManager::hotkeyDown, [this] {
            callbacks << u"down recording=%1"_s.arg(manager->isRecording());
        });
        QObject::connect(manager.get(), &GlobalHotkeyManager::hotkeyUp,
                         [this] { callbacks << u"up recording=%1"_s.arg(manager->isRecording()); });
        manager->startMonitoring();
        log.clear();
    }
    void down() {
        chord.press();
        loop.runPending();
    }
    void up() {
        chord.release();
        loop.runPending();
    }
};

TEST_F(GlobalHotkeyManagerTest, TheChordRecordsFromDownToUpOnceEach) {
    EXPECT_TRUE(manager->isWatching());
    up(); // a release with nothing recording
    chord.press();
    EXPECT_TRUE(callbacks.isEmpty()) << "handled in a task of its own, not inside the delivery";
    loop.runPending();
    down(); // held: a second down changes nothing
    up();
    up();
    EXPECT_EQ(callbacks, downUp);
    EXPECT_EQ(log.take(), (QStringList{pressed, released}));

    manager->stopMonitoring();
    EXPECT_FALSE(chord.watching());
    EXPECT_EQ(log.take(), QStringList{stopped});
    // A later session watches again.
    manager->startMonitoring();
    down();
    EXPECT_TRUE(manager->isRecording());
    EXPECT_EQ(chord.watches, 2);
}

TEST_F(GlobalHotkeyManagerTest, SafetyTimeoutEndsAForgottenRecordingOnce) {
    down();
    log.clear();
    loop.advance(29999ms);
    EXPECT_TRUE(manager->isRecording());
    EXPECT_TRUE(log.lines().isEmpty());
    loop.advance(1ms);
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(log.take(), (QStringList{timedOut, released}));

    // The physical release comes much later and changes nothing.
    loop.advance(15s);
    up();
    EXPECT_EQ(callbacks, downUp);
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(GlobalHotkeyManagerTest, EachRecordingGetsItsOwnThirtySeconds) {
    down();
    loop.advance(20s);
    up();
    down();
    loop.advance(29s);
    EXPECT_TRUE(manager->isRecording());
    loop.advance(1s);
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(log.take(), (QStringList{pressed, released, pressed, timedOut, released}));
}

TEST_F(GlobalHotkeyManagerTest, StopMonitoringDuringARecordingReleasesItFirst) {
    down();
    log.clear();
    manager->stopMonitoring();
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(callbacks, downUp);
    EXPECT_EQ(log.take(), (QStringList{released, stopped}));
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);

    // A second stop unwatches nothing and releases nothing.
    manager->stopMonitoring();
    EXPECT_EQ(chord.unwatches, 1);
    EXPECT_EQ(log.take(), QStringList{stopped});
    EXPECT_EQ(callbacks.size(), 2);
}

TEST_F(GlobalHotkeyManagerTest, ARefusedWatchStillLogsAndNeverRecords) {
    FakeVoiceChord refusing;
    refusing.refuse = true;
    GlobalHotkeyManager none(loop, refusing);
    none.startMonitoring();
    EXPECT_FALSE(none.isWatching());
    refusing.press();
    loop.runPending();
    EXPECT_FALSE(none.isRecording());
    none.stopMonitoring();
    EXPECT_EQ(refusing.unwatches, 0);
    EXPECT_EQ(log.take(), (QStringList{started, stopped}));
}

TEST_F(GlobalHotkeyManagerTest, LateChangesAndTimersAfterDestructionDoNothing) {
    // The watch ends; the queued release and the pending timeout find nobody.
    down();
    chord.release();
    callbacks.clear();
    log.clear();
    manager.reset();
    EXPECT_FALSE(chord.watching());
    loop.runPending();
    chord.press();
    loop.advance(60s);
    EXPECT_TRUE(callbacks.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
}

} // namespace
