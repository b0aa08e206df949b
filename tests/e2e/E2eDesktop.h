#pragma once

// What the end-to-end tests run and watch: the real aimset program, a
// scripted alignment service, a private D-Bus session, Debian's Chromium and
// the X desktop itself, driven with xdotool as a person at the keyboard would.

#include "support/TestHttpServer.h"
#include "support/a11y/A11ySession.h"
#include "support/x11/X11TestDesktop.h"

#include <QJsonObject>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace aimset::e2e {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

// A child program whose standard output is collected line by line.
class LineProcess {
public:
    LineProcess();
    ~LineProcess();
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;

    void start(const QString& program, const QStringList& arguments,
               const QProcessEnvironment& environment);
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }
    // SIGTERM, then SIGKILL if it does not end within the grace time.
    void stop(Milliseconds grace = 5000ms);

    QStringList lines();
    // Waits until a line equal to `line` has been printed; true if it was.
    bool waitForLine(const QString& line, Milliseconds limit);
    // Waits for a line matching the whole pattern; returns it.
    std::optional<QString> waitForMatch(const QRegularExpression& pattern, Milliseconds limit);
    // When (on the test's monotonic clock) the first line equal to `line` arrived.
    std::optional<std::chrono::steady_clock::time_point> arrivalOf(const QString& line) const;

private:
    void readLines();

    QProcess m_process;
    QByteArray m_buffer;
    QStringList m_lines;
    std::vector<std::chrono::steady_clock::time_point> m_arrivals;
};

// A D-Bus session bus of the test's own, with the accessibility bus switched
// on, so nothing reaches the machine's and other windows can be read.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    QByteArray address() const;

private:
    std::unique_ptr<test::A11ySession> m_session;
};

// The alignment service on 127.0.0.1 with answers the test scripts: every
// request body is kept, whole, in `bodies`.
class ScriptedService {
public:
    using Answer = std::function<QJsonObject(const QJsonObject& request)>;
    explicit ScriptedService(Answer answer);

    QByteArray checkURL() const;
    QList<QByteArray> bodies() const;
    QList<QJsonObject> requests() const;
    // Requests of one mode ("title", "text", "expand"), in arrival order.
    QList<QJsonObject> requests(const QString& mode) const;

private:
    test::TestHttpServer m_server;
};

// Queries and actions on the X desktop, through the test's own connection.
class Desktop {
public:
    Desktop();
    test::X11TestDesktop& x() { return m_x; }

    std::vector<xcb_window_t> clientWindows();
    // Windows no window manager handles (override-redirect), such as the
    // app's floating panels, top to bottom.
    std::vector<xcb_window_t> unmanagedWindows();
    qint64 windowPid(xcb_window_t window);
    QString windowTitle(xcb_window_t window);
    bool isViewable(xcb_window_t window);
    // The window's inside, in root coordinates.
    QRect geometry(xcb_window_t window);
    // The first managed window of the process whose title matches, once there.
    std::optional<xcb_window_t>
    waitForWindow(qint64 pid, const std::function<bool(const QString&)>& title, Milliseconds limit);
    std::uint8_t keycodeFor(std::uint32_t keysym);
    bool isKeyHeld(std::uint8_t keycode);
    // 32-bit BGRX pixels of what the window shows, row by row.
    std::vector<std::uint32_t> grab(xcb_window_t window, QSize* size);

private:
    test::X11TestDesktop m_x;
};

// xdotool, as the test's hands: typing, chords, holding keys, clicking.
bool xdotool(const QStringList& arguments);

// Keys held down (xdotool's names, e.g. "shift", "alt+m") until released, at
// the latest when the holder goes, so a failed test leaves no key down on
// the shared desktop.
class HeldKeys {
public:
    explicit HeldKeys(const QString& keys);
    ~HeldKeys();
    HeldKeys(const HeldKeys&) = delete;
    HeldKeys& operator=(const HeldKeys&) = delete;
    bool isHeld() const { return !m_keys.isEmpty(); }
    // Lets go of the keys in the order given; true if xdotool did.
    bool release(const QStringList& order);

private:
    QStringList m_keys;
};

// The real app, started with a private configuration that has finished the
// onboarding, so it opens on the launch modal.
class AimsetApp {
public:
    struct Options {
        QByteArray checkURL; // empty: the app starts aimset-checkd itself
        QByteArray busAddress;
        QProcessEnvironment extra;
        // Verbose by default: the tests follow the per-poll lines.
        QStringList arguments{QStringLiteral("--verbose")};
    };
    explicit AimsetApp(const Options& options);
    ~AimsetApp();

    LineProcess& output() { return m_process; }
    qint64 pid() const { return m_process.pid(); }
    xcb_window_t mainWindow() const { return m_mainWindow; }
    // Waits for the main window, types the aimset into the launch modal and
    // presses Return; true once the session has started.
    bool startSession(Desktop& desktop, const QString& aimset);

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    LineProcess m_process;
    xcb_window_t m_mainWindow = 0;
};

// Debian's Chromium on the test desktop (not headless), with a profile of its
// own and the remote-debugging port on 127.0.0.1 to count its tabs.
class Chromium {
public:
    struct Tab {
        QString id;
        QString title;
        QString url;
    };
    // An empty bus address keeps the test's own session bus.
    Chromium(const QStringList& urls, const QByteArray& busAddress,
             const QStringList& extraArguments = {});
    ~Chromium();

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QList<Tab> tabs();
    void activateTab(const QString& id);
    // The browser window, once it shows the titled page.
    std::optional<xcb_window_t> waitForWindow(Desktop& desktop, const QString& pageTitle);
    bool waitForTabs(int count, Milliseconds limit);

private:
    std::optional<QByteArray> get(const QString& path);

    QTemporaryDir m_profile;
    QProcess m_process;
    quint16 m_port = 0;
};

// Writes a small HTML page into the folder and returns its file:// URL.
QString writePage(const QTemporaryDir& folder, const QString& fileName, const QString& title,
                  const QString& body);

} // namespace aimset::e2e
