#include "PrivatePulseAudio.h"

#include "SpeechTestAudio.h"
#include "support/SpinUntil.h"

#include <QDir>
#include <QFile>

#include <cstdio>
using namespace Qt::StringLiterals;

namespace aimset::test {

namespace {

std::optional<QByteArray> saved(const char* name) {
    return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
}

void restore(const char* name, const std::optional<QByteArray>& value) {
    if (value) {
        qputenv(name, *value);
    } else {
        qunsetenv(name);
    }
}

} // namespace

NoSoundServer::NoSoundServer()
    : m_savedServer(saved("PULSE_SERVER"))
    , m_savedClientConfig(saved("PULSE_CLIENTCONFIG")) {
    // Clients must never start a daemon of their own behind the test's back.
    QFile config(clientConfigPath());
    if (config.open(QIODevice::WriteOnly)) {
        config.write("autospawn = no\n");
    }
    qputenv("PULSE_SERVER", (u"unix:"_s + socketPath()).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", clientConfigPath().toLocal8Bit());
}

NoSoundServer::~NoSoundServer() {
    restore("PULSE_SERVER", m_savedServer);
    restore("PULSE_CLIENTCONFIG", m_savedClientConfig);
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
    return run(u"paplay"_s, {u"--device=speaker"_s, wavFile});
}

} // namespace aimset::test
