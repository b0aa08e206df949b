#include "Monitoring/AppMonitor.h"
#include "Monitoring/AlignmentChecker.h"
#include "Simulator/SimulatedDesktop.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QString kAimset = u"Finish the quarterly report"_s;

struct AppMonitorTest : ::testing::Test {
    SimulatedDesktop sim;
    AlignmentChecker checker{sim.http, sim.accessibility, QUrl(u"https://a.example/check"_s)};
    std::unique_ptr<AppMonitor> monitor = makeMonitor();
    test::LogCapture log;
    QStringList events;

    std::unique_ptr<AppMonitor> makeMonitor(const PlatformAppLists& lists = {}) {
        auto made = std::make_unique<AppMonitor>(sim.loop, sim.workspace, sim.accessibility,
                                                 checker, lists);
        AppMonitor* m = made.get();
        QObject::connect(m, &AppMonitor::aligned, [this] { events << u"aligned"_s; });
        QObject::connect(m, &AppMonitor::unclear, [this](const QString& q, const QString& r) {
            events << u"unclear "_s + q + u" / "_s + r;
        });
        QObject::connect(m, &AppMonitor::misaligned,
                         [this](const QString& r) { events << u"misaligned "_s + r; });
        QObject::connect(m, &AppMonitor::windowChanged, [this] { events << u"windowChanged"_s; });
        return made;
    }

    void showBrowser(const QString& title, std::int32_t pid = 100) {
        sim.workspace.setFrontmost(u"Firefox"_s, u"org.mozilla.firefox"_s, pid, title);
    }
    // Starts monitoring on a browser window with the aimset set, forgetting the start's lines.
    void startOn(const QString& title) {
        showBrowser(title);
        monitor->startMonitoring(kAimset);
        log.clear();
    }
    // Answers a request and lets the window read it may start finish.
    void answer(std::size_t index, const QJsonObject& body) {
        sim.http.respondJson(index, body);
        sim.loop.runPending();
    }
    QStringList takeEvents() { return std::exchange(events, {}); }
    void tick() { sim.loop.advance(AppMonitor::slowPollInterval); }
};

// ---- start, stop and the poll timer --------------------------------------------------------

