#include "Platform/Linux/Speech/PocketSphinxSpeechService.h"

#include "SpeechTestAudio.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;

namespace {

// Decoding runs at about real time on a busy machine; these bound a wait for
// an outcome, they are never slept through.
constexpr auto kLimit = 120s;

// Everything a task's handler received, in order, and on which threads.
class Results {
public:
    SpeechRecognizer::ResultHandler handler() {
        return [this](const std::optional<SpeechRecognitionResult>& result,
                      const std::optional<QString>& error) {
            std::lock_guard lock(m_mutex);
            if (result) {
                m_events << (result->isFinal ? QStringLiteral("final: ")
                                             : QStringLiteral("partial: ")) +
                                result->bestTranscription;
            }
            if (error) {
                m_events << QStringLiteral("error: ") + *error;
            }
            if (std::this_thread::get_id() == m_mainThread) {
                m_calledOnMainThread = true;
            }
            m_changed.notify_all();
        };
    }

    QStringList events() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    // Waits until the latest event is wanted; false after kLimit.
    bool waitForLatest(const QString& wanted) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kLimit,
                                  [&] { return !m_events.isEmpty() && m_events.last() == wanted; });
    }
    bool waitForAny() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kLimit, [&] { return !m_events.isEmpty(); });
    }

    bool calledOnMainThread() {
        std::lock_guard lock(m_mutex);
        return m_calledOnMainThread;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    QStringList m_events;
    bool m_calledOnMainThread = false;
    const std::thread::id m_mainThread = std::this_thread::get_id();
};

// Appends a clip's buffers from a thread of its own, as a capture thread does.
void appendFromCaptureThread(SpeechRecognitionRequest& request,
                             const std::vector<AudioBuffer>& buffers) {
    std::thread capture([&] {
        for (const AudioBuffer& buffer : buffers) {
            request.append(buffer);
        }
    });
    capture.join();
}

template <typename Done> bool waitUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + kLimit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > limit) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::string dump(const QStringList& events) {
    return events.join(QStringLiteral(" | ")).toStdString();
}

QStringList nonFinal(const QStringList& events) {
    QStringList partials;
    for (const QString& event : events) {
        if (event.startsWith(QStringLiteral("partial: "))) {
            partials << event;
        }
    }
    return partials;
}

RecognitionRequestOptions streaming() {
    RecognitionRequestOptions options;
    options.shouldReportPartialResults = true;
    options.requiresOnDeviceRecognition = true;
    return options;
}

class PocketSphinxSpeechServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SpeechClips::instance().isReady()) << "flite and sox must make the clips";
        const auto read = readWav(SpeechClips::instance().phrase());
        ASSERT_TRUE(read);
        clip = *read;
        ASSERT_EQ(clip.format, (AudioFormat{16000, 1, AudioSampleFormat::int16}));
    }

    const QString phrase = QString::fromLatin1(kPhrase);
    WavClip clip;
    LogCapture log;
};

TEST_F(PocketSphinxSpeechServiceTest, AuthorisesOnceTheModelLoadsAndGrantsTheMicrophone) {
    PocketSphinxSpeechService service;
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::notDetermined);

    std::mutex mutex;
    std::condition_variable answered;
    std::vector<SpeechAuthorizationStatus> answers;
    auto answer = [&](SpeechAuthorizationStatus status) {
        std::lock_guard lock(mutex);
        answers.push_back(status);
        answered.notify_all();
    };
    service.requestAuthorization(answer);
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(answered.wait_for(lock, kLimit, [&] { return answers.size() == 1; }));
    }
    EXPECT_EQ(answers.front(), SpeechAuthorizationStatus::authorized);
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
    // The model was loaded to find out, and is not kept.
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));

    // Asked again (every session start), it answers at once without loading.
    service.requestAuthorization(answer);
    EXPECT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers.back(), SpeechAuthorizationStatus::authorized);
    EXPECT_EQ(service.loadedDecoderCount(), 0);

    std::optional<bool> microphone;
    service.requestMicrophoneAccess([&](bool granted) { microphone = granted; });
    EXPECT_EQ(microphone, true);

    ASSERT_TRUE(service.recognizer(QStringLiteral("en-US")));
    EXPECT_TRUE(service.recognizer(QStringLiteral("en-US"))->isAvailable());
    EXPECT_FALSE(service.recognizer(QStringLiteral("fr-FR")));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PocketSphinxSpeechServiceTest, RecognisesThePhraseWithPartialResultsWhileAudioArrives) {
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizer(QStringLiteral("en-US"));
    ASSERT_TRUE(recognizer);
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = recognizer->recognitionTask(request, results.handler());

    // The whole phrase is heard before the audio ends: partial results
    // carry it while the recording still runs.
    appendFromCaptureThread(*request, clip.buffers(1024));
    ASSERT_TRUE(results.waitForLatest(QStringLiteral("partial: ") + phrase))
        << dump(results.events());
    EXPECT_EQ(service.loadedDecoderCount(), 1);

    request->endAudio();
    ASSERT_TRUE(results.waitForLatest(QStringLiteral("final: ") + phrase))
        << dump(results.events());
    const QStringList events = results.events();
    // Partial results grow word by word before the final one.
    EXPECT_GE(nonFinal(events).size(), 3) << dump(events);
    EXPECT_EQ(events.filter(QStringLiteral("final: ")).size(), 1) << dump(events);
    EXPECT_TRUE(events.filter(QStringLiteral("error: ")).isEmpty()) << dump(events);
    EXPECT_FALSE(results.calledOnMainThread());

    // The task is over: the model leaves memory.
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
}

