#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace aimset::test {

// The phrase every speech test says, as flite's "rms" voice speaks it.
inline constexpr auto kPhrase = "finish the quarterly report";

// Runs program with arguments; true if it exited 0. Its output goes to the
// test's own standard error.
bool run(const QString& program, const QStringList& arguments, int timeoutMs = 60000);

// The phrase at 16 kHz, mono, 16-bit with half a second of silence before
// and after, made once per test program in a temporary folder.
class SpeechClips {
public:
    static SpeechClips& instance();
    QString paddedPhrase() const { return m_dir.filePath(QStringLiteral("padded.wav")); }
    bool isReady() const { return m_ready; }

private:
    SpeechClips();
    QTemporaryDir m_dir;
    bool m_ready = false;
};

} // namespace aimset::test
