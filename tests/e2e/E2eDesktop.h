#pragma once

// What the end-to-end tests run and watch: the real aimset program, a
// scripted alignment service, a private D-Bus session, Debian's Chromium and
// the X desktop itself, driven with xdotool as a person at the keyboard would.

#include "support/QtPrinters.h"
#include "support/TestHttpServer.h"
#include "support/a11y/A11ySession.h"
#include "support/x11/X11TestDesktop.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
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
const QString kCatsReason = u"Cat videos are not part of the quarterly report"_s;
// Web pages, each a title and a body: the cat videos, first, and the work.
using Pages = QList<std::pair<QString, QString>>;
const Pages kCatsThenWork = {
    {kCatsTitle, u"<h1>Cats falling off sofas</h1><p>Ten minutes of cats misjudging jumps.</p>"_s},
    {kWorkTitle, u"<p>Revenue grew four percent.</p>"_s}};
// Chromium's name in its Debian desktop entry, which the app reports.
const QString kBrowserName = u"Chromium Web Browser"_s;
const QString kDismissed = u"[Intervention] Auto-dismissed — user went back on track"_s;
// The countdown over the cat videos, whatever the count of interventions.
const QRegularExpression kCatsCountdown(u"\\[Intervention\\] Misaligned countdown started: "_s +
                                        QRegularExpression::escape(kCatsReason) +
                                        u" \\(total interventions: \\d+\\)"_s);

// True when the expected lines occur in `lines` in this order, others between.
inline bool inOrder(const QStringList& lines, const QStringList& expected) {
    qsizetype next = 0; // after the last one found
    return std::ranges::all_of(
        expected, [&](const QString& line) { return (next = lines.indexOf(line, next) + 1) > 0; });
}

// The test's environment, or its private session's, with nothing that would
// send a child to another display platform or alignment service.
inline QProcessEnvironment childEnvironment(const test::A11ySession* bus) {
    QProcessEnvironment environment =
        bus ? bus->environment() : QProcessEnvironment::systemEnvironment();
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.remove(u"AIMSET_CHECK_URL"_s);
    environment.insert(u"GSETTINGS_BACKEND"_s, u"memory"_s);
    return environment;
}

// The alignment service on 127.0.0.1; keeps every request. Titles with the
// distraction in them are misaligned, others aligned; every window text is
// misaligned, with kCatsReason.
class ScriptedService : public test::TestHttpServer {
public:
    explicit ScriptedService(const QString& distraction = kCatsTitle)
        : test::TestHttpServer([this, distraction](const Request& request) {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            const QString mode = body[u"mode"_s].toString();
            contexts[mode] << body[u"context"_s].toString();
            const QJsonObject answer =
                mode == u"title"_s
                    ? QJsonObject{{u"aligned"_s, !contexts[mode].last().contains(distraction)}}
                    : QJsonObject{{u"verdict"_s, u"MISALIGNED"_s}, {u"reason"_s, kCatsReason}};
            return Reply::json(200, QJsonDocument(answer).toJson(QJsonDocument::Compact));
        }) {}
    // The contexts of the requests of each mode ("title", "text"), in arrival order.
    QHash<QString, QStringList> contexts;
};

// xdotool, as the test's hands: typing, chords, holding keys, clicking.
// A test that holds keys lets go of them with a scope guard, so a failed
// test leaves no key down on the shared desktop.
inline bool xdotool(const QStringList& arguments) {
    return test::run(u"xdotool"_s, arguments, {}, 20000).has_value();
}