TEST_F(PocketSphinxSpeechServiceTest, KeepsTheAudioThatArrivesBeforeTheModelHasLoaded) {
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizer(QStringLiteral("en-US"));
    ASSERT_TRUE(recognizer);
    // Nobody speaks: nothing is loaded.
    EXPECT_EQ(service.loadedDecoderCount(), 0);

    // The tap starts appending before the task even exists, and the audio
    // ends before the model can have loaded.
    auto request = service.createAudioBufferRequest(streaming());
    appendFromCaptureThread(*request, clip.buffers(1024));
    Results results;
    auto task = recognizer->recognitionTask(request, results.handler());
    request->endAudio();

    ASSERT_TRUE(results.waitForLatest(QStringLiteral("final: ") + phrase))
        << dump(results.events());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
}

TEST_F(PocketSphinxSpeechServiceTest, ConvertsOtherCaptureFormatsAndReportsOnlyTheFinalWhenAsked) {
    const auto wide = readWav(SpeechClips::instance().phraseAt48kFloatStereo());
    ASSERT_TRUE(wide);
    ASSERT_EQ(wide->format, (AudioFormat{48000, 2, AudioSampleFormat::float32}));

    PocketSphinxSpeechService service;
    RecognitionRequestOptions options;
    options.shouldReportPartialResults = false;
    auto request = service.createAudioBufferRequest(options);
    Results results;
    auto task =
        service.recognizer(QStringLiteral("en-US"))->recognitionTask(request, results.handler());
    appendFromCaptureThread(*request, wide->buffers(1024));
    request->endAudio();

    ASSERT_TRUE(results.waitForAny());
    ASSERT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(results.events(), QStringList{QStringLiteral("final: ") + phrase});
}

TEST_F(PocketSphinxSpeechServiceTest, ReportsUnreadableAudioOnceAndGoesOn) {
    PocketSphinxSpeechService service;
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task =
        service.recognizer(QStringLiteral("en-US"))->recognitionTask(request, results.handler());
    AudioBuffer noFormat;
    noFormat.frameCount = 1024;
    noFormat.data = QByteArray(2048, '\0');
    AudioBuffer shortData = clip.buffers(1024).front();
    shortData.frameCount = 4096; // claims more than it holds
    request->append(noFormat);
    request->append(shortData);
    request->append(noFormat);
    appendFromCaptureThread(*request, clip.buffers(1024));
    request->endAudio();

    ASSERT_TRUE(results.waitForLatest(QStringLiteral("final: ") + phrase))
        << dump(results.events());
    EXPECT_EQ(results.events().filter(QStringLiteral("error: ")),
              QStringList{QStringLiteral("error: Audio in an unreadable format was left out")});
}

TEST_F(PocketSphinxSpeechServiceTest, CancellingEndsResultsAtOnceAndFreesTheModel) {
    PocketSphinxSpeechService service;
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task =
        service.recognizer(QStringLiteral("en-US"))->recognitionTask(request, results.handler());
    const auto buffers = clip.buffers(1024);
    const std::vector<AudioBuffer> firstHalf(buffers.begin(), buffers.begin() + buffers.size() / 2);
    appendFromCaptureThread(*request, firstHalf);
    ASSERT_TRUE(results.waitForAny());

    task->cancel();
    const QStringList atCancel = results.events();
    // The rest of the recording and its end reach nobody.
    appendFromCaptureThread(*request, buffers);
    request->endAudio();
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(results.events(), atCancel);
    EXPECT_TRUE(atCancel.filter(QStringLiteral("final: ")).isEmpty()) << dump(atCancel);
}

