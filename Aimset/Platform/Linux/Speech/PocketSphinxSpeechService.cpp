#include "PocketSphinxSpeechService.h"

#include "Runtime/Log.h"

#include <QFileInfo>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace aimset {

namespace {

constexpr auto kModelDirectory = "/usr/share/pocketsphinx/model/en-us";

// Decoding works through the backlog in steps this long, so a cancel is
// noticed within one step and partial results keep coming while it catches up.
constexpr std::size_t kStepSamples = 1024;

// A recording nobody decodes (its task never started, or the machine cannot
// keep up) stops growing at five minutes of audio.
constexpr std::size_t kMaxQueuedSamples = 5 * 60 * PocketSphinxSpeechService::sampleRate;

// The library's own progress chatter would drown our log; failures are
// reported by us instead.
void silenceLibraryLog() {
    static std::once_flag once;
    std::call_once(once, [] { err_set_logfp(nullptr); });
}

// The library keeps some loading state in globals: one load at a time.
std::mutex& loadMutex() {
    static std::mutex mutex;
    return mutex;
}

struct Decoder {
    cmd_ln_t* config = nullptr;
    ps_decoder_t* decoder = nullptr;

    Decoder() = default;
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;
    ~Decoder() {
        if (decoder) {
            ps_free(decoder);
        }
        if (config) {
            cmd_ln_free_r(config);
        }
    }
};

QString hypothesis(ps_decoder_t* decoder) {
    int32 score = 0;
    const char* text = ps_get_hyp(decoder, &score);
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace

struct PocketSphinxSpeechService::Shared {
    Model model;
    std::atomic<SpeechAuthorizationStatus> status{SpeechAuthorizationStatus::notDetermined};
    std::atomic<int> loadedDecoders{0};

    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> finished;
        // Called to make the worker stop early.
        std::function<void()> cancel;
    };
    std::mutex workersMutex;
    std::list<Worker> workers;
    bool closed = false;

    // The model's files are there; whether they load shows when they do.
    bool modelPresent() const {
        return QFileInfo(model.acousticModel + QStringLiteral("/mdef")).isReadable() &&
               QFileInfo(model.languageModel).isReadable() &&
               QFileInfo(model.dictionary).isReadable();
    }
    std::unique_ptr<Decoder> load();
    void unload(std::unique_ptr<Decoder> decoder);
    // Runs body on a new worker thread; false once the service has gone.
    bool spawn(std::function<void()> body, std::function<void()> cancel);
    void joinFinishedWorkers();
};

std::unique_ptr<Decoder> PocketSphinxSpeechService::Shared::load() {
    silenceLibraryLog();
    auto loaded = std::make_unique<Decoder>();
    ++loadedDecoders;
    {
        std::lock_guard lock(loadMutex());
        const QByteArray acoustic = QFileInfo(model.acousticModel).absoluteFilePath().toLocal8Bit();
        const QByteArray language = QFileInfo(model.languageModel).absoluteFilePath().toLocal8Bit();
        const QByteArray dictionary = QFileInfo(model.dictionary).absoluteFilePath().toLocal8Bit();
        loaded->config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-lm",
                                     language.constData(), "-dict", dictionary.constData(),
                                     static_cast<const char*>(nullptr));
        if (loaded->config) {
            loaded->decoder = ps_init(loaded->config);
        }
    }
    if (!loaded->decoder) {
        unload(std::move(loaded));
        status = SpeechAuthorizationStatus::restricted;
        Log(QStringLiteral("[Speech] Could not load the speech model from ") + model.acousticModel);
        return nullptr;
    }
    status = SpeechAuthorizationStatus::authorized;
    return loaded;
}

void PocketSphinxSpeechService::Shared::unload(std::unique_ptr<Decoder> decoder) {
    decoder.reset();
    // The model is many small allocations; hand the freed pages back to the
    // system rather than keep them in the heap until the next recording.
    malloc_trim(0);
    --loadedDecoders;
}

