#include "PrivatePulseAudio.h"

#include "SpeechTestAudio.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace aimset::test {

namespace {

// Clients must never start a daemon of their own behind the test's back.
QString writeClientConfig(const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("client.conf"));
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
    const QString runtime = m_dir.filePath(QStringLiteral("runtime"));
    const QString home = m_dir.filePath(QStringLiteral("home"));
    QDir().mkpath(runtime);
    QDir().mkpath(home);
    QFile::setPermissions(runtime,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString socket = m_dir.filePath(QStringLiteral("native"));
    const QString clientConfig = writeClientConfig(m_dir);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), runtime);
    environment.insert(QStringLiteral("PULSE_CLIENTCONFIG"), clientConfig);
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    environment.remove(QStringLiteral("DISPLAY"));
    m_daemon.setProcessEnvironment(environment);
    m_daemon.setProcessChannelMode(QProcess::MergedChannels);
    m_daemon.setStandardOutputFile(m_dir.filePath(QStringLiteral("daemon.log")));
    // -n: none of the machine's configuration; only the modules named here.
    // --system=no lets it run as root, as CI does.
    m_daemon.start(QStringLiteral("pulseaudio"),
                   {QStringLiteral("--system=no"), QStringLiteral("-n"),
                    QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                    QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
                    QStringLiteral("--log-target=stderr"), QStringLiteral("-L"),
                    QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                    QStringLiteral("-L"),
                    QStringLiteral("module-null-sink sink_name=speaker rate=16000 channels=1"),
                    QStringLiteral("-L"),
                    QStringLiteral("module-remap-source source_name=microphone "
                                   "master=speaker.monitor")});
    if (!m_daemon.waitForStarted(10000)) {
        std::fprintf(stderr, "pulseaudio could not be started\n");
        return;
    }
    qputenv("PULSE_SERVER", (QStringLiteral("unix:") + socket).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", clientConfig.toLocal8Bit());

    // Ready once it answers.
    QElapsedTimer waited;
    waited.start();
    while (!pactl({QStringLiteral("info")})) {
        if (m_daemon.state() != QProcess::Running || waited.elapsed() > 30000) {
            std::fprintf(stderr, "pulseaudio did not come up\n");
            return;
        }
        QThread::msleep(50);
    }
    m_running = pactl({QStringLiteral("set-default-source"), QStringLiteral("microphone")}) &&
                pactl({QStringLiteral("set-default-sink"), QStringLiteral("speaker")});
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
    process.start(QStringLiteral("pactl"), arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool PrivatePulseAudio::play(const QString& wavFile) {
    return run(QStringLiteral("paplay"), {QStringLiteral("--device=speaker"), wavFile});
}

NoSoundServer::NoSoundServer()
    : m_savedServer(savedVariable("PULSE_SERVER"))
    , m_savedClientConfig(savedVariable("PULSE_CLIENTCONFIG")) {
    qputenv(
        "PULSE_SERVER",
        (QStringLiteral("unix:") + m_dir.filePath(QStringLiteral("nobody-here"))).toLocal8Bit());
    qputenv("PULSE_CLIENTCONFIG", writeClientConfig(m_dir).toLocal8Bit());
}

NoSoundServer::~NoSoundServer() {
    restore("PULSE_SERVER", m_savedServer);
    restore("PULSE_CLIENTCONFIG", m_savedClientConfig);
}

} // namespace aimset::test
