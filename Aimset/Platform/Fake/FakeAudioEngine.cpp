#include "FakeAudioEngine.h"

namespace aimset {

namespace {

QString describe(const AudioFormat& format) {
    return QStringLiteral("%1Hz %2ch %3")
        .arg(format.sampleRate)
        .arg(format.channelCount)
        .arg(format.sampleFormat == AudioSampleFormat::int16 ? QStringLiteral("int16")
                                                             : QStringLiteral("float32"));
}

int bytesPerSample(AudioSampleFormat format) {
    return format == AudioSampleFormat::int16 ? 2 : 4;
}

} // namespace

FakeAudioEngine::FakeAudioEngine(QStringList* journal)
    : m_journal(journal) {}

void FakeAudioEngine::record(const QString& call) {
    calls << call;
    if (m_journal) {
        *m_journal << QStringLiteral("audio.") + call;
    }
}

AudioFormat FakeAudioEngine::inputFormat(int bus) {
    record(QStringLiteral("inputFormat %1").arg(bus));
    return format;
}

void FakeAudioEngine::installTap(int bus, int bufferSize, const AudioFormat& tapFormat,
                                 TapBlock block) {
    record(QStringLiteral("installTap %1 %2 %3").arg(bus).arg(bufferSize).arg(describe(tapFormat)));
    std::lock_guard lock(m_tapMutex);
    m_tap = std::move(block);
    m_tapBufferSize = bufferSize;
    m_tapFormat = tapFormat;
}

void FakeAudioEngine::removeTap(int bus) {
    record(QStringLiteral("removeTap %1").arg(bus));
    std::lock_guard lock(m_tapMutex);
    m_tap = nullptr;
}

void FakeAudioEngine::prepare() {
    record(QStringLiteral("prepare"));
}

std::optional<QString> FakeAudioEngine::start() {
    if (startFailure) {
        record(QStringLiteral("start failed"));
        return startFailure;
    }
    record(QStringLiteral("start"));
    isRunning = true;
    return std::nullopt;
}

void FakeAudioEngine::stop() {
    record(QStringLiteral("stop"));
    isRunning = false;
}

bool FakeAudioEngine::hasTap() const {
    std::lock_guard lock(m_tapMutex);
    return static_cast<bool>(m_tap);
}

int FakeAudioEngine::capture(int count) {
    int delivered = 0;
    for (int i = 0; i < count; ++i) {
        // Held while the block runs, as a real engine does not call a removed tap.
        std::lock_guard lock(m_tapMutex);
        if (!m_tap) {
            break;
        }
        AudioBuffer buffer;
        buffer.format = m_tapFormat;
        buffer.frameCount = m_tapBufferSize;
        buffer.data = QByteArray(m_tapBufferSize * m_tapFormat.channelCount *
                                     bytesPerSample(m_tapFormat.sampleFormat),
                                 '\0');
        m_tap(buffer);
        ++delivered;
    }
    return delivered;
}

} // namespace aimset
