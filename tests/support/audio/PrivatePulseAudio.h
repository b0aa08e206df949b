#pragma once

#include "support/SpinUntil.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace aimset::test {

// The phrase every speech test says, as flite's "rms" voice speaks it.
inline constexpr auto kPhrase = "finish the quarterly report";

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

// Points this process's PulseAudio clients (Qt Multimedia included) at a
// socket in a folder of its own while it lives; the environment is restored
// when it goes. With no daemon there, that is a machine without sound.
class NoSoundServer {
public:
    NoSoundServer();

protected:
    QString socketPath() const { return m_dir.filePath(QStringLiteral("native")); }
    QTemporaryDir m_dir;

private:
    ScopedEnvironment m_server;
    ScopedEnvironment m_clientConfig;
};

// A PulseAudio daemon of the test's own on that socket: a null sink
// "speaker" and a source "microphone" that hears what is played to it, as
// the default input. It is stopped when it goes.
class PrivatePulseAudio : public NoSoundServer {
public:
    PrivatePulseAudio();
    ~PrivatePulseAudio();

    bool isRunning() const { return m_running; }
    // Plays a WAV file to the speaker and waits until it has been played.
    bool play(const QString& wavFile);

private:
    QProcess m_daemon;
    bool m_running = false;
};

} // namespace aimset::test
