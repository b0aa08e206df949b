#include "Voice/VoiceAimsetManager.h"

#include "Platform/Fake/FakeAudioEngine.h"
#include "Platform/Fake/FakePanelHost.h"
#include "Platform/Fake/FakeSpeechService.h"
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

// Writes panel calls into the same journal as the speech and audio fakes, so
// a test sees the order across all three.
class JournalingPanelHost final : public PanelHost {
public:
    explicit JournalingPanelHost(QStringList& journal)
        : m_journal(journal) {}

    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override {
        auto panel = host.presentPanel(request);
        m_journal << u"panel."_s + host.calls.last();
        return std::make_unique<Panel>(std::move(panel), host, m_journal);
    }

    FakePanelHost host;

private:
    class Panel final : public FloatingPanel {
    public:
        Panel(std::unique_ptr<FloatingPanel> inner, FakePanelHost& host, QStringList& journal)
            : m_inner(std::move(inner))
            , m_host(host)
            , m_journal(journal) {}
        ~Panel() override { orderOut(); }
        void orderOut() override {
            const auto before = m_host.calls.size();
            m_inner->orderOut();
            if (m_host.calls.size() != before) {
                m_journal << u"panel."_s + m_host.calls.last();
            }
        }

    private:
        std::unique_ptr<FloatingPanel> m_inner;
        FakePanelHost& m_host;
        QStringList& m_journal;
    };

    QStringList& m_journal;
};

struct VoiceAimsetManagerTest : ::testing::Test {
    VirtualMainLoop loop;
    QStringList journal;
    FakeSpeechService speech{&journal};
    FakeAudioEngine audio{&journal};
    JournalingPanelHost panels{journal};
    test::LogCapture log;
    std::unique_ptr<VoiceAimsetManager> manager;
    QStringList delivered;

    void SetUp() override { makeManager(); }

    void makeManager() {
        manager = std::make_unique<VoiceAimsetManager>(loop, speech, audio, panels);
        manager->onTranscriptionComplete = [this](const QString& text) { delivered << text; };
        QObject::connect(manager.get(), &VoiceAimsetManager::isListeningChanged, [this] {
            journal << u"manager.isListening=%1"_s.arg(manager->isListening());
        });
        journal.clear();
    }

    void startRecording() {
        manager->startListening();
        ASSERT_TRUE(manager->isListening());
        journal.clear();
        log.clear();
    }

    void hear(const QString& text) {
        speech.latestTask().deliverResult(text);
        loop.runPending();
    }
};

// The permission flow.

TEST_F(VoiceAimsetManagerTest, PermissionAnswersFromPlatformThreadsAreLoggedOnTheMainThread) {
    manager->requestPermissions();
    EXPECT_EQ(journal, QStringList{u"speech.requestAuthorization"_s});
    ASSERT_EQ(speech.pendingAuthorization.size(), 1u);

    std::thread([&] {
        speech.pendingAuthorization.front()(SpeechAuthorizationStatus::authorized);
    }).join();
    // Nothing acts on the answer until the main loop runs it.
    EXPECT_TRUE(speech.pendingMicrophone.empty());
    loop.runPending();
    ASSERT_EQ(speech.pendingMicrophone.size(), 1u);
    EXPECT_EQ(journal.last(), u"speech.requestMicrophoneAccess"_s);

    std::thread([&] { speech.pendingMicrophone.front()(true); }).join();
    EXPECT_TRUE(log.lines().isEmpty());
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Speech recognition ready"_s});
}

TEST_F(VoiceAimsetManagerTest, RefusalsAreLoggedAndSpeechRefusedSkipsTheMicrophone) {
    manager->requestPermissions();
    speech.pendingAuthorization.front()(SpeechAuthorizationStatus::authorized);
    loop.runPending();
    speech.pendingMicrophone.front()(false);
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Microphone permission denied"_s});
    speech.pendingMicrophone.clear();
    speech.calls.clear();

    for (const auto status :
         {SpeechAuthorizationStatus::notDetermined, SpeechAuthorizationStatus::denied,
          SpeechAuthorizationStatus::restricted}) {
        speech.pendingAuthorization.clear();
        manager->requestPermissions();
        speech.pendingAuthorization.front()(status);
        loop.runPending();
    }
    EXPECT_EQ(log.take(), (QStringList{u"[Voice] Speech recognition unavailable (status: 0)"_s,
                                       u"[Voice] Speech recognition unavailable (status: 1)"_s,
                                       u"[Voice] Speech recognition unavailable (status: 2)"_s}));
    EXPECT_TRUE(speech.pendingMicrophone.empty());
    EXPECT_FALSE(speech.calls.contains(u"requestMicrophoneAccess"_s));
}

