#pragma once

#include "Platform/AudioEngine.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QThread>

#include <memory>
#include <mutex>

class QAudioSource;
class QIODevice;

namespace aimset {

// The default audio input through Qt Multimedia (PulseAudio on Linux),
// captured on a thread of its own: the tap receives whole blocks of the size
// it asked for, in the format it asked for, on that thread. Everything else
// is called on the main thread.
class QtAudioEngine final : public AudioEngine {
public:
    // What the input node delivers unless a tap asks otherwise: what the
    // speech recogniser works in.
    static constexpr AudioFormat defaultFormat{16000, 1, AudioSampleFormat::int16};

    QtAudioEngine();
    ~QtAudioEngine() override;
    QtAudioEngine(const QtAudioEngine&) = delete;
    QtAudioEngine& operator=(const QtAudioEngine&) = delete;

    // The one input node has bus 0; any other bus has no format.
    AudioFormat inputFormat(int bus) override;
    // A tap on another bus than 0, or with a format that names no audio, is
    // refused: its block is never called.
    void installTap(int bus, int bufferSize, const AudioFormat& format, TapBlock block) override;
    void removeTap(int bus) override;
    void prepare() override;
    // Opens the default input; fails with a description when there is no
    // input device, no sound server, or the device refuses the format.
    std::optional<QString> start() override;
    void stop() override;

    bool isRunning() const { return m_running; }

private:
    // State of the capture thread, touched on that thread only.
    struct Capture {
        std::unique_ptr<QAudioSource> source;
        QIODevice* device = nullptr;
        QByteArray pending;
        qsizetype blockBytes = 0;
        int blockFrames = 0;
        AudioFormat format;
    };

    void startThread();
    std::optional<QString> openInput(AudioFormat format, int blockFrames);
    void closeInput();
    void readInput();
    // Runs fn on the capture thread and waits for it.
    void onCaptureThread(const std::function<void()>& fn);

    QThread m_thread;
    std::unique_ptr<QObject> m_captureContext; // lives on m_thread
    Capture m_capture;
    bool m_running = false;

    std::mutex m_tapMutex;
    TapBlock m_tap;
    int m_tapBufferSize = 0;
    AudioFormat m_tapFormat;
};

} // namespace aimset
