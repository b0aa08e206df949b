#include "Voice/GlobalHotkeyManager.h"

#include "Platform/Fake/FakeVoiceChord.h"
#include "Platform/Fake/HoldingMainLoop.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <tuple>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

struct GlobalHotkeyManagerTest : ::testing::Test {
    HoldingMainLoop loop;
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
    // Plays steps: "down" and "up" of the chord, "stop" and "start" of the
    // monitor, a start the desktop "refused", "hold" what is posted as a busy
    // main thread does and "flush" it, or a number of seconds to let pass.
    void play(const QString& steps) {
        for (const QString& step : steps.split(u' ')) {
            if (step == u"down"_s) {
                chord.press();
            } else if (step == u"up"_s) {
                chord.release();
            } else if (step == u"stop"_s) {
                manager->stopMonitoring();
            } else if (step == u"start"_s) {
                manager->startMonitoring();
            } else if (step == u"refused"_s) {
                chord.refuse = true;
                manager->startMonitoring();
                chord.refuse = false;
            } else if (step == u"hold"_s) {
                loop.holding = true;
            } else if (step == u"flush"_s) {
                loop.release();
            } else {
                loop.inner.advance(std::chrono::milliseconds(qRound(step.toDouble() * 1000)));
            }
            loop.inner.runPending();
        }
    }
};

// Steps played from a fresh start, whether a recording runs at the end, and
// the lines logged: Pressed, Released, Timed out, Stopped, Watching.
TEST_F(GlobalHotkeyManagerTest, EachSequenceRecordsAndLogsOnce) {
    const std::map<QChar, QString> lines{
        {u'P', u"[Hotkey] Alt+M pressed \u2014 recording started"_s},
        {u'R', u"[Hotkey] Alt+M released \u2014 recording stopped"_s},
        {u'T', u"[Hotkey] Safety timeout \u2014 stopping recording after 30.0s"_s},
        {u'S', u"[Hotkey] Global hotkey monitor stopped"_s},
        {u'W', u"[Hotkey] Global hotkey monitor started (Alt+M)"_s}};
    const std::tuple<QString, bool, QString> cases[] = {
        // Held: a second down changes nothing; a release while idle neither.
        {u"up down down up up"_s, false, u"PR"_s},
        {u"down 29.999"_s, true, u"P"_s},
        {u"down 30"_s, false, u"PTR"_s},
        {u"down 30 15 up"_s, false, u"PTR"_s},
        // Each recording gets its own thirty seconds.
        {u"down 20 up down 29.999"_s, true, u"PRP"_s},
        {u"down 20 up down 30"_s, false, u"PRPTR"_s},
        // The first one's timer fires while the release and the next press
        // wait in the queue: it does not end the second recording.
        {u"down 29 hold up down 1 flush"_s, true, u"PRP"_s},
        // Stopping releases a recording first; a later session watches again.
        {u"down stop stop"_s, false, u"PRSS"_s},
        {u"stop down start down"_s, true, u"SWP"_s},
        // A refused watch still logs, and never records.
        {u"stop refused down stop"_s, false, u"SWS"_s},
    };
    for (const auto& [steps, recording, codes] : cases) {
        SCOPED_TRACE(steps.toStdString());
        manager->stopMonitoring();
        manager->startMonitoring();
        callbacks.clear();
        log.clear();
        play(steps);
        EXPECT_EQ(manager->isRecording(), recording);
        // Each watch is ended once, however often stopped.
        EXPECT_EQ(chord.watches - chord.unwatches, manager->isWatching() ? 1 : 0);
        QStringList expected;
        for (const QChar code : codes) {
            expected << lines.at(code);
        }
        EXPECT_EQ(log.take(), expected);
        EXPECT_EQ(callbacks.size(), codes.count(u'P') + codes.count(u'R'));
        for (const QString& callback : callbacks) {
            EXPECT_TRUE(callback == u"down recording=1"_s || callback == u"up recording=0"_s);
        }
        // No timer is left behind to act later: only a recording's safety stop.
        EXPECT_EQ(loop.inner.scheduledTimerCount(), recording ? 1u : 0u);
    }
}

TEST_F(GlobalHotkeyManagerTest, ChangesWaitForATaskOfTheirOwnAndFindNobodyOnceItIsGone) {
    chord.press();
    EXPECT_FALSE(manager->isRecording());
    loop.inner.runPending();
    EXPECT_TRUE(manager->isRecording());
    // The watch ends; the queued release and the pending timeout find nobody.
    chord.release();
    callbacks.clear();
    log.clear();
    manager.reset();
    EXPECT_FALSE(chord.watching());
    loop.inner.runPending();
    loop.inner.advance(60s);
    EXPECT_TRUE(callbacks.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
}

} // namespace
