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
#include <future>
#include <mutex>
#include <thread>

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

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
                m_events << (result->isFinal ? u"final: "_s : u"partial: "_s) +
                                result->bestTranscription;
            }
            if (error) {
                m_events << u"error: "_s + *error;
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
    return events.join(u" | "_s).toStdString();
}

QStringList nonFinal(const QStringList& events) {
    QStringList partials;
    for (const QString& event : events) {
        if (event.startsWith(u"partial: "_s)) {
            partials << event;
        }
    }
    return partials;
}

// Asks for authorisation and waits for the answer; nothing after kLimit.
std::optional<SpeechAuthorizationStatus> authorize(PocketSphinxSpeechService& service) {
    auto promise = std::make_shared<std::promise<SpeechAuthorizationStatus>>();
    auto answer = promise->get_future();
    service.requestAuthorization(
        [promise](SpeechAuthorizationStatus status) { promise->set_value(status); });
    if (answer.wait_for(kLimit) != std::future_status::ready) {
        return std::nullopt;
    }
    return answer.get();
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

TEST_F(PocketSphinxSpeechServiceTest, AuthorisesFromTheModelsFilesAndGrantsTheMicrophone) {
    PocketSphinxSpeechService service;
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::notDetermined);

    // Asked at every session start: it answers at once, loading nothing.
    std::optional<SpeechAuthorizationStatus> answer;
    service.requestAuthorization([&](SpeechAuthorizationStatus status) { answer = status; });
    EXPECT_EQ(answer, SpeechAuthorizationStatus::authorized);
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
    EXPECT_EQ(service.loadedDecoderCount(), 0);

    std::optional<bool> microphone;
    service.requestMicrophoneAccess([&](bool granted) { microphone = granted; });
    EXPECT_EQ(microphone, true);

    ASSERT_TRUE(service.recognizer(u"en-US"_s));
    EXPECT_TRUE(service.recognizer(u"en-US"_s)->isAvailable());
    EXPECT_FALSE(service.recognizer(u"fr-FR"_s));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(PocketSphinxSpeechServiceTest, RecognisesThePhraseWithPartialResultsWhileAudioArrives) {
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizer(u"en-US"_s);
    ASSERT_TRUE(recognizer);
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = recognizer->recognitionTask(request, results.handler());

    // The whole phrase is heard before the audio ends: partial results
    // carry it while the recording still runs.
    appendFromCaptureThread(*request, clip.buffers(1024));
    ASSERT_TRUE(results.waitForLatest(u"partial: "_s + phrase)) << dump(results.events());
    EXPECT_EQ(service.loadedDecoderCount(), 1);

    request->endAudio();
    ASSERT_TRUE(results.waitForLatest(u"final: "_s + phrase)) << dump(results.events());
    const QStringList events = results.events();
    // Partial results grow word by word before the final one.
    EXPECT_GE(nonFinal(events).size(), 3) << dump(events);
    EXPECT_EQ(events.filter(u"final: "_s).size(), 1) << dump(events);
    EXPECT_TRUE(events.filter(u"error: "_s).isEmpty()) << dump(events);
    EXPECT_FALSE(results.calledOnMainThread());

    // The task is over: the model leaves memory.
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
}

TEST_F(PocketSphinxSpeechServiceTest, KeepsTheAudioThatArrivesBeforeTheModelHasLoaded) {
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizer(u"en-US"_s);
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

    ASSERT_TRUE(results.waitForLatest(u"final: "_s + phrase)) << dump(results.events());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
}

TEST_F(PocketSphinxSpeechServiceTest, ReportsUnreadableAudioOnceAndGoesOn) {
    PocketSphinxSpeechService service;
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = service.recognizer(u"en-US"_s)->recognitionTask(request, results.handler());
    AudioBuffer noFormat;
    noFormat.frameCount = 1024;
    noFormat.data = QByteArray(2048, '\0');
    AudioBuffer shortData = clip.buffers(1024).front();
    shortData.frameCount = 4096; // claims more than it holds
    // Capture opens the decoder's format; any other is left out, not converted.
    AudioBuffer wide;
    wide.format = AudioFormat{48000, 2, AudioSampleFormat::float32};
    wide.frameCount = 1024;
    wide.data = QByteArray(1024 * 2 * 4, '\0');
    request->append(noFormat);
    request->append(shortData);
    request->append(wide);
    request->append(noFormat);
    appendFromCaptureThread(*request, clip.buffers(1024));
    request->endAudio();

    ASSERT_TRUE(results.waitForLatest(u"final: "_s + phrase)) << dump(results.events());
    EXPECT_EQ(results.events().filter(u"error: "_s),
              QStringList{u"error: Audio in an unreadable format was left out"_s});
}

TEST_F(PocketSphinxSpeechServiceTest, CancellingEndsResultsAtOnceAndFreesTheModel) {
    PocketSphinxSpeechService service;
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = service.recognizer(u"en-US"_s)->recognitionTask(request, results.handler());
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
    EXPECT_TRUE(atCancel.filter(u"final: "_s).isEmpty()) << dump(atCancel);
}

TEST_F(PocketSphinxSpeechServiceTest, GoingAwayMidRecordingStopsItsWorkers) {
    Results results;
    std::shared_ptr<SpeechRecognitionRequest> request;
    std::unique_ptr<SpeechRecognitionTask> task;
    {
        PocketSphinxSpeechService service;
        request = service.createAudioBufferRequest(streaming());
        task = service.recognizer(u"en-US"_s)->recognitionTask(request, results.handler());
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
    auto recognizer = service.recognizer(u"en-US"_s);
    Results foreign;
    auto foreignTask =
        recognizer->recognitionTask(std::make_shared<ForeignRequest>(), foreign.handler());
    EXPECT_EQ(foreign.events(),
              QStringList{u"error: The request was not made by this speech service"_s});

    auto request = service.createAudioBufferRequest(streaming());
    Results first;
    Results second;
    auto firstTask = recognizer->recognitionTask(request, first.handler());
    auto secondTask = recognizer->recognitionTask(request, second.handler());
    EXPECT_EQ(second.events(), QStringList{u"error: The request already has a recognition task"_s});
    // The first task is not disturbed.
    appendFromCaptureThread(*request, clip.buffers(1024));
    request->endAudio();
    ASSERT_TRUE(first.waitForLatest(u"final: "_s + phrase)) << dump(first.events());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
}

TEST_F(PocketSphinxSpeechServiceTest, AMissingModelIsRestrictedAndUnavailable) {
    PocketSphinxSpeechService service(
        PocketSphinxSpeechService::Model{u"/nonexistent/en-us"_s, u"/nonexistent/en-us.lm.bin"_s,
                                         u"/nonexistent/cmudict-en-us.dict"_s});
    auto recognizer = service.recognizer(u"en-US"_s);
    ASSERT_TRUE(recognizer);
    EXPECT_FALSE(recognizer->isAvailable());

    EXPECT_EQ(authorize(service), SpeechAuthorizationStatus::restricted);
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::restricted);
    EXPECT_EQ(log.take(),
              QStringList{u"[Speech] Could not load the speech model from /nonexistent/en-us"_s});

    // A task started all the same says why it hears nothing.
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    auto task = recognizer->recognitionTask(request, results.handler());
    ASSERT_TRUE(results.waitForAny());
    EXPECT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    EXPECT_EQ(results.events(), QStringList{u"error: The speech model could not be loaded"_s});
}

} // namespace