// The first viewable window xdotool finds that meets all these search
// options, once it finds one; a window --name finds at any depth, so
// whether managed or not.
inline std::optional<xcb_window_t> waitForWindow(const QStringList& options,
                                                 Milliseconds limit = 60s) {
    std::optional<QByteArray> found;
    spinUntil(
        [&] {
            found = test::run(u"xdotool"_s,
                              QStringList{u"search"_s, u"--onlyvisible"_s, u"--all"_s} << options);
            return found.has_value();
        },
        limit);
    return found ? std::optional(found->split('\n')[0].toUInt()) : std::nullopt;
}

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
    explicit AimsetApp(const Options& options) {
        // The onboarding was finished on an earlier run.
        QSettings(m_config.filePath(u"Aimset/Aimset.conf"_s), QSettings::IniFormat)
            .setValue(u"hasCompletedOnboarding"_s, true);
        QProcessEnvironment environment = childEnvironment(options.bus);
        environment.insert(u"XDG_CONFIG_HOME"_s, m_config.path());
        environment.insert(u"XDG_RUNTIME_DIR"_s, m_runtime.path());
        if (!options.checkURL.isEmpty()) {
            environment.insert(u"AIMSET_CHECK_URL"_s, QString::fromUtf8(options.checkURL));
        }
        environment.insert(options.extra);
        m_process.setProcessEnvironment(environment);
        m_process.launch(QStringLiteral(AIMSET_APP_PATH),
                         options.verbose ? QStringList{u"--verbose"_s} : QStringList{});
    }

    qint64 pid() const { return m_process.processId(); }
    QStringList lines() {
        QCoreApplication::processEvents();
        return m_process.printed;
    }
    std::string dump() { return lines().join(u'\n').toStdString(); }
    // Waits for the next line, after the one last waited for, that matches
    // the whole pattern (or equals `line`); returns it.
    std::optional<QString> waitFor(const QRegularExpression& pattern, Milliseconds limit = 10s) {
        qsizetype at = -1;
        if (!spinUntil([&] { return (at = m_process.printed.indexOf(pattern, m_next)) >= 0; },
                       limit)) {
            return std::nullopt;
        }
        m_next = at + 1;
        return m_process.printed[at];
    }
    bool waitForLine(const QString& line, Milliseconds limit = 10s) {
        return waitFor(QRegularExpression(QRegularExpression::escape(line)), limit).has_value();
    }
    // Waits for the main window, types the aimset into the launch modal and
    // presses Return; true once the session has started.
    bool startSession(test::X11TestDesktop& desktop, const QString& aimset = kAimset) {
        const auto window =
            waitForWindow({u"--pid"_s, QString::number(pid()), u"--name"_s, u"^Aimset$"_s}, 30s);
        // The launch modal's field has the focus: type, then Return.
        return window && desktop.activateAndWait(*window) &&
               xdotool({u"type"_s, u"--delay"_s, u"30"_s, aimset}) &&
               xdotool({u"key"_s, u"Return"_s}) &&
               waitForLine(u"Aimset: "_s + aimset + u", Goal: 0m"_s) &&
               waitForLine(u"[AppMonitor] Started monitoring"_s, 5s);
    }

private:
    QTemporaryDir m_config;
    QTemporaryDir m_runtime;
    test::LineProcess m_process;
    qsizetype m_next = 0;
};

// Debian's Chromium on the test desktop (not headless) with the pages, the
// first one's tab on show, a profile of its own and a remote-debugging port
// on 127.0.0.1 to see its tabs.
class Chromium {
public:
    Chromium(const Pages& pages, const test::A11ySession* bus,
             const QStringList& extraArguments = {}) {
        QStringList urls;
        for (const auto& [title, body] : pages) {
            urls << writePage(m_profile, u"%1.html"_s.arg(urls.size()), title, body);
        }
        QProcessEnvironment environment = childEnvironment(bus);
        // Everything the browser writes stays in the test's folder.
        for (const QString& name : {u"HOME"_s, u"XDG_CONFIG_HOME"_s, u"XDG_CACHE_HOME"_s}) {
            environment.insert(name, m_profile.filePath(name));
        }
        m_process.setProcessEnvironment(environment);
        m_process.setStandardErrorFile(m_profile.filePath(u"chromium.log"_s));
        // Port 0: it picks one, and names it in its profile; until then it has no tabs.
        m_process.launch(u"chromium"_s,
                         test::chromiumArguments(m_profile.filePath(u"profile"_s), urls.value(0))
                             << u"--remote-debugging-port=0"_s << u"--window-position=0,0"_s
                             << extraArguments << urls.mid(1));
    }

    // The titles of the open tabs, sorted.
    QStringList tabTitles() {
        const QString port = QString::fromLatin1(
            test::readFile(m_profile.filePath(u"profile/DevToolsActivePort"_s)).split('\n')[0]);
        const auto list =
            test::run(u"curl"_s, {u"-s"_s, u"http://127.0.0.1:%1/json/list"_s.arg(port)});
        QStringList titles;
        for (const QJsonValue& target : QJsonDocument::fromJson(list.value_or("")).array()) {
            if (target[u"type"_s] == u"page"_s) {
                titles << target[u"title"_s].toString();
            }
        }
        titles.sort();
        return titles;
    }
    bool waitForTabs(int count, Milliseconds limit = 30s) {
        return spinUntil([&] { return tabTitles().size() == count; }, limit);
    }

private:
    QTemporaryDir m_profile;
    test::LineProcess m_process;
};

} // namespace aimset::e2e
