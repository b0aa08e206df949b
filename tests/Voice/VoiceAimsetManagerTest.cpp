#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechRecognizer.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"

#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

struct VoiceAimsetManagerTest : ::testing::Test {
    VirtualMainLoop loop;
    // Speech, panel and manager calls in one order.
    QStringList journal;
    FakeSpeechRecognizer speech{&journal};
    FakePanelHost panels;
    test::LogCapture log;
    std::unique_ptr<VoiceAimsetManager> manager;

    void SetUp() override {
        panels.journal = &journal;
        manager = std::make_unique<VoiceAimsetManager>(loop, speech, panels);
        QObject::connect(manager.get(), &VoiceAimsetManager::transcriptionComplete,
                         [this](const QString& text) { journal << u"delivered "_s + text; });
    }
    void startRecording() {
        manager->startListening();
        ASSERT_TRUE(manager->isListening());
        journal.clear();
        log.clear();
    }
    void hear(const QString& text) {
        ASSERT_TRUE(speech.hear(text));
        loop.runPending();
    }
};

// A start asks what is available, listens, then shows the indicator at the
// top of the screen; a microphone refused is left to the recording's start to
// report. What else stops a start, and the quiet release that follows, are the
// simulator's voice case.
TEST_F(VoiceAimsetManagerTest, EachStartInOrder) {
    speech.current = SpeechAvailability::noMicrophone;
    manager->startListening();
    EXPECT_EQ(journal.join(u"; "_s),
              u"speech.availability; speech.start; "_s
              u"panel.present VoiceRecordingIndicatorView -1x-1 topCentre"_s);
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Started listening"_s});
    // A second start while listening changes and logs nothing.
    hear(u"finish the"_s);
    journal.clear();
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(manager->currentTranscription(), u"finish the"_s);
}

// Access answers, results and errors come from another thread and apply on
// the main thread, results to their own recording only. The lines of the
// other access answers are in the goldens and the simulator's voice case.
TEST_F(VoiceAimsetManagerTest, AnswersApplyOnTheMainThreadResultsToTheirOwnRecordingOnly) {
    manager->requestPermissions();
    manager->requestPermissions();
    startRecording();
    const QThread* mainThread = QThread::currentThread();
    QList<bool> changedOnMainThread;
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [&] { changedOnMainThread << (QThread::currentThread() == mainThread); });
    std::thread([&] {
        speech.pendingAccess[0](SpeechAvailability::notDetermined);
        speech.pendingAccess[1](SpeechAvailability::noModel);
        speech.hear(u"finish"_s);
        speech.hear(u"finish the report"_s);
        speech.fail(u"Recognizer lost its model"_s);
    }).join();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    loop.runPending();
    EXPECT_EQ(changedOnMainThread, (QList<bool>{true, true}));
    EXPECT_EQ(manager->currentTranscription(), u"finish the report"_s);
    // An error does not end the recording.
    EXPECT_EQ(log.take(), (QStringList{u"[Voice] Speech recognition unavailable (status: 0)"_s,
                                       u"[Voice] Speech recognition unavailable (status: 2)"_s,
                                       u"[Voice] Recognition error: Recognizer lost its model"_s}));
    EXPECT_TRUE(manager->isListening());
    // Heard just before the release, it reaches the main thread after it,
    // and after the next press.
    speech.hear(u"finish the report please"_s);
    manager->stopListening();
    startRecording();
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    // The stop hides the indicator, then stops listening, then delivers.
    hear(u"second"_s);
    manager->stopListening();
    EXPECT_EQ(journal.join(u"; "_s),
              u"panel.orderOut VoiceRecordingIndicatorView; speech.stop; delivered second"_s);
}

TEST_F(VoiceAimsetManagerTest, DestroyedMidRecordingReleasesEverythingAndLateResultsDoNothing) {
    manager->requestPermissions();
    startRecording();
    speech.hear(u"finish the report"_s); // queued, still to run
    speech.fail(u"late"_s);
    manager.reset();
    EXPECT_EQ(journal,
              (QStringList{u"panel.orderOut VoiceRecordingIndicatorView"_s, u"speech.stop"_s}));
    speech.pendingAccess.back()(SpeechAvailability::available);
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
}

} // namespace