TEST_F(VoiceAimsetManagerTest, PermissionAnswersAfterTheManagerIsGoneDoNothing) {
    manager->requestPermissions();
    manager->requestPermissions();
    speech.pendingAuthorization[0](SpeechAuthorizationStatus::authorized);
    loop.runPending();
    manager.reset();
    speech.pendingAuthorization[1](SpeechAuthorizationStatus::denied);
    speech.pendingMicrophone[0](true);
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
}

// Starting.

TEST_F(VoiceAimsetManagerTest, StartRunsItsStepsInOrder) {
    // The US English recognizer is asked for once, at creation.
    EXPECT_EQ(speech.calls, QStringList{u"recognizer en-US"_s});
    EXPECT_TRUE(manager->hasSpeechRecognizer());
    manager->startListening();
    EXPECT_EQ(
        journal,
        (QStringList{u"speech.isAvailable"_s, u"speech.authorizationStatus"_s,
                     u"speech.createRequest partial=1 onDevice=1"_s, u"audio.inputFormat 0"_s,
                     u"audio.installTap 0 1024 16000Hz 1ch int16"_s, u"speech.recognitionTask"_s,
                     u"audio.prepare"_s, u"audio.start"_s, u"manager.isListening=1"_s,
                     u"panel.present VoiceRecordingIndicatorView -1x-1 topCentre"_s}));
    EXPECT_EQ(log.take(), QStringList{startedLine});
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(panels.host.panelsOnScreen, 1);
    EXPECT_EQ(panels.host.lastRequest.model, manager.get());
    // The microphone permission is the platform's to enforce at capture.
    EXPECT_FALSE(speech.calls.contains(u"requestMicrophoneAccess"_s));
    // The task was given the request the tap feeds.
    ASSERT_EQ(speech.tasks.size(), 1u);
    EXPECT_EQ(speech.tasks.front()->request, speech.requests.front());

    // The tap takes the input node's own format.
    manager->stopListening();
    audio.format = AudioFormat{48000, 2, AudioSampleFormat::float32};
    manager->startListening();
    EXPECT_TRUE(audio.calls.contains(u"installTap 0 1024 48000Hz 2ch float32"_s));
}

TEST_F(VoiceAimsetManagerTest, StartWhileListeningChangesAndLogsNothing) {
    startRecording();
    hear(u"finish the"_s);
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(manager->currentTranscription(), u"finish the"_s);
    EXPECT_EQ(panels.host.panelsOnScreen, 1);
}

