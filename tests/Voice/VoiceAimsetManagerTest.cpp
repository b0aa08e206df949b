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

namespace {

const QString startedLine = QStringLiteral("[Voice] Started listening");
const QString noTranscriptionLine = QStringLiteral("[Voice] Stopped listening (no transcription)");

// Writes panel calls into the same journal as the speech and audio fakes, so
// a test sees the order across all three.
class JournalingPanelHost final : public PanelHost {
public:
    explicit JournalingPanelHost(QStringList& journal)
        : m_journal(journal) {}

    std::unique_ptr<FloatingPanel> presentPanel(const PanelRequest& request) override {
        auto panel = host.presentPanel(request);
        m_journal << QStringLiteral("panel.") + host.calls.last();
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
                m_journal << QStringLiteral("panel.") + m_host.calls.last();
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
            journal << QStringLiteral("manager.isListening=%1").arg(manager->isListening());
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

TEST_F(VoiceAimsetManagerTest, AsksForTheUSEnglishRecognizerOnceAtCreation) {
    EXPECT_EQ(speech.calls.first(), QStringLiteral("recognizer en-US"));
    EXPECT_EQ(speech.calls.count(QStringLiteral("recognizer en-US")), 1);
    EXPECT_TRUE(manager->hasSpeechRecognizer());
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
}

// The permission flow.

TEST_F(VoiceAimsetManagerTest, PermissionAnswersFromPlatformThreadsAreLoggedOnTheMainThread) {
    manager->requestPermissions();
    EXPECT_EQ(journal, QStringList{QStringLiteral("speech.requestAuthorization")});
    ASSERT_EQ(speech.pendingAuthorization.size(), 1u);

    std::thread([&] {
        speech.pendingAuthorization.front()(SpeechAuthorizationStatus::authorized);
    }).join();
    // Nothing acts on the answer until the main loop runs it.
    EXPECT_TRUE(speech.pendingMicrophone.empty());
    loop.runPending();
    ASSERT_EQ(speech.pendingMicrophone.size(), 1u);
    EXPECT_EQ(journal.last(), QStringLiteral("speech.requestMicrophoneAccess"));

    std::thread([&] { speech.pendingMicrophone.front()(true); }).join();
    EXPECT_TRUE(log.lines().isEmpty());
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[Voice] Microphone and speech recognition permissions granted")});
}

TEST_F(VoiceAimsetManagerTest, RefusedMicrophoneIsLogged) {
    manager->requestPermissions();
    speech.pendingAuthorization.front()(SpeechAuthorizationStatus::authorized);
    loop.runPending();
    speech.pendingMicrophone.front()(false);
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[Voice] Microphone permission denied")});
}

TEST_F(VoiceAimsetManagerTest, SpeechNotAuthorizedLogsItsStatusAndSkipsTheMicrophone) {
    for (const auto status :
         {SpeechAuthorizationStatus::notDetermined, SpeechAuthorizationStatus::denied,
          SpeechAuthorizationStatus::restricted}) {
        speech.pendingAuthorization.clear();
        manager->requestPermissions();
        speech.pendingAuthorization.front()(status);
        loop.runPending();
    }
    EXPECT_EQ(
        log.take(),
        (QStringList{QStringLiteral("[Voice] Speech recognition permission denied (status: 0)"),
                     QStringLiteral("[Voice] Speech recognition permission denied (status: 1)"),
                     QStringLiteral("[Voice] Speech recognition permission denied (status: 2)")}));
    EXPECT_TRUE(speech.pendingMicrophone.empty());
    EXPECT_FALSE(speech.calls.contains(QStringLiteral("requestMicrophoneAccess")));
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
    manager->startListening();
    EXPECT_EQ(
        journal,
        (QStringList{QStringLiteral("speech.isAvailable"),
                     QStringLiteral("speech.authorizationStatus"),
                     QStringLiteral("speech.createRequest partial=1 onDevice=1"),
                     QStringLiteral("audio.inputFormat 0"),
                     QStringLiteral("audio.installTap 0 1024 16000Hz 1ch int16"),
                     QStringLiteral("speech.recognitionTask"), QStringLiteral("audio.prepare"),
                     QStringLiteral("audio.start"), QStringLiteral("manager.isListening=1"),
                     QStringLiteral("panel.present VoiceRecordingIndicatorView -1x-1 topCentre")}));
    EXPECT_EQ(log.take(), QStringList{startedLine});
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(panels.host.panelsOnScreen, 1);
    EXPECT_EQ(panels.host.lastRequest.model, manager.get());
    // The microphone permission is the platform's to enforce at capture.
    EXPECT_FALSE(speech.calls.contains(QStringLiteral("requestMicrophoneAccess")));
    // The task was given the request the tap feeds.
    ASSERT_EQ(speech.tasks.size(), 1u);
    EXPECT_EQ(speech.tasks.front()->request, speech.requests.front());
}

TEST_F(VoiceAimsetManagerTest, TheTapUsesTheInputNodesOwnFormat) {
    audio.format = AudioFormat{48000, 2, AudioSampleFormat::float32};
    manager->startListening();
    EXPECT_TRUE(audio.calls.contains(QStringLiteral("installTap 0 1024 48000Hz 2ch float32")));
}

TEST_F(VoiceAimsetManagerTest, StartWhileListeningChangesAndLogsNothing) {
    startRecording();
    hear(QStringLiteral("finish the"));
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(manager->currentTranscription(), QStringLiteral("finish the"));
    EXPECT_EQ(panels.host.panelsOnScreen, 1);
}

TEST_F(VoiceAimsetManagerTest, MissingOrUnavailableRecognizerStopsTheStart) {
    speech.recognizerAvailable = false;
    manager->startListening();
    EXPECT_EQ(journal, QStringList{QStringLiteral("speech.isAvailable")});

    speech.hasRecognizer = false;
    makeManager();
    EXPECT_FALSE(manager->hasSpeechRecognizer());
    manager->startListening();
    EXPECT_TRUE(journal.isEmpty());

    const QString line = QStringLiteral("[Voice] Speech recognizer not available");
    EXPECT_EQ(log.take(), (QStringList{line, line}));
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(audio.calls.filter(QStringLiteral("installTap")).isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

TEST_F(VoiceAimsetManagerTest, UnauthorizedSpeechStopsEveryStartBeforeAnythingIsSetUp) {
    speech.status = SpeechAuthorizationStatus::denied;
    for (int press = 0; press < 3; ++press) {
        manager->startListening();
    }
    const QString line = QStringLiteral("[Voice] Speech recognition not authorized");
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
    audio.startFailure = QStringLiteral("No audio input device");
    manager->startListening();
    EXPECT_EQ(journal.mid(6),
              (QStringList{QStringLiteral("audio.prepare"), QStringLiteral("audio.start failed"),
                           QStringLiteral("audio.removeTap 0"), QStringLiteral("audio.stop"),
                           QStringLiteral("speech.endAudio"), QStringLiteral("speech.cancel")}));
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[Voice] Audio engine failed to start: No audio input device")});
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(panels.host.calls.isEmpty());
    EXPECT_FALSE(audio.hasTap());
    EXPECT_TRUE(speech.requests.front()->audioEnded);
    EXPECT_TRUE(speech.tasks.front()->cancelled);

    // A result the cancelled task still reports changes nothing.
    hear(QStringLiteral("stale"));
    EXPECT_TRUE(manager->currentTranscription().isEmpty());

    // The release that follows is a stop while idle.
    manager->stopListening();
    EXPECT_TRUE(log.take().isEmpty());

    // The next press tries again from the beginning.
    audio.startFailure.reset();
    journal.clear();
    manager->startListening();
    EXPECT_EQ(journal.first(), QStringLiteral("speech.isAvailable"));
    EXPECT_EQ(speech.requests.size(), 2u);
    EXPECT_EQ(speech.tasks.size(), 2u);
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(log.take(), QStringList{startedLine});
}

// Results while listening.

TEST_F(VoiceAimsetManagerTest, EachPartialResultReplacesTheText) {
    startRecording();
    hear(QStringLiteral("finish"));
    EXPECT_EQ(manager->currentTranscription(), QStringLiteral("finish"));
    hear(QStringLiteral("finish the quarterly"));
    speech.latestTask().deliverResult(QStringLiteral("finish the quarterly report"), true);
    loop.runPending();
    EXPECT_EQ(manager->currentTranscription(), QStringLiteral("finish the quarterly report"));
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(VoiceAimsetManagerTest, ResultsFromAnotherThreadApplyOnlyOnTheMainThread) {
    startRecording();
    const QThread* mainThread = QThread::currentThread();
    QList<bool> changedOnMainThread;
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged,
                     [&] { changedOnMainThread << (QThread::currentThread() == mainThread); });

    std::thread platform([&] {
        QString text;
        for (int word = 1; word <= 100; ++word) {
            text += QStringLiteral(" w%1").arg(word);
            speech.latestTask().deliverResult(text);
        }
    });
    platform.join();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(loop.postedTaskCount(), 100u);

    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().endsWith(QStringLiteral("w99 w100")));
    EXPECT_EQ(changedOnMainThread.size(), 100);
    EXPECT_FALSE(changedOnMainThread.contains(false));
}

TEST_F(VoiceAimsetManagerTest, RecognitionErrorIsLoggedAndTheRecordingGoesOn) {
    startRecording();
    hear(QStringLiteral("finish the report"));
    speech.latestTask().deliverError(QStringLiteral("Recognizer lost its model"));
    loop.runPending();
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[Voice] Recognition error: Recognizer lost its model")});
    EXPECT_TRUE(manager->isListening());
    EXPECT_EQ(manager->currentTranscription(), QStringLiteral("finish the report"));
    EXPECT_TRUE(journal.isEmpty());

    manager->stopListening();
    EXPECT_EQ(delivered, QStringList{QStringLiteral("finish the report")});
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
    hear(QStringLiteral("  \n\tFinish the  quarterly report \n "));
    QObject::connect(manager.get(), &VoiceAimsetManager::currentTranscriptionChanged, [this] {
        journal << QStringLiteral("manager.text=") + manager->currentTranscription();
    });
    manager->onTranscriptionComplete = [this](const QString& text) {
        journal << QStringLiteral("delivered ") + text;
        // The shell may read the manager while it handles the text.
        EXPECT_FALSE(manager->isListening());
    };
    manager->stopListening();
    EXPECT_EQ(journal,
              (QStringList{QStringLiteral("manager.isListening=0"),
                           QStringLiteral("panel.orderOut VoiceRecordingIndicatorView"),
                           QStringLiteral("audio.removeTap 0"), QStringLiteral("audio.stop"),
                           QStringLiteral("speech.endAudio"), QStringLiteral("speech.cancel"),
                           QStringLiteral("delivered Finish the  quarterly report"),
                           QStringLiteral("manager.text=")}));
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[Voice] Transcription complete: Finish the  quarterly report")});
    EXPECT_FALSE(manager->panelController().hasPanel());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
    EXPECT_FALSE(audio.isRunning);
    EXPECT_TRUE(speech.latestTask().cancelled);
}

TEST_F(VoiceAimsetManagerTest, NothingOrOnlyBlanksRecognisedDeliversNothing) {
    startRecording();
    manager->stopListening();
    startRecording();
    hear(QStringLiteral(" \n\t \n"));
    manager->stopListening();
    EXPECT_EQ(log.take(), (QStringList{noTranscriptionLine}));
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

TEST_F(VoiceAimsetManagerTest, StopWhileIdleDoesNothing) {
    manager->stopListening();
    startRecording();
    manager->stopListening();
    journal.clear();
    log.clear();
    manager->stopListening();
    EXPECT_TRUE(journal.isEmpty());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
}

TEST_F(VoiceAimsetManagerTest, UnsetCallbackStillLogsTheTranscription) {
    manager->onTranscriptionComplete = nullptr;
    startRecording();
    hear(QStringLiteral("write tests"));
    manager->stopListening();
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[Voice] Transcription complete: write tests")});
}

TEST_F(VoiceAimsetManagerTest, ErrorAfterTheStopIsOnlyLogged) {
    startRecording();
    hear(QStringLiteral("finish"));
    manager->stopListening();
    log.clear();
    speech.latestTask().deliverError(QStringLiteral("Recognition request was canceled"));
    loop.runPending();
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[Voice] Recognition error: Recognition request was canceled")});
    EXPECT_FALSE(manager->isListening());
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    EXPECT_EQ(delivered, QStringList{QStringLiteral("finish")});
}

TEST_F(VoiceAimsetManagerTest, ANewRecordingNeverShowsThePreviousOnesWords) {
    startRecording();
    hear(QStringLiteral("first aimset"));
    // A result produced just before the release reaches the main thread after it.
    speech.latestTask().deliverResult(QStringLiteral("first aimset please"));
    manager->stopListening();
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());

    auto& firstTask = speech.latestTask();
    startRecording();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    firstTask.deliverResult(QStringLiteral("first aimset please again"));
    loop.runPending();
    EXPECT_TRUE(manager->currentTranscription().isEmpty());
    hear(QStringLiteral("second"));
    manager->stopListening();
    EXPECT_EQ(delivered, (QStringList{QStringLiteral("first aimset"), QStringLiteral("second")}));
}

TEST_F(VoiceAimsetManagerTest, EveryRecordingGetsAFreshPanel) {
    for (int recording = 0; recording < 3; ++recording) {
        startRecording();
        EXPECT_EQ(panels.host.panelsOnScreen, 1);
        manager->stopListening();
        EXPECT_EQ(panels.host.panelsOnScreen, 0);
    }
    EXPECT_EQ(panels.host.calls.filter(QStringLiteral("present ")).size(), 3);
}

// Going away.

TEST_F(VoiceAimsetManagerTest, LateResultsAfterTheManagerIsGoneDoNothing) {
    startRecording();
    hear(QStringLiteral("finish"));
    auto& task = speech.latestTask();
    task.deliverResult(QStringLiteral("finish the report"));
    manager.reset();
    std::thread([&] {
        task.deliverResult(QStringLiteral("finish the report now"));
        task.deliverError(QStringLiteral("late"));
    }).join();
    loop.runPending();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
}

TEST_F(VoiceAimsetManagerTest, DestroyedMidRecordingReleasesTheMicrophoneAndThePanel) {
    startRecording();
    hear(QStringLiteral("finish"));
    manager.reset();
    EXPECT_EQ(journal,
              (QStringList{QStringLiteral("panel.orderOut VoiceRecordingIndicatorView"),
                           QStringLiteral("audio.removeTap 0"), QStringLiteral("audio.stop"),
                           QStringLiteral("speech.endAudio"), QStringLiteral("speech.cancel")}));
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(delivered.isEmpty());
    EXPECT_EQ(panels.host.panelsOnScreen, 0);
}

} // namespace
