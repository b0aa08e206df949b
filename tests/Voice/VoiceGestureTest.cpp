// The hotkey and the voice manager wired together the way the app shell does.
#include "Voice/GlobalHotkeyManager.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakeAudioEngine.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechService.h"
#include "Platform/Fake/FakeVoiceChord.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

struct VoiceGestureTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeVoiceChord chord;
    FakeSpeechService speech;
    FakeAudioEngine audio;
    FakePanelHost panels;
    test::LogCapture log;
    GlobalHotkeyManager hotkey{loop, chord};
    VoiceAimsetManager voice{loop, speech, audio, panels};
    QStringList aimsets;

    void SetUp() override {
        QObject::connect(&hotkey, &GlobalHotkeyManager::hotkeyDown, &voice,
                         &VoiceAimsetManager::startListening);
        QObject::connect(&hotkey, &GlobalHotkeyManager::hotkeyUp, &voice,
                         &VoiceAimsetManager::stopListening);
        voice.onTranscriptionComplete = [this](const QString& text) { aimsets << text; };
        hotkey.startMonitoring();
        log.clear();
    }

    void holdChord() {
        chord.press();
        loop.runPending();
    }
    void releaseChord() {
        chord.release();
        loop.runPending();
    }
};

TEST_F(VoiceGestureTest, SpokenAimsetFromPressToRelease) {
    holdChord();
    EXPECT_EQ(panels.panelsOnScreen, 1);
    loop.advance(1500ms);
    speech.latestTask().deliverResult(u"finish the quarterly report "_s);
    loop.advance(500ms);
    releaseChord();
    EXPECT_EQ(aimsets, QStringList{u"finish the quarterly report"_s});
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(log.take(),
              (QStringList{u"[Voice] Started listening"_s,
                           u"[Hotkey] Alt+M pressed — recording started"_s,
                           u"[Voice] Transcription complete: finish the quarterly report"_s,
                           u"[Hotkey] Alt+M released — recording stopped"_s}));
}

TEST_F(VoiceGestureTest, DeniedSpeechFailsEveryPressWhileTheHotkeyStillRecordsAndReleases) {
    speech.status = SpeechAuthorizationStatus::denied;
    for (int press = 0; press < 2; ++press) {
        holdChord();
        EXPECT_TRUE(hotkey.isRecording());
        EXPECT_EQ(panels.panelsOnScreen, 0);
        releaseChord();
        EXPECT_FALSE(hotkey.isRecording());
    }
    const QStringList onePress{u"[Voice] Speech recognition not ready"_s,
                               u"[Hotkey] Alt+M pressed — recording started"_s,
                               u"[Hotkey] Alt+M released — recording stopped"_s};
    EXPECT_EQ(log.take(), onePress + onePress);
    EXPECT_TRUE(panels.calls.isEmpty());
    EXPECT_TRUE(aimsets.isEmpty());
}

TEST_F(VoiceGestureTest, AForgottenRecordingIsDeliveredAfterThirtySeconds) {
    holdChord();
    speech.latestTask().deliverResult(u"write the summary"_s);
    loop.advance(30s);
    EXPECT_FALSE(voice.isListening());
    EXPECT_EQ(aimsets, QStringList{u"write the summary"_s});
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(log.take().mid(2),
              (QStringList{u"[Hotkey] Safety timeout — stopping recording after 30.0s"_s,
                           u"[Voice] Transcription complete: write the summary"_s,
                           u"[Hotkey] Alt+M released — recording stopped"_s}));
}

TEST_F(VoiceGestureTest, EndingTheSessionMidRecordingDeliversWhatWasSaid) {
    holdChord();
    speech.latestTask().deliverResult(u"plan"_s);
    loop.runPending();
    hotkey.stopMonitoring();
    EXPECT_EQ(aimsets, QStringList{u"plan"_s});
    EXPECT_FALSE(audio.isRunning);
    EXPECT_EQ(log.take().last(), u"[Hotkey] Global hotkey monitor stopped"_s);
}

} // namespace
