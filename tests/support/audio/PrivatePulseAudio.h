#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <optional>

namespace aimset::test {

// Points this process's PulseAudio clients (Qt Multimedia included) at a
// socket in a folder of its own while it lives; the environment is restored
// when it goes. With no daemon there, that is a machine without sound.
class NoSoundServer {
public:
    NoSoundServer();
    ~NoSoundServer();
    NoSoundServer(const NoSoundServer&) = delete;
    NoSoundServer& operator=(const NoSoundServer&) = delete;

protected:
    QString socketPath() const { return m_dir.filePath(QStringLiteral("native")); }
    QString clientConfigPath() const { return m_dir.filePath(QStringLiteral("client.conf")); }
    QTemporaryDir m_dir;

private:
    std::optional<QByteArray> m_savedServer;
    std::optional<QByteArray> m_savedClientConfig;
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
