#pragma once

// What the end-to-end tests run and watch: the real aimset program, a
// scripted alignment service, a private D-Bus session, Debian's Chromium and
// the X desktop itself, driven with xdotool as a person at the keyboard would.

#include "support/QtPrinters.h"
#include "support/TestHttpServer.h"
#include "support/a11y/A11ySession.h"
#include "support/x11/X11TestDesktop.h"

#include <QJsonObject>
#include <QRect>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xcb/xcb.h>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace aimset::e2e {

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using Milliseconds = std::chrono::milliseconds;
using test::spinUntil;
using test::writePage;

const QString kAimset = u"Finish the quarterly report"_s;
const QString kWorkTitle = u"Quarterly report draft"_s;
const QString kCatsTitle = u"Funny cat videos"_s;
const QString kCatsPage =
    u"<h1>Cats falling off sofas</h1><p>Ten minutes of cats misjudging jumps.</p>"_s;
const QString kCatsReason = u"Cat videos are not part of the quarterly report"_s;
// Chromium's name in its Debian desktop entry, which the app reports.
const QString kBrowserName = u"Chromium Web Browser"_s;
const QString kCountdownExpired = u"[Intervention] Countdown expired — auto-closing tab"_s;
const QString kDismissed = u"[Intervention] Auto-dismissed — user went back on track"_s;
// The countdown over the cat videos, whatever the count of interventions.
const QRegularExpression kCatsCountdown(u"\\[Intervention\\] Misaligned countdown started: "_s +
                                        QRegularExpression::escape(kCatsReason) +
                                        u" \\(total interventions: \\d+\\)"_s);

// True when the expected lines occur in `lines` in this order, others between.
bool inOrder(const QStringList& lines, const QStringList& expected);

// The alignment service on 127.0.0.1; keeps every request. By default cat
// videos are misaligned (with kCatsReason) and every other title aligned.
class ScriptedService : public test::TestHttpServer {
public:
    using Answer = std::function<QJsonObject(const QJsonObject& request)>;
    explicit ScriptedService(const Answer& answer = catsAreMisaligned);
    static QJsonObject catsAreMisaligned(const QJsonObject& request);
    // Requests of one mode ("title", "text", "expand"), or all, in arrival order.
    QList<QJsonObject> requests(const QString& mode = {}) const;
};

// The X desktop, through the test's own connection.
class Desktop : public test::X11TestDesktop {
public:
    qint64 windowPid(xcb_window_t window);
    bool isViewable(xcb_window_t window);
    QString windowTitle(xcb_window_t window);
    // The first viewable managed window whose title matches (of the process, if pid is not 0).
    std::optional<xcb_window_t> waitForWindow(qint64 pid, const QString& title,
                                              Milliseconds limit = 60s);
    // A viewable window of the process that no window manager handles, such
    // as the app's floating panels.
    std::optional<xcb_window_t> waitForPanel(qint64 pid);
    // The window's inside in root coordinates, and its pixels (BGRX), row by row.
    QRect geometry(xcb_window_t window);
    std::vector<std::uint32_t> grab(xcb_window_t window);
};

// xdotool, as the test's hands: typing, chords, holding keys, clicking.
// A test that holds keys lets go of them with a scope guard, so a failed
// test leaves no key down on the shared desktop.
bool xdotool(const QStringList& arguments);

// The real app, with a private configuration that has finished the
// onboarding, so it opens on the launch modal; its standard output is read
// line by line.
class AimsetApp {
public:
    struct Options {
        QByteArray checkURL;                    // empty: the app starts aimset-checkd itself
        const test::A11ySession* bus = nullptr; // none: the test's own session bus
        bool verbose = true;                    // the tests follow the per-poll lines
        QProcessEnvironment extra = {};
    };
    explicit AimsetApp(const Options& options);

    qint64 pid() const { return m_process.processId(); }
    QStringList lines();
    std::string dump() { return lines().join(u'\n').toStdString(); }
    // Waits for the next line, after the one last waited for, that matches
    // the whole pattern (or equals `line`); returns it.
    std::optional<QString> waitFor(const QRegularExpression& pattern, Milliseconds limit = 10s);
    bool waitForLine(const QString& line, Milliseconds limit = 10s);
    // Waits for the main window, types the aimset into the launch modal and
    // presses Return; true once the session has started.
    bool startSession(Desktop& desktop, const QString& aimset = kAimset);

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    test::LineProcess m_process;
    qsizetype m_next = 0;
};

// Debian's Chromium on the test desktop (not headless), with a profile of its
// own and the remote-debugging port on 127.0.0.1 to see its tabs.
class Chromium {
public:
    Chromium(const QStringList& urls, const test::A11ySession* bus,
             const QStringList& extraArguments = {});

    // The titles of the open tabs, sorted.
    QStringList tabTitles();
    bool waitForTabs(int count, Milliseconds limit = 30s);
    // Brings the tab to the front once its page has loaded.
    bool showTab(const QString& title);
    // The browser window, once it shows the titled page.
    std::optional<xcb_window_t> waitForWindow(Desktop& desktop, const QString& pageTitle);

private:
    QByteArray get(const QString& path);
    QList<QJsonObject> pages();

    QTemporaryDir m_profile;
    test::LineProcess m_process;
    quint16 m_port = 0;
};

} // namespace aimset::e2e
