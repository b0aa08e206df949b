#include "PocketSphinxRecognizer.h"

#include "Runtime/Log.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QFileInfo>
#include <QMediaDevices>
#include <QMetaObject>

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

#include <malloc.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>

namespace aimset {

namespace {

constexpr int kSampleRate = 16000;

// Decoding works through the backlog in steps this long, so a stop is
// noticed within one step and results keep coming while it catches up.
constexpr std::size_t kStepSamples = 1024;

// A recording the machine cannot decode fast enough stops growing at five
// minutes of audio.
constexpr std::size_t kMaxQueuedSamples = 5 * 60 * kSampleRate;

QString describe(QAudio::Error error) {
    return QStringLiteral("the audio input ") +
           (error == QAudio::OpenError       ? QStringLiteral("could not be opened")
            : error == QAudio::IOError       ? QStringLiteral("could not be read")
            : error == QAudio::UnderrunError ? QStringLiteral("stopped delivering")
                                             : QStringLiteral("failed"));
}

// The library keeps some loading state in globals: one load at a time.
std::mutex loadMutex;

using Decoder = std::unique_ptr<ps_decoder_t, decltype([](ps_decoder_t* d) { ps_free(d); })>;

Decoder load(const PocketSphinxRecognizer::Model& model) {
    std::lock_guard lock(loadMutex);
    // The library's own progress chatter would drown our log; failures are
    // reported by us instead.
    err_set_logfp(nullptr);
    const QByteArray acoustic = QFileInfo(model.acousticModel).absoluteFilePath().toLocal8Bit();
    const QByteArray language = QFileInfo(model.languageModel).absoluteFilePath().toLocal8Bit();
    const QByteArray dictionary = QFileInfo(model.dictionary).absoluteFilePath().toLocal8Bit();
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", acoustic.constData(), "-lm",
                                   language.constData(), "-dict", dictionary.constData(),
                                   static_cast<const char*>(nullptr));
    if (!config) {
        return nullptr;
    }
    Decoder decoder(ps_init(config));
    // The decoder holds its own reference to the configuration.
    cmd_ln_free_r(config);
    return decoder;
}

} // namespace

// What the capture thread, the worker and the main thread share about one
// recording: the audio not yet decoded, and whether it was stopped.
struct PocketSphinxRecognizer::Recording {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::int16_t> samples;
    bool stopped = false;
    bool overflowed = false;
    Listener listener;

    void append(const QByteArray& bytes) {
        {
            std::lock_guard lock(mutex);
            const std::size_t room =
                kMaxQueuedSamples - std::min(kMaxQueuedSamples, samples.size());
            const std::size_t count = std::min(room, static_cast<std::size_t>(bytes.size() / 2));
            overflowed = overflowed || count < static_cast<std::size_t>(bytes.size() / 2);
            // A full queue takes nothing; memcpy must not see its null pointers.
            if (count > 0) {
                const std::size_t at = samples.size();
                samples.resize(at + count);
                std::memcpy(samples.data() + at, bytes.constData(), count * 2);
            }
        }
        changed.notify_all();
    }

    // Reports under the lock, so nothing is reported once stop() has returned.
    void report(std::function<void(const QString&)> Listener::*kind, const QString& text) {
        std::lock_guard lock(mutex);
        if (!stopped) {
            (listener.*kind)(text);
        }
    }

    void stop() {
        {
            std::lock_guard lock(mutex);
            stopped = true;
        }
        changed.notify_all();
    }

    bool isStopped() {
        std::lock_guard lock(mutex);
        return stopped;
    }
};

namespace {

using Listener = SpeechRecognizer::Listener;

// One recording, on its worker thread: load, decode what arrives, report.
void recognize(const PocketSphinxRecognizer::Model& model, std::atomic<int>& loadedDecoders,
               PocketSphinxRecognizer::Recording& recording) {
    ++loadedDecoders;
    Decoder decoder = load(model);
    if (!decoder) {
        recording.report(&Listener::failed, QStringLiteral("The speech model could not be loaded"));
        --loadedDecoders;
        return;
    }
    ps_start_utt(decoder.get());
    QString reported;
    bool reportedOverflow = false;
    std::vector<std::int16_t> pending;
    for (;;) {
        bool overflowed = false;
        {
            std::unique_lock lock(recording.mutex);
            recording.changed.wait(lock,
                                   [&] { return recording.stopped || !recording.samples.empty(); });
            if (recording.stopped) {
                break;
            }
            pending.swap(recording.samples);
            overflowed = recording.overflowed;
        }
        if (overflowed && !std::exchange(reportedOverflow, true)) {
            recording.report(&Listener::failed,
                             QStringLiteral("Recognition fell behind; audio was left out"));
        }
        for (std::size_t offset = 0; offset < pending.size() && !recording.isStopped();
             offset += kStepSamples) {
            const std::size_t count = std::min(kStepSamples, pending.size() - offset);
            ps_process_raw(decoder.get(), pending.data() + offset, count, FALSE, FALSE);
            int32 score = 0;
            const QString text = QString::fromUtf8(ps_get_hyp(decoder.get(), &score));
            if (text != reported) {
                reported = text;
                recording.report(&Listener::heard, text);
            }
        }
        pending.clear();
    }
    decoder.reset();
    // The model is many small allocations; hand the freed pages back to the
    // system rather than keep them in the heap until the next recording.
    malloc_trim(0);
    --loadedDecoders;
}

} // namespace

