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

TEST_F(VoiceGestureTest, DeniedSpeechFailsThePressWhileTheHotkeyStillRecordsAndReleases) {
    speech.current = SpeechAvailability::denied;
    holdChord();
    EXPECT_TRUE(hotkey.isRecording());
    releaseChord();
    EXPECT_FALSE(hotkey.isRecording());
    EXPECT_EQ(log.take(), (QStringList{u"[Voice] Speech recognition not ready"_s,
                                       u"[Hotkey] Alt+M pressed — recording started"_s,
                                       u"[Hotkey] Alt+M released — recording stopped"_s}));
    EXPECT_TRUE(panels.calls.isEmpty());
    EXPECT_TRUE(aimsets.isEmpty());
}

// A recording the safety timeout ends, or the end of the session, still
// delivers what was said and closes the microphone.
TEST_F(VoiceGestureTest, ARecordingEndedForTheUserDeliversWhatWasSaid) {
    holdChord();
    speech.hear(u"write the summary"_s);
    loop.advance(30s);
    holdChord();
    speech.hear(u"plan"_s);
    loop.runPending();
    hotkey.stopMonitoring();
    EXPECT_EQ(aimsets, (QStringList{u"write the summary"_s, u"plan"_s}));
    EXPECT_FALSE(speech.isListening());
    EXPECT_EQ(panels.panelsOnScreen, 0);
    EXPECT_EQ(log.take().mid(2, 3),
              (QStringList{u"[Hotkey] Safety timeout — stopping recording after 30.0s"_s,
                           u"[Voice] Transcription complete: write the summary"_s,
                           u"[Hotkey] Alt+M released — recording stopped"_s}));
}

} // namespace
