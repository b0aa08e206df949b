#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace aimset {

enum class AudioSampleFormat {
    int16,   // signed 16-bit, native byte order
    float32, // 32-bit float in [-1, 1]
};

struct AudioFormat {
    int sampleRate = 0;
    int channelCount = 0;
    AudioSampleFormat sampleFormat = AudioSampleFormat::int16;
    friend bool operator==(const AudioFormat&, const AudioFormat&) = default;
};

// One block of captured audio, channels interleaved.
struct AudioBuffer {
    AudioFormat format;
    int frameCount = 0;
    QByteArray data;
};

// Microphone capture as a graph with one input node. A tap on the input node
// hands every captured block to a callback on the capture thread.
class AudioEngine {
public:
    // Called on the capture thread, never on the main thread.
    using TapBlock = std::function<void(const AudioBuffer& buffer)>;

    virtual ~AudioEngine() = default;

    // The input node's output format on bus.
    virtual AudioFormat inputFormat(int bus) = 0;
    // Taps the input node's bus, delivering blocks of bufferSize frames in format.
    virtual void installTap(int bus, int bufferSize, const AudioFormat& format, TapBlock block) = 0;
    // After it returns, the tap's block is no longer called.
    virtual void removeTap(int bus) = 0;
    virtual void prepare() = 0;
    // Starts capturing. Returns the failure's description if it could not.
    virtual std::optional<QString> start() = 0;
    virtual void stop() = 0;
};

} // namespace aimset