bool PocketSphinxSpeechService::Shared::spawn(std::function<void()> body,
                                              std::function<void()> cancel) {
    joinFinishedWorkers();
    std::lock_guard lock(workersMutex);
    if (closed) {
        return false;
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::thread thread([body = std::move(body), finished] {
        body();
        *finished = true;
    });
    workers.push_back(Worker{std::move(thread), std::move(finished), std::move(cancel)});
    return true;
}

void PocketSphinxSpeechService::Shared::joinFinishedWorkers() {
    std::list<Worker> done;
    {
        std::lock_guard lock(workersMutex);
        for (auto it = workers.begin(); it != workers.end();) {
            auto next = std::next(it);
            if (*it->finished) {
                done.splice(done.end(), workers, it);
            }
            it = next;
        }
    }
    for (Worker& worker : done) {
        worker.thread.join();
    }
}

namespace {

// What a request and its task's worker share: the audio not yet decoded, in
// the decoder's format.
struct AudioQueue {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::int16_t> samples;
    bool ended = false;
    bool cancelled = false;
    bool hasTask = false;
    bool droppedUnreadable = false;
    bool droppedOverflow = false;

    void append(const AudioBuffer& buffer);
};

// Capture opens the decoder's own format, 16 kHz mono 16-bit; anything else
// is left out, never guessed at.
void AudioQueue::append(const AudioBuffer& buffer) {
    const bool ours = buffer.format == AudioFormat{PocketSphinxSpeechService::sampleRate, 1,
                                                   AudioSampleFormat::int16};
    const auto frames = ours ? std::min<qsizetype>(buffer.frameCount, buffer.data.size() / 2) : 0;
    if (!ours || buffer.frameCount < 0 || frames < buffer.frameCount) {
        droppedUnreadable = true;
    }
    if (frames <= 0) {
        return;
    }
    std::vector<std::int16_t> converted(static_cast<std::size_t>(frames));
    std::memcpy(converted.data(), buffer.data.constData(), converted.size() * 2);
    const std::size_t room = kMaxQueuedSamples - std::min(kMaxQueuedSamples, samples.size());
    if (converted.size() > room) {
        converted.resize(room);
        droppedOverflow = true;
    }
    samples.insert(samples.end(), converted.begin(), converted.end());
}

class PocketSphinxRequest final : public SpeechRecognitionRequest {
public:
    explicit PocketSphinxRequest(RecognitionRequestOptions requestOptions)
        : options(requestOptions)
        , queue(std::make_shared<AudioQueue>()) {}
    // Nobody can append any more: the task finishes with what it has.
    ~PocketSphinxRequest() override { endAudio(); }

    void append(const AudioBuffer& buffer) override {
        {
            std::lock_guard lock(queue->mutex);
            if (queue->ended || queue->cancelled) {
                return;
            }
            queue->append(buffer);
        }
        queue->changed.notify_all();
    }

    void endAudio() override {
        {
            std::lock_guard lock(queue->mutex);
            queue->ended = true;
        }
        queue->changed.notify_all();
    }

    const RecognitionRequestOptions options;
    const std::shared_ptr<AudioQueue> queue;
};

// The handler of one task. Once cancel() has returned it is never called
// again, so whoever cancelled hears nothing more from the task.
class Delivery {
public:
    explicit Delivery(SpeechRecognizer::ResultHandler handler)
        : m_handler(std::move(handler)) {}

    void cancel() {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
    }
    bool isCancelled() {
        std::lock_guard lock(m_mutex);
        return m_cancelled;
    }
    void result(const QString& transcription, bool isFinal) {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled && m_handler) {
            m_handler(SpeechRecognitionResult{transcription, isFinal}, std::nullopt);
        }
    }
    void error(const QString& description) {
        std::lock_guard lock(m_mutex);
        if (!m_cancelled && m_handler) {
            m_handler(std::nullopt, description);
        }
    }

private:
    std::mutex m_mutex;
    bool m_cancelled = false;
    SpeechRecognizer::ResultHandler m_handler;
};

void cancelQueue(AudioQueue& queue) {
    {
        std::lock_guard lock(queue.mutex);
        queue.cancelled = true;
    }
    queue.changed.notify_all();
}

class PocketSphinxTask final : public SpeechRecognitionTask {
public:
    PocketSphinxTask(std::shared_ptr<Delivery> delivery, std::shared_ptr<AudioQueue> queue)
        : m_delivery(std::move(delivery))
        , m_queue(std::move(queue)) {}

    // Returns at once: the worker notices within one decoding step and frees
    // the decoder on its own thread.
    void cancel() override {
        m_delivery->cancel();
        if (m_queue) {
            cancelQueue(*m_queue);
        }
    }

private:
    std::shared_ptr<Delivery> m_delivery;
    std::shared_ptr<AudioQueue> m_queue;
};

// One recording, on its worker thread: load, decode what arrives, report.
void recognize(PocketSphinxSpeechService::Shared& shared, AudioQueue& queue, Delivery& delivery,
               bool reportPartialResults) {
    std::unique_ptr<Decoder> decoder = shared.load();
    if (!decoder) {
        delivery.error(QStringLiteral("The speech model could not be loaded"));
        return;
    }
    ps_start_utt(decoder->decoder);
    QString reported;
    bool reportedUnreadable = false;
    bool reportedOverflow = false;
    std::vector<std::int16_t> pending;
    for (;;) {
        bool ended = false;
        bool unreadable = false;
        bool overflow = false;
        {
            std::unique_lock lock(queue.mutex);
            queue.changed.wait(
                lock, [&] { return queue.cancelled || queue.ended || !queue.samples.empty(); });
            if (queue.cancelled) {
                break;
            }
            pending.swap(queue.samples);
            queue.samples.clear();
            ended = queue.ended;
            unreadable = queue.droppedUnreadable;
            overflow = queue.droppedOverflow;
        }
        if (unreadable && !reportedUnreadable) {
            reportedUnreadable = true;
            delivery.error(QStringLiteral("Audio in an unreadable format was left out"));
        }
        if (overflow && !reportedOverflow) {
            reportedOverflow = true;
            delivery.error(QStringLiteral("Recognition fell behind; audio was left out"));
        }
        for (std::size_t offset = 0; offset < pending.size(); offset += kStepSamples) {
            if (delivery.isCancelled()) {
                break;
            }
            const std::size_t count = std::min(kStepSamples, pending.size() - offset);
            ps_process_raw(decoder->decoder, pending.data() + offset, count, FALSE, FALSE);
            if (reportPartialResults) {
                const QString text = hypothesis(decoder->decoder);
                if (text != reported) {
                    reported = text;
                    delivery.result(text, false);
                }
            }
        }
        pending.clear();
        if (ended) {
            ps_end_utt(decoder->decoder);
            delivery.result(hypothesis(decoder->decoder), true);
            break;
        }
    }
    shared.unload(std::move(decoder));
}

class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    explicit PocketSphinxRecognizer(std::shared_ptr<PocketSphinxSpeechService::Shared> shared)
        : m_shared(std::move(shared)) {}

    bool isAvailable() const override { return m_shared->modelPresent(); }

    std::unique_ptr<SpeechRecognitionTask>
    recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request,
                    ResultHandler handler) override {
        auto delivery = std::make_shared<Delivery>(std::move(handler));
        auto ours = std::dynamic_pointer_cast<PocketSphinxRequest>(request);
        if (!ours) {
            delivery->error(QStringLiteral("The request was not made by this speech service"));
            return std::make_unique<PocketSphinxTask>(delivery, nullptr);
        }
        std::shared_ptr<AudioQueue> queue = ours->queue;
        bool alreadyTaken = false;
        {
            std::lock_guard lock(queue->mutex);
            alreadyTaken = std::exchange(queue->hasTask, true);
        }
        if (alreadyTaken) {
            delivery->error(QStringLiteral("The request already has a recognition task"));
            return std::make_unique<PocketSphinxTask>(delivery, nullptr);
        }
        const bool partial = ours->options.shouldReportPartialResults;
        std::shared_ptr<PocketSphinxSpeechService::Shared> shared = m_shared;
        const bool started = shared->spawn(
            [shared, queue, delivery, partial] { recognize(*shared, *queue, *delivery, partial); },
            [queue, delivery] {
                delivery->cancel();
                cancelQueue(*queue);
            });
        if (!started) {
            delivery->error(QStringLiteral("The speech service has shut down"));
        }
        return std::make_unique<PocketSphinxTask>(delivery, queue);
    }