// Starting and stopping, like the prompt for access, happen once however
// often asked; once stopped, nothing polls, whatever rate is asked for.
TEST_F(AppMonitorTest, StartStopAndThePromptHappenOnce) {
    sim.accessibility.trusted = false;
    monitor->checkAccessibilityPermission();
    monitor->checkAccessibilityPermission();
    monitor->startMonitoring({});
    monitor->startMonitoring({});
    EXPECT_EQ(sim.workspace.observerCount(), 1u);
    EXPECT_EQ(sim.loop.scheduledTimerCount(), 1u);
    EXPECT_EQ(log.take(),
              (QStringList{u"[AppMonitor] Accessibility: NOT trusted \u2014 working on window "
                           u"titles alone"_s,
                           u"[AppMonitor] Started monitoring"_s}));
    monitor->stopMonitoring();
    monitor->stopMonitoring();
    monitor->setPollInterval(true);
    EXPECT_EQ(sim.workspace.observerCount(), 0u);
    EXPECT_EQ(sim.loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(log.take(), QStringList{u"[AppMonitor] Stopped monitoring"_s});
    sim.loop.advance(60s);
    sim.accessibility.trusted = true;
    monitor->checkAccessibilityPermission();
    // Nor is there an original aimset to restore.
    monitor->restoreOriginalAimset();
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(sim.accessibility.calls.filter(u"requestTrustWithPrompt"_s).size(), 1);
}

// A new session drops the last one's answers, even about the same window
// still in front.
TEST_F(AppMonitorTest, TheNextSessionDropsTheLastOnesAnswers) {
    startOn(u"Cat videos"_s);
    tick();
    monitor->stopMonitoring();
    monitor->startMonitoring({});
    log.clear();
    answer(0, {{u"aligned"_s, false}});
    EXPECT_EQ(
        log.take(),
        QStringList{u"[Alignment] Answer for Firefox dropped \u2014 its session has ended"_s});
    EXPECT_TRUE(events.isEmpty());
}

// ---- local decisions ------------------------------------------------------------------------

// The windows aligned on every tick without asking the service: the
// platform's own applications and the built-in ones, allowed windows, titles
// with an allowed part, and sign-in pages. Titles match by whole words or
// parts, never inside a word, and the addresses they show by host and whole
// path parts; application and window names match exactly.
TEST_F(AppMonitorTest, AllowedWindowsAndSignInPagesAreAlignedOnEveryTickWithoutAsking) {
    monitor = makeMonitor({{u"org.gnome.Terminal"_s}, {}});
    monitor->startMonitoring(kAimset);
    enum Outcome { asked, allowed, signIn };
    const struct {
        QString title;
        Outcome outcome;
        QString name = u"Firefox"_s;
        QString id = u"org.mozilla.firefox"_s;
    } windows[] = {
        {u"zsh"_s, allowed, u"Terminal"_s, u"org.gnome.Terminal"_s},
        {u"Home"_s, allowed, u"Finder"_s, u"com.apple.finder"_s},
        {u"Start Page, Private Browsing"_s, allowed, u"Safari"_s, u"com.apple.Safari"_s},
        {u"Start Page "_s, asked, u"Safari"_s, u"com.apple.Safari"_s},
        {u"Home"_s, asked, u"Finder"_s, u"com.apple.Finder"_s},
        {u"Login | Acme"_s, signIn},
        {u"Verify your email"_s, signIn},
        {u"Interior design inspiration"_s, asked},
        {u"Designing logs"_s, asked},
        {u"Blog about logins and login-free apps"_s, signIn},
        {u"Catalogin catalogue"_s, asked},
        {u"ACCOUNTS.GOOGLE.COM/o/oauth2 - Chromium"_s, signIn},
        {u"https://acme.okta.com/app - Chromium"_s, signIn},
        {u"example.com/sso/start"_s, signIn},
        {u"example.com/auth?next=/ - Chromium"_s, signIn},
        {u"example.com/authors/jane - Chromium"_s, asked},
        {u"notokta.com/blog"_s, asked},
        {u"Inbox (3) - jane@example.com - Gmail"_s, allowed},
        {u"Mail - Jane Doe - Outlook"_s, allowed},
        {u"Google Calendar \u2013 Week of 5 May"_s, allowed},
        {u"Daily Mail - Chromium"_s, asked},
        {u"Gmailish tips"_s, asked},
        {u"inbox - gmail"_s, asked},
    };
    for (const auto& w : windows) {
        SCOPED_TRACE(w.title.toStdString());
        const std::size_t requests = sim.http.calls.size();
        sim.workspace.setFrontmost(w.name, w.id, 9, w.title);
        tick();
        tick();
        EXPECT_EQ(takeEvents().size(), w.outcome == asked ? 0 : 2);
        EXPECT_EQ(sim.http.calls.size() - requests, w.outcome == asked ? 1u : 0u);
        EXPECT_EQ(
            log.take().contains(u"[AppMonitor] Auth page detected, auto-aligned: "_s + w.title),
            w.outcome == signIn);
    }
}

// A window without a title, or an application without a name, is logged and
// nothing more.
TEST_F(AppMonitorTest, NothingIsDecidedWithoutATitle) {
    startOn(QString());
    tick();
    sim.workspace.frontmost = RunningApplication{std::nullopt, std::nullopt, 5};
    tick();
    sim.workspace.frontmost.reset();
    tick();
    EXPECT_EQ(log.take(), (QStringList{u"[AppMonitor] App: Firefox (org.mozilla.firefox)"_s,
                                       u"[AppMonitor] App: Unknown (unknown)"_s}));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(sim.http.calls.empty());
}

// ---- the remote check -----------------------------------------------------------------------

TEST_F(AppMonitorTest, FailedChecksAreRetriedLaterAndLaterWhileTheWindowStaysInFront) {
    sim.accessibility.windows.insert(100, FakeElement::make()->withValue(u"cats"_s));
    startOn(u"Cat videos"_s);
    tick();
    // The title check fails, and then the text check, again and again: each
    // wait doubles, up to a minute. The first two waits are the golden's.
    sim.http.fail(0, u"Connection refused"_s);
    for (const int seconds : {5, 10, 20, 40, 60, 60}) {
        const auto requests = sim.http.calls.size();
        sim.loop.advance(std::chrono::seconds(seconds) - 1ms);
        EXPECT_EQ(sim.http.calls.size(), requests) << seconds;
        sim.loop.advance(1ms);
        ASSERT_EQ(sim.http.calls.size(), requests + 1) << seconds;
        answer(sim.http.nextPending(), {{u"aligned"_s, false}});
        sim.http.respond(sim.http.nextPending(), 500, "");
        EXPECT_EQ(log.take().last(),
                  u"[Alignment] Text check failed \u2014 will retry in %1s"_s.arg(
                      std::min(seconds * 2, 60)));
    }
    EXPECT_TRUE(events.isEmpty());

    // Another window starts the waiting over.
    showBrowser(u"Other"_s);
    tick();
    showBrowser(u"Cat videos"_s);
    tick();
    sim.http.fail(sim.http.calls.size() - 1, u"Connection refused"_s);
    EXPECT_EQ(log.take().last(), u"[Alignment] Title check failed \u2014 will retry in 5s"_s);
}

// A window showing no text is judged on its title by the text check. Without
// the accessibility bus titles still decide, and a window whose text cannot
// be read is a question, not a verdict to keep.
TEST_F(AppMonitorTest, AWindowWithNoTextIsJudgedOnItsTitleAndAnUnreadableOneIsAQuestion) {
    sim.accessibility.windows.insert(100, FakeElement::make());
    startOn(u"Cat videos"_s);
    tick();
    log.clear();
    answer(0, {{u"aligned"_s, false}});
    EXPECT_EQ(log.take(),
              (QStringList{u"[Alignment] Title says not aligned, reading the window text for a "
                           u"verdict..."_s,
                           u"[Alignment] Window shows no text \u2014 checking its title as its "
                           u"text"_s}));
    EXPECT_TRUE(takeEvents().isEmpty());
    ASSERT_EQ(sim.http.calls.size(), 2u);
    EXPECT_EQ(sim.http.calls[1].json().value(u"context"_s).toString(), u"Firefox - Cat videos"_s);
    answer(
        1,
        {{u"verdict"_s, u"UNCLEAR"_s}, {u"question"_s, u"Research?"_s}, {u"reason"_s, u"Maybe"_s}});
    EXPECT_EQ(takeEvents(), QStringList{u"unclear Research? / Maybe"_s});

    sim.accessibility.trusted = false;
    showBrowser(u"Dog videos"_s);
    tick();
    answer(2, {{u"aligned"_s, false}});
    EXPECT_EQ(takeEvents(), QStringList{u"unclear Is \u201CDog videos\u201D part of your "_s
                                        u"aimset? / Could not read the window's text"_s});
    // Not kept: the next tick neither asks again nor repeats the question.
    tick();
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(sim.http.calls.size(), 3u);
}

// ---- lifetime --------------------------------------------------------------------------------

TEST_F(AppMonitorTest, HandlersFiringAfterTheMonitorIsGoneDoNothing) {
    startOn(u"Cat videos"_s);
    tick();
    sim.workspace.activate(u"Writer"_s, u"org.libreoffice.Writer"_s, 300, u"Q3 report.odt"_s);
    // An activation already queued and a service answer still to come.
    monitor.reset();
    EXPECT_EQ(sim.workspace.observerCount(), 0u);
    log.clear();
    sim.loop.advance(10s);
    sim.http.respondJson(0, {{u"aligned"_s, false}});
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(sim.loop.scheduledTimerCount(), 0u);
}

} // namespace
