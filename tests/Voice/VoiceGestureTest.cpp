// The hotkey and the voice manager wired together the way the app shell does.
#include "Voice/GlobalHotkeyManager.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakeAudioEngine.h"
#include "Platform/Fake/FakeKeyEventMonitor.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechService.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

struct VoiceGestureTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeKeyEventMonitor keys;
    FakeSpeechService speech;
    FakeAudioEngine audio;
    FakePanelHost panels;
    test::LogCapture log;
    GlobalHotkeyManager hotkey{loop, keys};
    VoiceAimsetManager voice{loop, speech, audio, panels};
    QStringList aimsets;

    void SetUp() override {
        hotkey.onHotkeyDown = [this] { voice.startListening(); };
        hotkey.onHotkeyUp = [this] { voice.stopListening(); };
        voice.onTranscriptionComplete = [this](const QString& text) { aimsets << text; };
        hotkey.startMonitoring();
        log.clear();
    }

    void holdOptionM() {
        keys.deliverGlobal(FakeKeyEventMonitor::flagsChanged(ModifierFlag::option));
        keys.deliverGlobal(FakeKeyEventMonitor::keyDown(KeyCode::m, ModifierFlag::option));
        loop.runPending();
    }
    void releaseM() {
        keys.deliverGlobal(FakeKeyEventMonitor::keyUp(KeyCode::m, ModifierFlag::option));
        keys.deliverGlobal(FakeKeyEventMonitor::flagsChanged(0));
        loop.runPending();
    }
};

TEST_F(VoiceGestureTest, SpokenAimsetFromPressToRelease) {
    holdOptionM();
    EXPECT_EQ(panels.panelsOnScreen, 1);
    loop.advance(1500ms);
    speech.latestTask().deliverResult(QStringLiteral("finish the quarterly report "));
    loop.advance(500ms);
    releaseM();
    EXPECT_EQ(aimsets, QStringList{QStringLiteral("finish the quarterly report")});
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(
        log.take(),
        (QStringList{QStringLiteral("[Voice] Started listening"),
                     QStringLiteral("[Hotkey] Option+M pressed — recording started"),
                     QStringLiteral("[Voice] Transcription complete: finish the quarterly report"),
                     QStringLiteral("[Hotkey] Option+M released — recording stopped")}));
}

TEST_F(VoiceGestureTest, DeniedSpeechFailsEveryPressWhileTheHotkeyStillRecordsAndReleases) {
    speech.status = SpeechAuthorizationStatus::denied;
    for (int press = 0; press < 2; ++press) {
        holdOptionM();
        EXPECT_TRUE(hotkey.isRecording());
        EXPECT_EQ(panels.panelsOnScreen, 0);
        releaseM();
        EXPECT_FALSE(hotkey.isRecording());
    }
    const QStringList onePress{QStringLiteral("[Voice] Speech recognition not authorized"),
                               QStringLiteral("[Hotkey] Option+M pressed — recording started"),
                               QStringLiteral("[Hotkey] Option+M released — recording stopped")};
    EXPECT_EQ(log.take(), onePress + onePress);
    EXPECT_TRUE(panels.calls.isEmpty());
    EXPECT_TRUE(aimsets.isEmpty());
}

TEST_F(VoiceGestureTest, AForgottenRecordingIsDeliveredAfterThirtySeconds) {
    holdOptionM();
    speech.latestTask().deliverResult(QStringLiteral("write the summary"));
    loop.advance(30s);
    EXPECT_FALSE(voice.isListening());
    EXPECT_EQ(aimsets, QStringList{QStringLiteral("write the summary")});
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(
        log.take().mid(2),
        (QStringList{QStringLiteral("[Hotkey] Safety timeout — stopping recording after 30.0s"),
                     QStringLiteral("[Voice] Transcription complete: write the summary"),
                     QStringLiteral("[Hotkey] Option+M released — recording stopped")}));
}

TEST_F(VoiceGestureTest, EndingTheSessionMidRecordingDeliversWhatWasSaid) {
    holdOptionM();
    speech.latestTask().deliverResult(QStringLiteral("plan"));
    loop.runPending();
    hotkey.stopMonitoring();
    EXPECT_EQ(aimsets, QStringList{QStringLiteral("plan")});
    EXPECT_FALSE(audio.isRunning);
    EXPECT_EQ(log.take().last(), QStringLiteral("[Hotkey] Global hotkey monitor stopped"));
}

} // namespace
