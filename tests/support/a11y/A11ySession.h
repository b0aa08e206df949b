#pragma once

#include "Platform/Accessibility.h"
#include "support/SpinUntil.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <memory>
#include <unistd.h>

namespace aimset::test {

using namespace Qt::StringLiterals;

// A session bus that activates nothing: the test starts what it needs.
inline constexpr auto kBusConfig = R"(<busconfig>
  <listen>unix:dir=%1</listen>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>)";

// A private D-Bus session bus, optionally with the accessibility bus launcher
// of at-spi2-core on it; everything it started stops when it goes. Desktop
// settings of the programs started in it live in memory only.
class A11ySession {
public:
    enum class Launcher { none, disabled, enabled };

    // Null, with a test failure saying why, when it cannot be had.
    static std::unique_ptr<A11ySession> start(Launcher launcher) {
        std::unique_ptr<A11ySession> session(new A11ySession);
        // A bus that cannot read its configuration does not start, which is said below.
        const QString config = session->m_dir.filePath(u"bus.conf"_s);
        writeFile(config, QString::fromLatin1(kBusConfig).arg(session->m_dir.path()).toUtf8());
        session->m_bus.launch(u"dbus-daemon"_s, {u"--nofork"_s, u"--print-address=1"_s,
                                                 u"--config-file="_s + config});
        spinUntil([&] { return !session->m_bus.printed.isEmpty(); });
        session->m_address = session->m_bus.printed.value(0);
        if (session->m_address.isEmpty()) {
            ADD_FAILURE() << "dbus-daemon did not start";
            return nullptr;
        }
        if (launcher == Launcher::none) {
            return session;
        }

        // Without DISPLAY the launcher leaves the X root window alone, so nothing
        // of this session outlives it there; programs find it on the session bus.
        QProcessEnvironment environment = session->environment();
        environment.remove(u"DISPLAY"_s);
        session->m_launcher.setProcessEnvironment(environment);
        session->m_launcher.launch(u"/usr/libexec/at-spi-bus-launcher"_s,
                                   {u"--launch-immediately"_s,
                                    launcher == Launcher::enabled ? u"--a11y=1"_s : u"--a11y=0"_s});
        if (QProcess::execute(u"gdbus"_s, {u"wait"_s, u"--address"_s, session->m_address,
                                           u"--timeout=10"_s, u"org.a11y.Bus"_s}) != 0) {
            ADD_FAILURE() << "at-spi-bus-launcher did not come up";
            return nullptr;
        }
        return session;
    }

    const QString& address() const { return m_address; }
    // The environment of a program started in this session.
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, m_address);
        environment.insert(u"GSETTINGS_BACKEND"_s, u"memory"_s);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        environment.insert(u"XDG_CACHE_HOME"_s, m_dir.filePath(u"cache"_s));
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_dir.path());
        environment.remove(u"NO_AT_BRIDGE"_s);
        environment.remove(u"AT_SPI_BUS_ADDRESS"_s);
        environment.insert(u"GDK_BACKEND"_s, u"x11"_s);
        environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        return environment;
    }

private:
    A11ySession() = default;

    QTemporaryDir m_dir;
    LineProcess m_bus;
    LineProcess m_launcher;
    QString m_address;
};

// A program started in the session, stopped when it goes (continued first,
// if it was stopped by the test).
class TestApp : public LineProcess {
public:
    TestApp(const A11ySession& session, const QString& program, const QStringList& arguments) {
        setProcessEnvironment(session.environment());
        setStandardErrorFile(QProcess::nullDevice());
        launch(program, arguments);
    }
    // Chromium takes its helper processes down with it only when asked, which
    // it cannot hear while stopped.
    ~TestApp() override {
        if (state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(processId()), SIGCONT);
        }
    }
    std::int32_t pid() const { return static_cast<std::int32_t>(processId()); }
};

// Reads a window through the adapter, running the event loop until the
// answer arrives (a test failure and null when none comes in the limit).
inline std::shared_ptr<const AccessibleElement>
readWindow(Accessibility& accessibility, std::int32_t pid,
           std::chrono::milliseconds limit = std::chrono::minutes(1)) {
    // Shared: a late answer must not land on a finished call's stack.
    const auto answers = std::make_shared<std::vector<std::shared_ptr<const AccessibleElement>>>();
    const QDeadlineTimer soon(200);
    accessibility.readFocusedWindow(pid, [answers](auto read) { answers->push_back(read); });
    // The caller waits for nothing: not for the reader, nor the application.
    EXPECT_FALSE(soon.hasExpired());
    EXPECT_TRUE(answers->empty()) << "answered before the call returned";
    EXPECT_TRUE(spinUntil([&] { return !answers->empty(); }, limit));
    return answers->empty() ? nullptr : answers->front();
}

// Writes a small HTML page into the folder; its file:// URL.
inline QString writePage(const QTemporaryDir& folder, const QString& fileName, const QString& title,
                         const QString& body) {
    const QString path = folder.filePath(fileName);
    EXPECT_TRUE(writeFile(path, u"<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                                "<title>%1</title></head><body>%2</body></html>"_s.arg(title, body)
                                    .toUtf8()))
        << path.toStdString();
    return QUrl::fromLocalFile(path).toString();
}

// Chromium on the test desktop, accessible, with a throwaway profile in dir.
inline QStringList chromiumArguments(const QString& profileDir, const QString& url) {
    QStringList arguments =
        u"--force-renderer-accessibility --password-store=basic --no-first-run "
        "--no-default-browser-check --disable-gpu --disable-extensions --disable-sync "
        "--disable-background-networking --disable-features=Translate,MediaRouter "
        "--window-size=1000,700"_s.split(u' ');
    // Its sandbox refuses to run as root, which the test machines are.
    if (::geteuid() == 0) {
        arguments << u"--no-sandbox"_s;
    }
    return arguments << u"--user-data-dir="_s + profileDir << url;
}

} // namespace aimset::test
