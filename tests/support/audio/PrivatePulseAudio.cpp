#include "PrivatePulseAudio.h"

#include <QDir>
#include <QFile>

#include <cstdio>
using namespace Qt::StringLiterals;

namespace aimset::test {

SpeechClips& SpeechClips::instance() {
    static SpeechClips clips;
    return clips;
}

SpeechClips::SpeechClips() {
    const QString phrase = m_dir.filePath(u"phrase.wav"_s);
    m_ready = m_dir.isValid() &&
              run(u"flite"_s, {u"-voice"_s, u"rms"_s, u"-t"_s, QString::fromLatin1(kPhrase),
                               u"-o"_s, phrase}) &&
              run(u"sox"_s, {phrase, u"-r"_s, u"16000"_s, u"-c"_s, u"1"_s, u"-b"_s, u"16"_s,
                             paddedPhrase(), u"pad"_s, u"0.5"_s, u"0.5"_s});
}

// Clients must never start a daemon of their own behind the test's back.
NoSoundServer::NoSoundServer()
    : m_server("PULSE_SERVER", (u"unix:"_s + socketPath()).toLocal8Bit())
    , m_clientConfig("PULSE_CLIENTCONFIG", m_dir.filePath(u"client.conf"_s).toLocal8Bit()) {
    writeFile(m_dir.filePath(u"client.conf"_s), "autospawn = no\n");
}

PrivatePulseAudio::PrivatePulseAudio() {
    const QString runtime = m_dir.filePath(u"runtime"_s);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, m_dir.path());
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    environment.insert(u"PULSE_RUNTIME_PATH"_s, runtime);
    environment.remove(u"PULSE_SERVER"_s);
    environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
    environment.remove(u"DISPLAY"_s);
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setStandardOutputFile(m_dir.filePath(u"daemon.log"_s));
    // -n: none of the machine's configuration; only the modules named here.
    // --system=no lets it run as root, as CI does.
    m_daemon.start(u"pulseaudio"_s,
                   {u"--system=no"_s, u"-n"_s, u"--daemonize=no"_s, u"--exit-idle-time=-1"_s,
                    u"--use-pid-file=no"_s, u"--disable-shm=yes"_s, u"--log-target=stderr"_s,
                    u"-L"_s,
                    u"module-native-protocol-unix auth-anonymous=1 socket="_s + socketPath(),
                    u"-L"_s, u"module-null-sink sink_name=speaker rate=16000 channels=1"_s, u"-L"_s,
                    u"module-remap-source source_name=microphone master=speaker.monitor"_s});
    // Ready once it answers.
    const bool answers =
        m_daemon.waitForStarted(10000) &&
        spinUntil(
            [&] { return m_daemon.state() != QProcess::Running || run(u"pactl"_s, {u"info"_s}); },
            std::chrono::seconds(30));
    m_running = answers && m_daemon.state() == QProcess::Running &&
                run(u"pactl"_s, {u"set-default-source"_s, u"microphone"_s}) &&
                run(u"pactl"_s, {u"set-default-sink"_s, u"speaker"_s});
    if (!m_running) {
        std::fprintf(stderr, "pulseaudio did not come up: see %s\n",
                     qPrintable(m_dir.filePath(u"daemon.log"_s)));
    }
}

PrivatePulseAudio::~PrivatePulseAudio() {
    stopProcess(m_daemon);
}

bool PrivatePulseAudio::play(const QString& wavFile) {
    return run(u"paplay"_s, {u"--device=speaker"_s, wavFile}).has_value();
}

} // namespace aimset::test