TEST_F(VoiceAimsetManagerTest, MissingOrUnavailableRecognizerStopsTheStart) {
    speech.recognizerAvailable = false;
    manager->startListening();
    EXPECT_EQ(journal, QStringList{u"speech.isAvailable"_s});

    speech.hasRecognizer = false;
    makeManager();
    EXPECT_FALSE(manager->hasSpeechRecognizer());
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());

    const QString line = u"[Voice] Speech recognizer not available"_s;
    EXPECT_EQ(log.take(), (QStringList{line, line}));
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(audio.calls.filter(u"installTap"_s).isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

TEST_F(VoiceAimsetManagerTest, UnauthorizedSpeechStopsEveryStartBeforeAnythingIsSetUp) {
    speech.status = SpeechAuthorizationStatus::denied;
    for (int press = 0; press < 3; ++press) {
        manager->startListening();
    }
    const QString line = u"[Voice] Speech recognition not ready"_s;
    EXPECT_EQ(log.take(), (QStringList{line, line, line}));
    EXPECT_TRUE(speech.requests.empty());
    EXPECT_TRUE(audio.calls.isEmpty());
    EXPECT_TRUE(panels.host.calls.isEmpty());
    EXPECT_FALSE(manager->isListening());

    // Authorised later (in the system settings): the next press works.
    speech.status = SpeechAuthorizationStatus::authorized;
    manager->startListening();
    EXPECT_TRUE(manager->isListening());
}

TEST_F(VoiceAimsetManagerTest, AudioEngineThatCannotStartUndoesTheSetUpAndShowsNothing) {
    audio.startFailure = u"No audio input device"_s;
    manager->startListening();
    EXPECT_EQ(journal.mid(6),
              (QStringList{u"audio.prepare"_s, u"audio.start failed"_s, u"audio.removeTap 0"_s,
                           u"audio.stop"_s, u"speech.endAudio"_s, u"speech.cancel"_s}));
    EXPECT_EQ(log.take(),
              QStringList{u"[Voice] Audio engine failed to start: No audio input device"_s});
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(panels.host.calls.isEmpty());
    EXPECT_FALSE(audio.hasTap());
    EXPECT_TRUE(speech.requests.front()->audioEnded);
    EXPECT_TRUE(speech.tasks.front()->cancelled);

    // A result the cancelled task still reports changes nothing.
    hear(u"stale"_s);
    EXPECT_TRUE(manager->currentTranscription().isEmpty());

    // The release that follows is a stop while idle.
    manager->stopListening();
    EXPECT_TRUE(log.take().isEmpty());

    // The next press tries again from the beginning.
    audio.startFailure.reset();
    journal.clear();
    manager->startListening();
    EXPECT_EQ(journal.first(), u"speech.isAvailable"_s);
    EXPECT_EQ(speech.requests.size(), 2u);
    EXPECT_EQ(speech.tasks.size(), 2u);
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(log.take(), QStringList{startedLine});
}

// Results while listening.

TEST_F(VoiceAimsetManagerTest, ResultsFromAnotherThreadApplyOnlyOnTheMainThread) {
    startRecording();
    const QThread* mainThread = QThread::currentThread();
    QList<bool> changedOnMainThread;
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [&] { changedOnMainThread << (QThread::currentThread() == mainThread); });

    std::thread platform([&] {
        QString text;
        for (int word = 1; word <= 100; ++word) {
            text += u" w%1"_s.arg(word);
            speech.latestTask().deliverResult(text);
        }
    });
    platform.join();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(loop.postedTaskCount(), 100u);

    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().endsWith(u"w99 w100"_s));
    EXPECT_EQ(changedOnMainThread.size(), 100);
    EXPECT_FALSE(changedOnMainThread.contains(false));
}

TEST_F(VoiceAimsetManagerTest, EachResultReplacesTheTextAndAnErrorIsLoggedWhileRecordingGoesOn) {
    startRecording();
    hear(u"finish"_s);
    EXPECT_EQ(manager->currentTranscription(), u"finish"_s);
    hear(u"finish the quarterly"_s);
    speech.latestTask().deliverResult(u"finish the report"_s, true);
    loop.runPending();
    EXPECT_EQ(manager->currentTranscription(), u"finish the report"_s);
    EXPECT_TRUE(log.take().isEmpty());
    speech.latestTask().deliverError(u"Recognizer lost its model"_s);
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Recognition error: Recognizer lost its model"_s});
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(manager->currentTranscription(), u"finish the report"_s);
    EXPECT_TRUE(journal.isEmpty());

    manager->stopListening();
    EXPECT_EQ(delivered, QStringList{u"finish the report"_s});
}

TEST_F(VoiceAimsetManagerTest, TheAudioTapRunsOnTheCaptureThreadAndFeedsOnlyTheRequest) {
    startRecording();
    int captured = 0;
    std::thread capture([&] { captured = audio.capture(50); });
    capture.join();
    EXPECT_EQ(captured, 50);
    auto& request = *speech.requests.front();
    EXPECT_EQ(request.appendedBuffers, 50);
    EXPECT_EQ(request.appendedFrames, 50 * 1024);
    // Nothing of the manager was touched or queued.
    EXPECT_EQ(loop.postedTaskCount(), 0u);
    EXPECT_TRUE(journal.isEmpty());

    manager->stopListening();
    EXPECT_EQ(audio.capture(5), 0);
    EXPECT_EQ(request.appendedBuffers, 50);
}

// Stopping.

