// The hotkey and the voice manager wired together the way the app shell does.
#include "Voice/GlobalHotkeyManager.h"
#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechRecognizer.h"
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
    FakeSpeechRecognizer speech;
    FakePanelHost panels;
    test::LogCapture log;
    GlobalHotkeyManager hotkey{loop, chord};
    VoiceAimsetManager voice{loop, speech, panels};
    QStringList aimsets;

    void SetUp() override {
        QObject::connect(&hotkey, &GlobalHotkeyManager::hotkeyDown, &voice,
                         &VoiceAimsetManager::startListening);
        QObject::connect(&hotkey, &GlobalHotkeyManager::hotkeyUp, &voice,
                         &VoiceAimsetManager::stopListening);
        QObject::connect(&voice, &VoiceAimsetManager::transcriptionComplete,
                         [this](const QString& text) { aimsets << text; });
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

TEST_F(VoiceGestureTest, DeniedSpeechFailsEveryPressWhileTheHotkeyStillRecordsAndReleases) {
    speech.current = SpeechAvailability::denied;
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
    speech.hear(u"write the summary"_s);
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
    speech.hear(u"plan"_s);
    loop.runPending();
    hotkey.stopMonitoring();
    EXPECT_EQ(aimsets, QStringList{u"plan"_s});
    EXPECT_FALSE(speech.isListening());
    EXPECT_EQ(log.take().last(), u"[Hotkey] Global hotkey monitor stopped"_s);
}

} // namespace
