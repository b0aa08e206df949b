#pragma once

#include "support/SpinUntil.h"

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace aimset::test {

using namespace Qt::StringLiterals;

// The phrase every speech test says, as flite's "rms" voice speaks it.
inline constexpr auto kPhrase = "finish the quarterly report";

// The phrase at 16 kHz, mono, 16-bit with half a second of silence before
// and after, made once per test program in a temporary folder.
class SpeechClips {
public:
    static SpeechClips& instance() {
        static SpeechClips clips;
        return clips;
    }
    QString paddedPhrase() const { return m_dir.filePath(u"padded.wav"_s); }
    bool isReady() const { return m_ready; }

private:
    SpeechClips() {
        const QString phrase = m_dir.filePath(u"phrase.wav"_s);
        m_ready = m_dir.isValid() &&
                  run(u"flite"_s, {u"-voice"_s, u"rms"_s, u"-t"_s, QString::fromLatin1(kPhrase),
                                   u"-o"_s, phrase}) &&
                  run(u"sox"_s, {phrase, u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s, u"-b"_s, u"16"_s,
                                 paddedPhrase(), u"pad"_s, u"0.5"_s, u"0.5"_s});
    }
    QTemporaryDir m_dir;
    bool m_ready = false;
};

// Points this process's PulseAudio clients (Qt Multimedia included) at a
// socket in a folder of its own while it lives; the environment is restored
// when it goes. With no daemon there, that is a machine without sound.
class NoSoundServer {
public:
    // Clients must never start a daemon of their own behind the test's back.
    NoSoundServer()
        : m_server("PULSE_SERVER", (u"unix:"_s + socketPath()).toLocal8Bit())
        , m_clientConfig("PULSE_CLIENTCONFIG", m_dir.filePath(u"client.conf"_s).toLocal8Bit()) {
        writeFile(m_dir.filePath(u"client.conf"_s), "autospawn = no\n");
    }

protected:
    QString socketPath() const { return m_dir.filePath(u"native"_s); }
    QTemporaryDir m_dir;

private:
    ScopedEnvironment m_server;
    ScopedEnvironment m_clientConfig;
};

// A PulseAudio daemon of the test's own on that socket: a null sink
// "speaker" and a source "microphone" that hears what is played to it, as
// the default input, its messages on the test's standard error. It is
// stopped when it goes.
class PrivatePulseAudio : public NoSoundServer {
public:
    PrivatePulseAudio() {
        // Its home and runtime folder: the test's own, private (0700) as it must be.
        // Nothing else: no other sound server, session bus or display.
        QProcessEnvironment environment;
        for (const QString& name : {u"HOME"_s, u"XDG_RUNTIME_DIR"_s, u"PULSE_RUNTIME_PATH"_s}) {
            environment.insert(name, m_dir.path());
        }
        m_daemon.setProcessEnvironment(environment);
        // -n: none of the machine's configuration; only the modules named here.
        // --system=no lets it run as root, as CI does.
        m_daemon.launch(u"pulseaudio"_s,
                        {u"--system=no"_s, u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s,
                         u"--use-pid-file=no"_s, u"--disable-shm=yes"_s, u"--log-target=stderr"_s,
                         u"--log-level=error"_s, u"-L"_s,
                         u"module-native-protocol-unix auth-anonymous=1 socket="_s + socketPath(),
                         u"-L"_s, u"module-null-sink sink_name=speaker rate=16000 channels=1"_s,
                         u"-L"_s,
                         u"module-remap-source source_name=microphone master=speaker.monitor"_s});
        // Ready once it answers; one that died at start is not waited for.
        m_running = spinUntil(
                        [this] {
                            return m_daemon.state() != QProcess::Running ||
                                   run(u"pactl"_s, {u"info"_s}).has_value();
                        },
                        std::chrono::seconds(30)) &&
                    m_daemon.state() == QProcess::Running;
    }

    bool isRunning() const { return m_running; }
    // Plays a WAV file to the speaker and waits until it has been played.
    bool play(const QString& wavFile) {
        return run(u"paplay"_s, {u"--device=speaker"_s, wavFile}).has_value();
    }

private:
    LineProcess m_daemon;
    bool m_running = false;
};

} // namespace aimset::test
