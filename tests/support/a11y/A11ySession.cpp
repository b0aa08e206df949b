#include "support/a11y/A11ySession.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <csignal>
#include <unistd.h>

namespace aimset::test {

namespace {

// A session bus that activates nothing: the test starts what it needs.
constexpr auto kBusConfig =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) {
        return;
    }
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

} // namespace

std::unique_ptr<A11ySession> A11ySession::start(Launcher launcher) {
    std::unique_ptr<A11ySession> session(new A11ySession);
    if (!session->m_dir.isValid()) {
        ADD_FAILURE() << "no temporary directory";
        return nullptr;
    }
    const QString config = session->m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QString::fromLatin1(kBusConfig).arg(session->m_dir.path()).toUtf8()) < 0) {
        ADD_FAILURE() << "cannot write " << config.toStdString();
        return nullptr;
    }
    file.close();

    session->m_bus.start(QStringLiteral("dbus-daemon"),
                         {QStringLiteral("--nofork"), QStringLiteral("--config-file=") + config,
                          QStringLiteral("--print-address=1")});
    QDeadlineTimer limit(10000);
    while (!session->m_bus.canReadLine() && !limit.hasExpired() &&
           session->m_bus.state() != QProcess::NotRunning) {
        session->m_bus.waitForReadyRead(200);
    }
    session->m_address = QString::fromUtf8(session->m_bus.readLine()).trimmed();
    if (session->m_address.isEmpty()) {
        ADD_FAILURE() << "dbus-daemon did not start: "
                      << session->m_bus.errorString().toStdString();
        return nullptr;
    }
    if (launcher == Launcher::none) {
        return session;
    }

    // Without DISPLAY the launcher leaves the X root window alone, so nothing
    // of this session outlives it there; programs find it on the session bus.
    QProcessEnvironment environment = session->environment();
    environment.remove(QStringLiteral("DISPLAY"));
    session->m_launcher.setProcessEnvironment(environment);
    session->m_launcher.start(
        QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
        {QStringLiteral("--launch-immediately"),
         launcher == Launcher::enabled ? QStringLiteral("--a11y=1") : QStringLiteral("--a11y=0")});
    const QString probeName = QStringLiteral("a11y-session-probe");
    bool ready = false;
    {
        QDBusConnection probe = QDBusConnection::connectToBus(session->m_address, probeName);
        ready = waitUntil(
            [&probe] {
                return probe.interface()
                    ->isServiceRegistered(QStringLiteral("org.a11y.Bus"))
                    .value();
            },
            std::chrono::seconds(10));
    }
    QDBusConnection::disconnectFromBus(probeName);
    if (!ready) {
        ADD_FAILURE() << "at-spi-bus-launcher did not come up";
        return nullptr;
    }
    return session;
}

A11ySession::~A11ySession() {
    stop(m_launcher);
    stop(m_bus);
}

QProcessEnvironment A11ySession::environment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_address);
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_dir.filePath(QStringLiteral("cache")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    environment.remove(QStringLiteral("NO_AT_BRIDGE"));
    environment.remove(QStringLiteral("AT_SPI_BUS_ADDRESS"));
    environment.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return environment;
}

TestApp::TestApp(const QString& program, const QStringList& arguments,
                 const QProcessEnvironment& environment) {
    m_process.setProcessEnvironment(environment);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start(program, arguments);
    m_process.waitForStarted(10000);
}

TestApp::~TestApp() {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    thaw();
    // Chromium takes its helper processes down with it only when asked.
    stop(m_process);
}

void TestApp::freeze() {
    ::kill(static_cast<pid_t>(m_process.processId()), SIGSTOP);
}

void TestApp::thaw() {
    ::kill(static_cast<pid_t>(m_process.processId()), SIGCONT);
}

bool waitUntil(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
    QDeadlineTimer deadline(limit);
    while (!ready()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(200);
    }
    return true;
}

std::shared_ptr<const AccessibleElement> readWindow(Accessibility& accessibility, std::int32_t pid,
                                                    std::chrono::milliseconds limit) {
    struct Answer {
        int count = 0;
        std::shared_ptr<const AccessibleElement> window;
    };
    // Shared: a late answer must not land on a finished call's stack.
    const auto answer = std::make_shared<Answer>();
    accessibility.readFocusedWindow(pid, [answer](std::shared_ptr<const AccessibleElement> read) {
        ++answer->count;
        answer->window = std::move(read);
    });
    EXPECT_EQ(answer->count, 0) << "answered before the call returned";
    QDeadlineTimer deadline(limit);
    while (answer->count == 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    EXPECT_EQ(answer->count, 1) << "no answer, or more than one, from the window read";
    return answer->window;
}

QString writePage(const QTemporaryDir& folder, const QString& fileName, const QString& title,
                  const QString& body) {
    const QString path = folder.filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
        return {};
    }
    file.write(QStringLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                              "<title>%1</title></head><body>%2</body></html>")
                   .arg(title, body)
                   .toUtf8());
    return QUrl::fromLocalFile(path).toString();
}

QString chromiumProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("chromium"));
}

QStringList chromiumArguments(const QString& profileDir, const QString& url) {
    QStringList arguments{QStringLiteral("--force-renderer-accessibility"),
                          QStringLiteral("--password-store=basic"),
                          QStringLiteral("--user-data-dir=") + profileDir,
                          QStringLiteral("--no-first-run"),
                          QStringLiteral("--no-default-browser-check"),
                          QStringLiteral("--disable-gpu"),
                          QStringLiteral("--disable-extensions"),
                          QStringLiteral("--disable-background-networking"),
                          QStringLiteral("--disable-sync"),
                          QStringLiteral("--disable-features=Translate,MediaRouter"),
                          QStringLiteral("--window-size=1000,700")};
    // Its sandbox refuses to run as root, which the test machines are.
    if (::geteuid() == 0) {
        arguments << QStringLiteral("--no-sandbox");
    }
    arguments << url;
    return arguments;
}

} // namespace aimset::test
