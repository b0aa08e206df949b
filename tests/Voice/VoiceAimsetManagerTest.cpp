#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechRecognizer.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QThread>

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

const QString startedLine = u"[Voice] Started listening"_s;
const QString noTranscriptionLine = u"[Voice] Stopped listening (no transcription)"_s;

struct VoiceAimsetManagerTest : ::testing::Test {
    VirtualMainLoop loop;
    // Speech, panel and manager calls in one order.
    QStringList journal;
    FakeSpeechRecognizer speech{&journal};
    FakePanelHost panels;
    test::LogCapture log;
    std::unique_ptr<VoiceAimsetManager> manager;
    QStringList delivered;

    void SetUp() override {
        panels.journal = &journal;
        manager = std::make_unique<VoiceAimsetManager>(loop, speech, panels);
        QObject::connect(manager.get(), &VoiceAimsetManager::transcriptionComplete,
                         [this](const QString& text) {
                             journal << u"delivered "_s + text;
                             delivered << text;
                         });
        QObject::connect(manager.get(), &VoiceAimsetManager::isListeningChanged, [this] {
            journal << u"manager.isListening=%1"_s.arg(manager->isListening());
        });
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

TEST_F(VoiceAimsetManagerTest, EachAccessAnswerIsLoggedOnTheMainThread) {
    manager->requestPermissions();
    EXPECT_EQ(journal, QStringList{u"speech.requestAccess"_s});
    std::thread([&] { speech.pendingAccess.front()(SpeechAvailability::available); }).join();
    EXPECT_TRUE(log.lines().isEmpty());
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Speech recognition ready"_s});

    const std::pair<SpeechAvailability, QString> answers[] = {
        {SpeechAvailability::noMicrophone, u"[Voice] Microphone permission denied"_s},
        {SpeechAvailability::notDetermined,
         u"[Voice] Speech recognition unavailable (status: 0)"_s},
        {SpeechAvailability::denied, u"[Voice] Speech recognition unavailable (status: 1)"_s},
        {SpeechAvailability::noModel, u"[Voice] Speech recognition unavailable (status: 2)"_s},
    };
    for (const auto& [answer, line] : answers) {
        speech.pendingAccess.clear();
        manager->requestPermissions();
        speech.pendingAccess.front()(answer);
        loop.runPending();
        EXPECT_EQ(log.take(), QStringList{line});
    }

    // An answer that arrives after the manager went does nothing.
    manager->requestPermissions();
    manager.reset();
    speech.pendingAccess.back()(SpeechAvailability::available);
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(VoiceAimsetManagerTest, StartAsksAvailabilityThenListensThenShowsTheIndicator) {
    manager->startListening();
    EXPECT_EQ(journal,
              (QStringList{u"speech.availability"_s, u"speech.start"_s, u"manager.isListening=1"_s,
                           u"panel.present VoiceRecordingIndicatorView -1x-1 topCentre"_s}));
    EXPECT_EQ(log.take(), QStringList{startedLine});
    EXPECT_EQ(panels.lastRequest.model, manager.get());

    // A second start while listening changes and logs nothing.
    hear(u"finish the"_s);
    journal.clear();
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(manager->currentTranscription(), u"finish the"_s);
    EXPECT_EQ(panels.panelsOnScreen, 1);
}

TEST_F(VoiceAimsetManagerTest, WhatIsNotAvailableStopsEveryStartBeforeAnythingIsSetUp) {
    const std::pair<SpeechAvailability, QString> cases[] = {
        {SpeechAvailability::noModel, u"[Voice] Speech recognizer not available"_s},
        {SpeechAvailability::denied, u"[Voice] Speech recognition not ready"_s},
        {SpeechAvailability::notDetermined, u"[Voice] Speech recognition not ready"_s},
    };
    for (const auto& [availability, line] : cases) {
        speech.current = availability;
        journal.clear();
        manager->startListening();
        EXPECT_EQ(log.take(), QStringList{line});
        EXPECT_EQ(journal, QStringList{u"speech.availability"_s});
    }
    // A refused microphone is left to the recording's start to report.
    speech.current = SpeechAvailability::noMicrophone;
    manager->startListening();
    EXPECT_EQ(log.take(), QStringList{startedLine});
}

TEST_F(VoiceAimsetManagerTest, AStartThatFailsShowsNothingAndTheNextPressTriesAgain) {
    speech.startFailure = u"No audio input device"_s;
    manager->startListening();
    EXPECT_EQ(journal, (QStringList{u"speech.availability"_s, u"speech.start failed"_s}));
    EXPECT_EQ(log.take(),
              QStringList{u"[Voice] Audio engine failed to start: No audio input device"_s});
    EXPECT_FALSE(manager->isListening());
    // The release that follows is a stop while idle.
    manager->stopListening();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(panels.calls.isEmpty());

    manager->startListening();
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(log.take(), QStringList{startedLine});
}

TEST_F(VoiceAimsetManagerTest, ResultsFromAnotherThreadApplyOnTheMainThreadAndErrorsAreLogged) {
    startRecording();
    const QThread* mainThread = QThread::currentThread();
    QList<bool> changedOnMainThread;
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [&] { changedOnMainThread << (QThread::currentThread() == mainThread); });
    std::thread([&] {
        speech.hear(u"finish"_s);
        speech.hear(u"finish the report"_s);
        speech.fail(u"Recognizer lost its model"_s);
    }).join();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    loop.runPending();
    EXPECT_EQ(changedOnMainThread, (QList<bool>{true, true}));
    EXPECT_EQ(manager->currentTranscription(), u"finish the report"_s);
    // An error does not end the recording.
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Recognition error: Recognizer lost its model"_s});
    EXPECT_TRUE(manager->isListening());
}

TEST_F(VoiceAimsetManagerTest, StopHidesThenStopsListeningThenDeliversTheTrimmedText) {
    startRecording();
    hear(u"  \n\tFinish the  quarterly report \n "_s);
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [this] { journal << u"manager.text="_s + manager->currentTranscription(); });
    manager->stopListening();
    EXPECT_EQ(journal,
              (QStringList{u"manager.isListening=0"_s,
                           u"panel.orderOut VoiceRecordingIndicatorView"_s, u"speech.stop"_s,
                           u"delivered Finish the  quarterly report"_s, u"manager.text="_s}));
    EXPECT_EQ(log.take(),
              QStringList{u"[Voice] Transcription complete: Finish the  quarterly report"_s});
    EXPECT_FALSE(speech.isListening());
}

TEST_F(VoiceAimsetManagerTest, NothingOrOnlyBlanksRecognisedDeliversNothingAndIdleStopsAreQuiet) {
    manager->stopListening();
    startRecording();
    manager->stopListening();
    startRecording();
    hear(u" \n\t \n"_s);
    manager->stopListening();
    manager->stopListening();
    EXPECT_EQ(log.take(), (QStringList{noTranscriptionLine}));
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(panels.panelsOnScreen, 0);
}

TEST_F(VoiceAimsetManagerTest, ANewRecordingNeverShowsThePreviousOnesWords) {
    startRecording();
    hear(u"first aimset"_s);
    // Heard just before the release, it reaches the main thread after it,
    // and after the next press.
    speech.hear(u"first aimset please"_s);
    manager->stopListening();
    startRecording();
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    hear(u"second"_s);
    manager->stopListening();
    EXPECT_EQ(delivered, (QStringList{u"first aimset"_s, u"second"_s}));
}

TEST_F(VoiceAimsetManagerTest, DestroyedMidRecordingReleasesEverythingAndLateResultsDoNothing) {
    startRecording();
    speech.hear(u"finish the report"_s); // queued, still to run
    speech.fail(u"late"_s);
    manager.reset();
    EXPECT_EQ(journal,
              (QStringList{u"panel.orderOut VoiceRecordingIndicatorView"_s, u"speech.stop"_s}));
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
}

} // namespace