TEST_F(VoiceAimsetManagerTest, StopHidesThenStopsAudioThenDeliversTheTrimmedText) {
    startRecording();
    hear(u"  \n\tFinish the  quarterly report \n "_s);
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [this] { journal << u"manager.text="_s + manager->currentTranscription(); });
    manager->onTranscriptionComplete = [this](const QString& text) {
        journal << u"delivered "_s + text;
        // The shell may read the manager while it handles the text.
        EXPECT_FALSE(manager->isListening());
    };
    manager->stopListening();
    EXPECT_EQ(journal,
              (QStringList{u"manager.isListening=0"_s,
                           u"panel.orderOut VoiceRecordingIndicatorView"_s, u"audio.removeTap 0"_s,
                           u"audio.stop"_s, u"speech.endAudio"_s, u"speech.cancel"_s,
                           u"delivered Finish the  quarterly report"_s, u"manager.text="_s}));
    EXPECT_EQ(log.take(),
              QStringList{u"[Voice] Transcription complete: Finish the  quarterly report"_s});
    EXPECT_FALSE(manager->panelController().hasPanel());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
    EXPECT_FALSE(audio.isRunning);
    EXPECT_TRUE(speech.latestTask().cancelled);
}

TEST_F(VoiceAimsetManagerTest, NothingOrOnlyBlanksRecognisedDeliversNothingAndIdleStopsAreQuiet) {
    manager->stopListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    startRecording();
    manager->stopListening();
    startRecording();
    hear(u" \n\t \n"_s);
    manager->stopListening();
    EXPECT_EQ(log.take(), (QStringList{noTranscriptionLine}));
    journal.clear();
    manager->stopListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

TEST_F(VoiceAimsetManagerTest, UnsetCallbackStillLogsTheTranscription) {
    manager->onTranscriptionComplete = nullptr;
    startRecording();
    hear(u"write tests"_s);
    manager->stopListening();
    EXPECT_EQ(log.take(), QStringList{u"[Voice] Transcription complete: write tests"_s});
}

TEST_F(VoiceAimsetManagerTest, ErrorAfterTheStopIsOnlyLogged) {
    startRecording();
    hear(u"finish"_s);
    manager->stopListening();
    log.clear();
    speech.latestTask().deliverError(u"Recognition request was canceled"_s);
    loop.runPending();
    EXPECT_EQ(log.take(),
              QStringList{u"[Voice] Recognition error: Recognition request was canceled"_s});
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(delivered, QStringList{u"finish"_s});
}

TEST_F(VoiceAimsetManagerTest, ANewRecordingNeverShowsThePreviousOnesWords) {
    startRecording();
    hear(u"first aimset"_s);
    // A result produced just before the release reaches the main thread after it.
    speech.latestTask().deliverResult(u"first aimset please"_s);
    manager->stopListening();
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());

    auto& firstTask = speech.latestTask();
    startRecording();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    firstTask.deliverResult(u"first aimset please again"_s);
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    hear(u"second"_s);
    manager->stopListening();
    EXPECT_EQ(delivered, (QStringList{u"first aimset"_s, u"second"_s}));
}

TEST_F(VoiceAimsetManagerTest, EveryRecordingGetsAFreshPanel) {
    for (int recording = 0; recording < 3; ++recording) {
        startRecording();
        EXPECT_EQ(panels.host.panelsOnScreen, 1);
        manager->stopListening();
        EXPECT_EQ(panels.host.panelsOnScreen, 0);
    }
    EXPECT_EQ(panels.host.calls.filter(u"present "_s).size(), 3);
}

// Going away.

TEST_F(VoiceAimsetManagerTest, DestroyedMidRecordingReleasesEverythingAndLateResultsDoNothing) {
    startRecording();
    hear(u"finish"_s);
    auto& task = speech.latestTask();
    task.deliverResult(u"finish the report"_s); // queued, still to run
    manager.reset();
    EXPECT_EQ(journal,
              (QStringList{u"panel.orderOut VoiceRecordingIndicatorView"_s, u"audio.removeTap 0"_s,
                           u"audio.stop"_s, u"speech.endAudio"_s, u"speech.cancel"_s}));
    std::thread([&] {
        task.deliverResult(u"finish the report now"_s);
        task.deliverError(u"late"_s);
    }).join();
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

} // namespace