PocketSphinxRecognizer::Model PocketSphinxRecognizer::usEnglishModel() {
    const QString directory = QStringLiteral("/usr/share/pocketsphinx/model/en-us");
    return Model{directory + QStringLiteral("/en-us"), directory + QStringLiteral("/en-us.lm.bin"),
                 directory + QStringLiteral("/cmudict-en-us.dict")};
}

PocketSphinxRecognizer::PocketSphinxRecognizer(Model model)
    : m_model(std::move(model)) {
    // A recording never waits for an earlier one's decoder to let go.
    m_workers.setMaxThreadCount(std::numeric_limits<int>::max());
}

PocketSphinxRecognizer::~PocketSphinxRecognizer() {
    stopListening();
    m_workers.waitForDone();
    if (m_captureThread.isRunning()) {
        m_captureThread.quit();
        m_captureThread.wait();
    }
}

SpeechAvailability PocketSphinxRecognizer::availability() {
    // The files are there; whether they load shows when they do.
    const bool present = QFileInfo(m_model.acousticModel + QStringLiteral("/mdef")).isReadable() &&
                         QFileInfo(m_model.languageModel).isReadable() &&
                         QFileInfo(m_model.dictionary).isReadable();
    return present ? SpeechAvailability::available : SpeechAvailability::noModel;
}

void PocketSphinxRecognizer::requestAccess(std::function<void(SpeechAvailability)> answer) {
    const SpeechAvailability now = availability();
    if (now == SpeechAvailability::noModel) {
        Log(QStringLiteral("[Speech] Could not load the speech model from ") +
            m_model.acousticModel);
    }
    answer(now);
}

std::optional<QString> PocketSphinxRecognizer::startListening(Listener listener) {
    if (m_recording) {
        return std::nullopt;
    }
    if (!m_captureThread.isRunning()) {
        m_captureThread.setObjectName(QStringLiteral("audio capture"));
        m_captureThread.start();
        m_captureContext = std::make_unique<QObject>();
        m_captureContext->moveToThread(&m_captureThread);
    }
    auto recording = std::make_shared<Recording>();
    recording->listener = std::move(listener);

    std::optional<QString> failure;
    onCaptureThread([&] {
        const QAudioDevice device = QMediaDevices::defaultAudioInput();
        if (device.isNull()) {
            failure =
                QStringLiteral("no audio input device is available (is a sound server running?)");
            return;
        }
        QAudioFormat format;
        format.setSampleRate(kSampleRate);
        format.setChannelCount(1);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format)) {
            failure = QStringLiteral("the audio input \"%1\" cannot record 16000 Hz, 1 "
                                     "channel(s), 16-bit")
                          .arg(device.description());
            return;
        }
        m_source = std::make_unique<QAudioSource>(device, format);
        // Two blocks of 1024 samples keep the delay from speech to decoder short.
        m_source->setBufferSize(2 * 1024 * 2);
        QIODevice* input = m_source->start();
        if (!input || m_source->error() != QAudio::NoError) {
            failure = QStringLiteral("%1 (\"%2\")")
                          .arg(describe(m_source->error()), device.description());
            m_source.reset();
            return;
        }
        // Hands on whole samples; an odd byte waits for its other half.
        QObject::connect(input, &QIODevice::readyRead, m_captureContext.get(),
                         [input, recording, bytes = QByteArray()]() mutable {
                             bytes += input->readAll();
                             const qsizetype whole = bytes.size() & ~qsizetype(1);
                             recording->append(bytes.first(whole));
                             bytes.remove(0, whole);
                         });
    });
    if (failure) {
        return failure;
    }
    m_recording = recording;
    // The destructor waits for the workers: they may use this.
    m_workers.start([this, recording] { recognize(m_model, m_loadedDecoders, *recording); });
    return std::nullopt;
}

void PocketSphinxRecognizer::stopListening() {
    if (!m_recording) {
        return;
    }
    onCaptureThread([this] {
        m_source->stop();
        m_source.reset();
    });
    // The worker frees its decoder within one decoding step.
    std::exchange(m_recording, nullptr)->stop();
}

void PocketSphinxRecognizer::onCaptureThread(const std::function<void()>& fn) {
    QMetaObject::invokeMethod(m_captureContext.get(), fn, Qt::BlockingQueuedConnection);
}

} // namespace aimset
