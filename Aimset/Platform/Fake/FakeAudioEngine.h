#pragma once

#include "Platform/AudioEngine.h"

#include <QStringList>

#include <mutex>

namespace aimset {

// A microphone the test plays: records every call, can refuse to start, and
// hands captured blocks to the tap from whichever thread the test calls it on.
class FakeAudioEngine final : public AudioEngine {
public:
    // journal, if given, also receives every call prefixed with "audio.".
    explicit FakeAudioEngine(QStringList* journal = nullptr);

    AudioFormat inputFormat(int bus) override;
    void installTap(int bus, int bufferSize, const AudioFormat& format, TapBlock block) override;
    void removeTap(int bus) override;
    void prepare() override;
    std::optional<QString> start() override;
    void stop() override;

    // Captures count blocks of the tap's size and format through the tap, on
    // the calling thread. Returns how many reached a tap.
    int capture(int count);

    AudioFormat format{16000, 1, AudioSampleFormat::int16};
    // When set, start() fails with this description.
    std::optional<QString> startFailure;

    // Main-thread calls only: "inputFormat 0", "installTap 0 1024 16000Hz 1ch int16",
    // "prepare", "start", "start failed", "stop", "removeTap 0".
    QStringList calls;
    bool isRunning = false;
    bool hasTap() const;

private:
    void record(const QString& call);

    QStringList* m_journal;
    mutable std::mutex m_tapMutex;
    TapBlock m_tap;
    int m_tapBufferSize = 0;
    AudioFormat m_tapFormat;
};

} // namespace aimset
