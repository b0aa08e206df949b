#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace aimset::test {

// The variable's value, or nothing if it is not set.
std::optional<QByteArray> savedVariable(const char* name);

// A PulseAudio daemon of the test's own, in a temporary runtime folder: a
// null sink "speaker" and a source "microphone" that hears what is played to
// it, as the default input. While it lives, this process's PulseAudio
// clients (Qt Multimedia included) connect to it and to nothing else; the
// daemon is stopped and the environment restored when it goes.
class PrivatePulseAudio {
public:
    PrivatePulseAudio();
    ~PrivatePulseAudio();
    PrivatePulseAudio(const PrivatePulseAudio&) = delete;
    PrivatePulseAudio& operator=(const PrivatePulseAudio&) = delete;

    bool isRunning() const { return m_running; }
    // Plays a WAV file to the speaker and waits until it has been played.
    bool play(const QString& wavFile);

private:
    bool pactl(const QStringList& arguments);

    QTemporaryDir m_dir;
    QProcess m_daemon;
    bool m_running = false;
    std::optional<QByteArray> m_savedServer;
    std::optional<QByteArray> m_savedClientConfig;
};

// Points this process's PulseAudio clients at a server that is not there
// while it lives.
class NoSoundServer {
public:
    NoSoundServer();
    ~NoSoundServer();
    NoSoundServer(const NoSoundServer&) = delete;
    NoSoundServer& operator=(const NoSoundServer&) = delete;

private:
    QTemporaryDir m_dir;
    std::optional<QByteArray> m_savedServer;
    std::optional<QByteArray> m_savedClientConfig;
};

} // namespace aimset::test