TEST_F(PocketSphinxSpeechServiceTest, GoingAwayMidRecordingStopsItsWorkers) {
    Results results;
    std::shared_ptr<SpeechRecognitionRequest> request;
    std::unique_ptr<SpeechRecognitionTask> task;
    {
        PocketSphinxSpeechService service;
        request = service.createAudioBufferRequest(streaming());
        task = service.recognizer(QStringLiteral("en-US"))
                   ->recognitionTask(request, results.handler());
        appendFromCaptureThread(*request, clip.buffers(1024));
    }
    const QStringList atEnd = results.events();
    request->endAudio();
    task->cancel();
    EXPECT_EQ(results.events(), atEnd);
}

TEST_F(PocketSphinxSpeechServiceTest, RefusesRequestsItCannotServe) {
    class ForeignRequest final : public SpeechRecognitionRequest {
    public:
        void append(const AudioBuffer&) override {}
        void endAudio() override {}
    };
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizer(QStringLiteral("en-US"));
    Results foreign;
    auto foreignTask =
        recognizer->recognitionTask(std::make_shared<ForeignRequest>(), foreign.handler());
    EXPECT_EQ(foreign.events(), QStringList{QStringLiteral(
                                    "error: The request was not made by this speech service")});

    auto request = service.createAudioBufferRequest(streaming());
    Results first;
    Results second;
    auto firstTask = recognizer->recognitionTask(request, first.handler());
    auto secondTask = recognizer->recognitionTask(request, second.handler());
    EXPECT_EQ(second.events(),
              QStringList{QStringLiteral("error: The request already has a recognition task")});
    // The first task is not disturbed.
    appendFromCaptureThread(*request, clip.buffers(1024));
    request->endAudio();
    ASSERT_TRUE(first.waitForLatest(QStringLiteral("final: ") + phrase)) << dump(first.events());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
}

TEST_F(PocketSphinxSpeechServiceTest, AMissingModelIsRestrictedAndUnavailable) {
    PocketSphinxSpeechService service(PocketSphinxSpeechService::Model{
        QStringLiteral("/nonexistent/en-us"), QStringLiteral("/nonexistent/en-us.lm.bin"),
        QStringLiteral("/nonexistent/cmudict-en-us.dict")});
    auto recognizer = service.recognizer(QStringLiteral("en-US"));
    ASSERT_TRUE(recognizer);
    EXPECT_FALSE(recognizer->isAvailable());

    std::mutex mutex;
    std::condition_variable answered;
    std::optional<SpeechAuthorizationStatus> answer;
    service.requestAuthorization([&](SpeechAuthorizationStatus status) {
        std::lock_guard lock(mutex);
        answer = status;
        answered.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(answered.wait_for(lock, kLimit, [&] { return answer.has_value(); }));
    }
    EXPECT_EQ(answer, SpeechAuthorizationStatus::restricted);
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::restricted);
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[Speech] Could not load the speech model from /nonexistent/en-us")});

    // A task started all the same says why it hears nothing.
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = recognizer->recognitionTask(request, results.handler());
    ASSERT_TRUE(results.waitForAny());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(results.events(),
              QStringList{QStringLiteral("error: The speech model could not be loaded")});
}

} // namespace

namespace {

// Resident memory of this process in MB.
double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
        }
    }
    return 0;
}

// Figures, not limits: how long the model takes to load, what a recording
// costs in memory while it runs and after it, and how fast decoding runs.
TEST_F(PocketSphinxSpeechServiceTest, BenchmarkLoadTimeMemoryAndDecodingSpeed) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    PocketSphinxSpeechService service;
    const double idle = residentMegabytes();

    // Authorising loads the model once and frees it.
    std::mutex mutex;
    std::condition_variable answered;
    bool answer = false;
    const auto asked = Clock::now();
    service.requestAuthorization([&](SpeechAuthorizationStatus) {
        std::lock_guard lock(mutex);
        answer = true;
        answered.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(answered.wait_for(lock, kLimit, [&] { return answer; }));
    }
    const double loadSeconds = seconds(Clock::now() - asked);
    ASSERT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));

    // A recording whose whole clip is there before the model.
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    const auto started = Clock::now();
    auto task =
        service.recognizer(QStringLiteral("en-US"))->recognitionTask(request, results.handler());
    appendFromCaptureThread(*request, clip.buffers(1024));
    ASSERT_TRUE(results.waitForAny());
    const double firstPartial = seconds(Clock::now() - started);
    const double listening = residentMegabytes();
    request->endAudio();
    ASSERT_TRUE(results.waitForLatest(QStringLiteral("final: ") + phrase))
        << dump(results.events());
    const double final = seconds(Clock::now() - started);
    ASSERT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    const double after = residentMegabytes();

    std::printf("[ BENCHMARK] model load and free %.2f s; resident %.0f MB idle, %.0f MB "
                "listening, %.0f MB after the task; %.2f s of speech: first partial after "
                "%.2f s, final after %.2f s (load included)\n",
                loadSeconds, idle, listening, after, clip.frameCount() / 16000.0, firstPartial,
                final);
}

} // namespace
