#include "PrivatePulseAudio.h"

#include "SpeechTestAudio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>
using namespace Qt::StringLiterals;

namespace aimset::test {

namespace {

// Clients must never start a daemon of their own behind the test's back.
QString writeClientConfig(const QTemporaryDir& dir) {
    const QString path = dir.filePath(u"client.conf"_s);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write("autospawn = no\n");
    }
    return path;
}

void restore(const char* name, const std::optional<QByteArray>& saved) {
    if (saved) {
        qputenv(name, *saved);
    } else {
        qunsetenv(name);
    }
}

} // namespace

std::optional<QByteArray> savedVariable(const char* name) {
    if (!qEnvironmentVariableIsSet(name)) {
        return std::nullopt;
    }
    return qgetenv(name);
}

PrivatePulseAudio::PrivatePulseAudio()
    : m_savedServer(savedVariable("PULSE_SERVER"))
    , m_savedClientConfig(savedVariable("PULSE_CLIENTCONFIG")) {
    if (!m_dir.isValid()) {
        return;
    }
    const QString runtime = m_dir.filePath(u"runtime"_s);
    const QString home = m_dir.filePath(u"home"_s);
    QDir().mkpath(runtime);
    QDir().mkpath(home);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString socket = m_dir.filePath(u"native"_s);
    const QString clientConfig = writeClientConfig(m_dir);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"HOME"_s, home);
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime);
    environment.insert(u"PULSE_RUNTIME_PATH"_s, runtime);
    environment.insert(u"PULSE_CLIENTCONFIG"_s, clientConfig);
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
                    u"-L"_s, u"module-native-protocol-unix auth-anonymous=1 socket="_s + socket,
                    u"-L"_s, u"module-null-sink sink_name=speaker rate=16000 channels=1"_s, u"-L"_s,
                    u"module-remap-source source_name=microphone master=speaker.monitor"_s});
    if (!m_daemon.waitForStarted(10000)) {
        std::fprintf(stderr, "pulseaudio could not be started\n");
        return;
    }
    qputenv("PULSE_SERVER", (u"unix:"_s + socket).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", clientConfig.toLocal8Bit());

    // Ready once it answers.
    QElapsedTimer waited;
    waited.start();
    while (!pactl({u"info"_s})) {
        if (m_daemon.state() != QProcess::Running || waited.elapsed() > 30000) {
            std::fprintf(stderr, "pulseaudio did not come up\n");
            return;
        }
        QThread::msleep(50);
    }
    m_running = pactl({u"set-default-source"_s, u"microphone"_s}) &&
                pactl({u"set-default-sink"_s, u"speaker"_s});
}

PrivatePulseAudio::~PrivatePulseAudio() {
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(10000)) {
            m_daemon.kill();
            m_daemon.waitForFinished();
        }
    }
    restore("PULSE_SERVER", m_savedServer);
    restore("PULSE_CLIENTCONFIG", m_savedClientConfig);
}

bool PrivatePulseAudio::pactl(const QStringList& arguments) {
    QProcess process;
    process.start(u"pactl"_s, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PrivatePulseAudio::play(const QString& wavFile) {
    return run(u"paplay"_s, {u"--device=speaker"_s, wavFile});
}

NoSoundServer::NoSoundServer()
    : m_savedServer(savedVariable("PULSE_SERVER"))
    , m_savedClientConfig(savedVariable("PULSE_CLIENTCONFIG")) {
    qputenv("PULSE_SERVER", (u"unix:"_s + m_dir.filePath(u"nobody-here"_s)).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", writeClientConfig(m_dir).toLocal8Bit());
}

NoSoundServer::~NoSoundServer() {
    restore("PULSE_SERVER", m_savedServer);
    restore("PULSE_CLIENTCONFIG", m_savedClientConfig);
}

} // namespace aimset::test