private:
    std::shared_ptr<PocketSphinxSpeechService::Shared> m_shared;
};

} // namespace

PocketSphinxSpeechService::Model PocketSphinxSpeechService::usEnglishModel() {
    const QString directory = QString::fromLatin1(kModelDirectory);
    return Model{directory + QStringLiteral("/en-us"), directory + QStringLiteral("/en-us.lm.bin"),
                 directory + QStringLiteral("/cmudict-en-us.dict")};
}

PocketSphinxSpeechService::PocketSphinxSpeechService(Model model)
    : m_shared(std::make_shared<Shared>()) {
    m_shared->model = std::move(model);
}

PocketSphinxSpeechService::~PocketSphinxSpeechService() {
    std::list<Shared::Worker> workers;
    {
        std::lock_guard lock(m_shared->workersMutex);
        m_shared->closed = true;
        workers.swap(m_shared->workers);
    }
    for (Shared::Worker& worker : workers) {
        if (worker.cancel) {
            worker.cancel();
        }
    }
    for (Shared::Worker& worker : workers) {
        worker.thread.join();
    }
}

SpeechAuthorizationStatus PocketSphinxSpeechService::authorizationStatus() {
    return m_shared->status;
}

void PocketSphinxSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> answer) {
    // Loading the model only to answer would cost half a second and 95 MB
    // each time: its files decide, and a recording that cannot load it says so.
    if (m_shared->status != SpeechAuthorizationStatus::authorized) {
        if (m_shared->modelPresent()) {
            m_shared->status = SpeechAuthorizationStatus::authorized;
        } else {
            m_shared->status = SpeechAuthorizationStatus::restricted;
            Log(QStringLiteral("[Speech] Could not load the speech model from ") +
                m_shared->model.acousticModel);
        }
    }
    answer(m_shared->status);
}

void PocketSphinxSpeechService::requestMicrophoneAccess(std::function<void(bool)> answer) {
    answer(true);
}

std::shared_ptr<SpeechRecognizer> PocketSphinxSpeechService::recognizer(const QString& locale) {
    if (locale.compare(QStringLiteral("en-US"), Qt::CaseInsensitive) != 0 &&
        locale.compare(QStringLiteral("en_US"), Qt::CaseInsensitive) != 0) {
        return nullptr;
    }
    return std::make_shared<PocketSphinxRecognizer>(m_shared);
}

std::shared_ptr<SpeechRecognitionRequest>
PocketSphinxSpeechService::createAudioBufferRequest(const RecognitionRequestOptions& options) {
    return std::make_shared<PocketSphinxRequest>(options);
}

int PocketSphinxSpeechService::loadedDecoderCount() const {
    return m_shared->loadedDecoders;
}

} // namespace aimset
