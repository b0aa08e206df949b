#pragma once

#include "Platform/AudioEngine.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace aimset::test {

// The phrase every speech test says, as flite's "rms" voice speaks it.
inline constexpr auto kPhrase = "finish the quarterly report";

// A WAV file's samples, channels interleaved, in its own format.
struct WavClip {
    AudioFormat format;
    QByteArray data;
    int frameCount() const;
    // The clip cut into buffers of frames frames each (the last may be shorter).
    std::vector<AudioBuffer> buffers(int frames) const;
};

// Reads a PCM (16-bit) or IEEE float (32-bit) WAV file; empty on anything else.
std::optional<WavClip> readWav(const QString& path);

// Runs program with arguments; true if it exited 0. Its output goes to the
// test's own standard error.
bool run(const QString& program, const QStringList& arguments, int timeoutMs = 60000);

// Speech clips made once per test program in a temporary folder.
class SpeechClips {
public:
    static SpeechClips& instance();
    // The phrase at 16 kHz, mono, 16-bit, as flite writes it.
    QString phrase() const { return m_dir.filePath(QStringLiteral("phrase.wav")); }
    // The same clip with half a second of silence before and after.
    QString paddedPhrase() const { return m_dir.filePath(QStringLiteral("padded.wav")); }
    bool isReady() const { return m_ready; }

private:
    SpeechClips();
    QTemporaryDir m_dir;
    bool m_ready = false;
};

} // namespace aimset::test