namespace {

// Resident memory of this process in MB.
double residentMegabytes() {
    QFile status(u"/proc/self/status"_s);
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

// Figures, not limits: what a recording
// costs in memory while it runs and after it, and how fast decoding runs.
TEST_F(PocketSphinxSpeechServiceTest, BenchmarkLoadTimeMemoryAndDecodingSpeed) {
    using Clock = std::chrono::steady_clock;
    auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    PocketSphinxSpeechService service;
    const double idle = residentMegabytes();

    // A recording whose whole clip is there before the model.
    auto request = service.createAudioBufferRequest(streaming());
    Results results;
    const auto started = Clock::now();
    auto task = service.recognizer(u"en-US"_s)->recognitionTask(request, results.handler());
    appendFromCaptureThread(*request, clip.buffers(1024));
    ASSERT_TRUE(results.waitForAny());
    const double firstPartial = seconds(Clock::now() - started);
    const double listening = residentMegabytes();
    request->endAudio();
    ASSERT_TRUE(results.waitForLatest(u"final: "_s + phrase)) << dump(results.events());
    const double final = seconds(Clock::now() - started);
    ASSERT_TRUE(waitUntil([&] { return service.loadedDecoderCount() == 0; }));
    const double after = residentMegabytes();

    std::printf("[ BENCHMARK] resident %.0f MB idle, %.0f MB listening, %.0f MB after the "
                "task; %.2f s of speech: first partial after %.2f s, final after %.2f s (model "
                "load included)\n",
                idle, listening, after, clip.frameCount() / 16000.0, firstPartial, final);
}

} // namespace
