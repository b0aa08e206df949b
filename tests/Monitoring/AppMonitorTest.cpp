#include "Monitoring/AppMonitor.h"
#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "Platform/Fake/FakeWorkspace.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

const QString kAimset = QStringLiteral("Finish the quarterly report");
const QString kLinks = QStringLiteral(" \u2194 ");

struct AppMonitorTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakeHttpClient http;
    AlignmentChecker checker{http, accessibility, QUrl(QStringLiteral("https://a.example/check"))};
    std::unique_ptr<AppMonitor> monitor = makeMonitor();
    test::LogCapture log;
    QStringList events;

    std::unique_ptr<AppMonitor> makeMonitor(const PlatformAppLists& lists = {}) {
        auto made = std::make_unique<AppMonitor>(loop, workspace, accessibility, checker, lists);
        made->onAligned = [this] { events << QStringLiteral("aligned"); };
        made->onUnclear = [this](const QString& q, const QString& r) {
            events << QStringLiteral("unclear ") + q + QStringLiteral(" / ") + r;
        };
        made->onMisaligned = [this](const QString& r) {
            events << QStringLiteral("misaligned ") + r;
        };
        made->onWindowChanged = [this] { events << QStringLiteral("windowChanged"); };
        return made;
    }

    void showBrowser(const QString& title, std::int32_t pid = 100) {
        workspace.setFrontmost(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"),
                               pid, title);
    }
    // Starts monitoring on a browser window with the aimset set, forgetting the start's lines.
    void startOn(const QString& title) {
        showBrowser(title);
        monitor->userAimset = kAimset;
        monitor->startMonitoring();
        log.clear();
    }
    static QString appLine(const QString& title,
                           const QString& app = QStringLiteral("Firefox (org.mozilla.firefox)")) {
        return QStringLiteral("[AppMonitor] App: ") + app +
               (title.isEmpty() ? QString() : QStringLiteral(" | Window: ") + title);
    }
    QJsonObject lastRequest() const { return http.calls.back().json(); }
    QStringList takeEvents() {
        QStringList taken;
        taken.swap(events);
        return taken;
    }
    void tick() { loop.advance(AppMonitor::slowPollInterval); }
};

// ---- start, stop and the poll timer --------------------------------------------------------

TEST_F(AppMonitorTest, StartPublishesTheFrontmostWindowAndDecidesFiveSecondsLater) {
    showBrowser(QStringLiteral("Cat videos"));
    monitor->userAimset = kAimset;
    monitor->startMonitoring();
    EXPECT_TRUE(monitor->isMonitoring());
    EXPECT_TRUE(monitor->hasAccessibilityPermission());
    EXPECT_EQ(monitor->currentAppName(), QStringLiteral("Firefox"));
    EXPECT_EQ(monitor->currentWindowTitle(), QStringLiteral("Cat videos"));
    EXPECT_EQ(monitor->currentPID(), 0); // set by polls only
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("[AppMonitor] Accessibility: trusted"),
                                       appLine(QStringLiteral("Cat videos")),
                                       QStringLiteral("[AppMonitor] Started monitoring")}));
    loop.advance(4999ms);
    EXPECT_TRUE(http.calls.empty());
    loop.advance(1ms);
    ASSERT_EQ(http.calls.size(), 1u);
    EXPECT_EQ(monitor->currentPID(), 100);
    EXPECT_EQ(lastRequest().value(QStringLiteral("context")).toString(),
              QStringLiteral("Firefox - Cat videos"));
    EXPECT_EQ(log.take(), QStringList{appLine(QStringLiteral("Cat videos"))});
}

TEST_F(AppMonitorTest, StartingTwiceRegistersOnceAndStoppingTwiceLogsOnce) {
    accessibility.trusted = false;
    monitor->startMonitoring();
    monitor->startMonitoring();
    EXPECT_EQ(workspace.observerCount(), 1u);
    EXPECT_EQ(loop.scheduledTimerCount(), 1u);
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("[AppMonitor] Accessibility: NOT trusted "
                                                      "\u2014 window titles unavailable"),
                                       QStringLiteral("[AppMonitor] Started monitoring")}));
    monitor->stopMonitoring();
    monitor->stopMonitoring();
    EXPECT_FALSE(monitor->isMonitoring());
    EXPECT_EQ(workspace.observerCount(), 0u);
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[AppMonitor] Stopped monitoring")});
    loop.advance(60s);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(AppMonitorTest, StopKeepsStateAndLetsChecksUnderWayFinish) {
    startOn(QStringLiteral("Cat videos"));
    tick();
    monitor->stopMonitoring();
    EXPECT_EQ(monitor->currentWindowTitle(), QStringLiteral("Cat videos"));
    http.respondJson(0, {{QStringLiteral("aligned"), true}});
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("aligned")});
    EXPECT_EQ(monitor->cachedVerdict(QStringLiteral("Firefox"), QStringLiteral("Cat videos")),
              AlignmentVerdict::aligned());
}

TEST_F(AppMonitorTest, PollRateSwitchesRestartThePhaseAndLog) {
    startOn(QStringLiteral("Terminal-like"));
    workspace.setFrontmost(QStringLiteral("Terminal"), QStringLiteral("com.apple.Terminal"), 7,
                           QStringLiteral("zsh"));
    loop.advance(3s);
    monitor->setPollInterval(true);
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[AppMonitor] Poll interval set to 0.5s")});
    loop.advance(2s); // would have been the slow tick; fast ticks at 3.5, 4.0, 4.5, 5.0
    EXPECT_EQ(takeEvents().size(), 4);
    log.clear();
    monitor->setPollInterval(false);
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[AppMonitor] Poll interval set to 5.0s")});
    loop.advance(4999ms);
    EXPECT_TRUE(takeEvents().isEmpty());
    loop.advance(1ms);
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("aligned")});
}

TEST_F(AppMonitorTest, SetPollIntervalAfterStopPollsAgainWhileNotMonitoring) {
    startOn(QStringLiteral("Cat videos"));
    monitor->stopMonitoring();
    log.clear();
    monitor->setPollInterval(true);
    loop.advance(500ms);
    EXPECT_FALSE(monitor->isMonitoring());
    EXPECT_EQ(log.take(), (QStringList{QStringLiteral("[AppMonitor] Poll interval set to 0.5s"),
                                       appLine(QStringLiteral("Cat videos"))}));
}

// ---- local decisions ------------------------------------------------------------------------

TEST_F(AppMonitorTest, AllowedApplicationIsAlignedOnEveryTickWithOnlyTheAppLine) {
    monitor->userAimset = kAimset;
    workspace.setFrontmost(QStringLiteral("Terminal"), QStringLiteral("com.apple.Terminal"), 7,
                           QStringLiteral("zsh"));
    monitor->startMonitoring();
    log.clear();
    tick();
    tick();
    EXPECT_EQ(takeEvents(), (QStringList{QStringLiteral("aligned"), QStringLiteral("aligned")}));
    const QString line =
        appLine(QStringLiteral("zsh"), QStringLiteral("Terminal (com.apple.Terminal)"));
    EXPECT_EQ(log.take(), (QStringList{line, line}));
    EXPECT_EQ(monitor->lastAlignmentResult(), QStringLiteral("ALIGNED"));
    EXPECT_EQ(monitor->lastCheckedWindowTitle, QStringLiteral("zsh"));
    EXPECT_TRUE(http.calls.empty());
}

TEST_F(AppMonitorTest, ListedAndPlatformIdentifiersAndWindowsAreAllowed) {
    EXPECT_EQ(AppMonitor::listedWhitelistedBundleIDs().size(), 17);
    EXPECT_EQ(AppMonitor::authDomains().size(), 11);
    for (const QString& domain : AppMonitor::authDomains()) {
        EXPECT_EQ(domain, domain.toLower());
    }
    monitor = makeMonitor({{QStringLiteral("org.gnome.Terminal")}, {}});
    monitor->userAimset = kAimset;
    const auto decide = [&](const QString& name, const QString& id, const QString& title) {
        workspace.setFrontmost(name, id, 9, title);
        monitor->pollFrontmostWindow();
        return takeEvents();
    };
    EXPECT_EQ(decide(QStringLiteral("Terminal"), QStringLiteral("org.gnome.Terminal"),
                     QStringLiteral("~")),
              QStringList{QStringLiteral("aligned")});
    EXPECT_EQ(decide(QStringLiteral("Finder"), QStringLiteral("com.apple.finder"),
                     QStringLiteral("Home")),
              QStringList{QStringLiteral("aligned")});
    EXPECT_EQ(decide(QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"),
                     QStringLiteral("Start Page, Private Browsing")),
              QStringList{QStringLiteral("aligned")});
    // Matching is exact and case-sensitive.
    EXPECT_TRUE(
        decide(QStringLiteral("Finder"), QStringLiteral("com.apple.Finder"), QStringLiteral("Home"))
            .isEmpty());
    EXPECT_TRUE(decide(QStringLiteral("Safari"), QStringLiteral("com.apple.Safari"),
                       QStringLiteral("Start Page "))
                    .isEmpty());
    EXPECT_EQ(http.calls.size(), 2u);
}

TEST_F(AppMonitorTest, TitleFragmentsAreCaseSensitive) {
    startOn(QStringLiteral("Inbox - Gmail"));
    tick();
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("aligned")});
    EXPECT_TRUE(http.calls.empty());
    showBrowser(QStringLiteral("inbox - gmail"));
    tick();
    EXPECT_TRUE(takeEvents().isEmpty());
    ASSERT_EQ(http.calls.size(), 1u);
}

TEST_F(AppMonitorTest, SignInPagesAreAlignedOnEveryTickWithTheirLine) {
    startOn(QStringLiteral("Sign In - Example"));
    tick();
    tick();
    const QStringList tickLines{
        appLine(QStringLiteral("Sign In - Example")),
        QStringLiteral("[AppMonitor] Auth page detected, auto-aligned: Sign In - Example")};
    EXPECT_EQ(log.take(), tickLines + tickLines);
    EXPECT_EQ(takeEvents(), (QStringList{QStringLiteral("aligned"), QStringLiteral("aligned")}));
    EXPECT_TRUE(monitor->isSignInPage(QStringLiteral("ACCOUNTS.GOOGLE.COM/o/oauth2")));
    EXPECT_TRUE(monitor->isSignInPage(QStringLiteral("example.com/sso/start")));
    EXPECT_TRUE(monitor->isSignInPage(QStringLiteral("Verify your email")));
    EXPECT_FALSE(monitor->isSignInPage(QStringLiteral("Blog - Cooking pasta")));
    // Plain substring tests: "designing" holds "signin".
    EXPECT_TRUE(monitor->isSignInPage(QStringLiteral("Designing logs")));
    EXPECT_TRUE(http.calls.empty());
}

TEST_F(AppMonitorTest, NothingIsDecidedWithoutAnAimsetOrATitle) {
    showBrowser(QStringLiteral("Cat videos"));
    monitor->startMonitoring();
    log.clear();
    tick();
    EXPECT_EQ(log.take(), QStringList{appLine(QStringLiteral("Cat videos"))});
    monitor->userAimset = kAimset;
    showBrowser(QString());
    tick();
    EXPECT_EQ(log.take(), QStringList{appLine(QString())});
    workspace.frontmost = RunningApplication{std::nullopt, std::nullopt, 5};
    tick();
    EXPECT_EQ(log.take(), QStringList{QStringLiteral("[AppMonitor] App: Unknown (unknown)")});
    workspace.frontmost.reset();
    tick();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(http.calls.empty());
}

TEST_F(AppMonitorTest, WithoutPermissionTitlesReadEmptyAndPermissionFollowsEachTick) {
    startOn(QStringLiteral("Cat videos"));
    accessibility.trusted = false;
    tick();
    EXPECT_FALSE(monitor->hasAccessibilityPermission());
    EXPECT_EQ(monitor->currentWindowTitle(), QString());
    EXPECT_EQ(log.take(), QStringList{appLine(QString())});
    accessibility.trusted = true;
    tick();
    EXPECT_TRUE(monitor->hasAccessibilityPermission());
    EXPECT_EQ(http.calls.size(), 1u);
}

// ---- the remote check -----------------------------------------------------------------------

TEST_F(AppMonitorTest, FailedTitleCheckRecordsNothingUntilTheWindowChanges) {
    startOn(QStringLiteral("Cat videos"));
    tick();
    http.fail(0, QStringLiteral("Connection refused"));
    EXPECT_EQ(log.take(), (QStringList{appLine(QStringLiteral("Cat videos")),
                                       QStringLiteral("[AlignmentChecker] Request failed: "
                                                      "Connection refused")}));
    tick();
    EXPECT_EQ(http.calls.size(), 1u);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_EQ(monitor->lastAlignmentResult(), QString());
    showBrowser(QStringLiteral("Other"));
    tick();
    showBrowser(QStringLiteral("Cat videos"));
    tick();
    EXPECT_EQ(http.calls.size(), 3u);
}

TEST_F(AppMonitorTest, AlignedTitleIsCachedAndLogged) {
    startOn(QStringLiteral("Q3 numbers - Sheets"));
    tick();
    http.respondJson(0, {{QStringLiteral("aligned"), true}});
    EXPECT_EQ(log.take(), (QStringList{appLine(QStringLiteral("Q3 numbers - Sheets")),
                                       QStringLiteral("[Alignment] ALIGNED: ") + kAimset + kLinks +
                                           QStringLiteral("Q3 numbers - Sheets")}));
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("aligned")});
    EXPECT_EQ(monitor->lastAlignmentResult(), QStringLiteral("ALIGNED"));
    EXPECT_TRUE(accessibility.calls.filter(QStringLiteral("focusedWindow")).isEmpty());
}

TEST_F(AppMonitorTest, NotAlignedTitleWithNoTextIsMisalignedWithoutAskingAgain) {
    startOn(QStringLiteral("Cat videos"));
    tick();
    log.clear();
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    EXPECT_EQ(
        log.take(),
        (QStringList{
            QStringLiteral("[Alignment] Title says not aligned, running OCR for verdict..."),
            QStringLiteral("[Alignment] OCR extraction empty \u2014 defaulting to MISALIGNED")}));
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral(
                                "misaligned Could not extract page text for verification")});
    EXPECT_EQ(monitor->lastAlignmentResult(), QStringLiteral("MISALIGNED"));
    EXPECT_EQ(http.calls.size(), 1u);
    EXPECT_EQ(monitor->cachedVerdict(QStringLiteral("Firefox"), QStringLiteral("Cat videos")),
              AlignmentVerdict::misaligned(
                  QStringLiteral("Could not extract page text for verification")));
}

TEST_F(AppMonitorTest, FailedTextCheckIsMisalignedAndCached) {
    accessibility.windows.insert(100, FakeElement::make()->withValue(QStringLiteral("cats")));
    startOn(QStringLiteral("Cat videos"));
    tick();
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    ASSERT_EQ(http.calls.size(), 2u);
    EXPECT_EQ(lastRequest().value(QStringLiteral("context")).toString(), QStringLiteral("cats"));
    log.clear();
    http.respond(1, 502, "");
    EXPECT_EQ(
        log.take(),
        (QStringList{
            QStringLiteral("[AlignmentChecker] Text check proxy error: status 502"),
            QStringLiteral("[Alignment] OCR API call failed \u2014 defaulting to MISALIGNED")}));
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("misaligned API check failed")});
    tick();
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("misaligned API check failed")});
}

TEST_F(AppMonitorTest, EachTextVerdictIsCachedLoggedAndReported) {
    struct Case {
        QJsonObject answer;
        QString result;
        QString line;
        QString event;
    };
    const QString title = QStringLiteral("Cat videos");
    const std::vector<Case> cases{
        {{{QStringLiteral("verdict"), QStringLiteral("UNCLEAR")},
          {QStringLiteral("question"), QStringLiteral("Research?")},
          {QStringLiteral("reason"), QStringLiteral("Maybe")}},
         QStringLiteral("UNCLEAR"),
         QStringLiteral("[Alignment] UNCLEAR: ") + kAimset + kLinks + title +
             QStringLiteral(" | Q: Research?"),
         QStringLiteral("unclear Research? / Maybe")},
        {{{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
          {QStringLiteral("reason"), QStringLiteral("Entertainment")}},
         QStringLiteral("MISALIGNED"),
         QStringLiteral("[Alignment] MISALIGNED (confirmed by OCR): ") + kAimset + kLinks + title,
         QStringLiteral("misaligned Entertainment")},
        {{{QStringLiteral("verdict"), QStringLiteral("ALIGNED")}},
         QStringLiteral("ALIGNED"),
         QStringLiteral("[Alignment] ALIGNED (OCR override): ") + kAimset + kLinks + title,
         QStringLiteral("aligned")},
    };
    accessibility.windows.insert(100, FakeElement::make()->withValue(QStringLiteral("cats")));
    startOn(title);
    for (const Case& c : cases) {
        // A fresh aimset empties the cache, so the window is asked about again.
        monitor->setTemporaryAimset(kAimset);
        tick();
        http.respondJson(http.nextPending(), {{QStringLiteral("aligned"), false}});
        log.clear();
        http.respondJson(http.nextPending(), c.answer);
        const QStringList lines = log.take();
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[1], c.line);
        EXPECT_EQ(takeEvents(), QStringList{c.event});
        EXPECT_EQ(monitor->lastAlignmentResult(), c.result);
        // Every later tick on the window answers from the cache, without a new request.
        const auto requests = http.calls.size();
        tick();
        EXPECT_EQ(takeEvents(), QStringList{c.event});
        EXPECT_EQ(http.calls.size(), requests);
    }
}

TEST_F(AppMonitorTest, CachedVerdictLineOnlyWhenReturningToTheWindow) {
    accessibility.windows.insert(100, FakeElement::make()->withValue(QStringLiteral("docs")));
    startOn(QStringLiteral("API docs"));
    tick();
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    http.respondJson(1, {{QStringLiteral("verdict"), QStringLiteral("ALIGNED")}});
    takeEvents();
    log.clear();
    tick();
    EXPECT_EQ(log.take(), QStringList{appLine(QStringLiteral("API docs"))});
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("aligned")});

    workspace.setFrontmost(QStringLiteral("Terminal"), QStringLiteral("com.apple.Terminal"), 7,
                           QStringLiteral("zsh"));
    tick();
    showBrowser(QStringLiteral("API docs"));
    log.clear();
    tick();
    EXPECT_EQ(log.take(), (QStringList{appLine(QStringLiteral("API docs")),
                                       QStringLiteral("[Alignment] Cached verdict for: ") +
                                           kAimset + kLinks + QStringLiteral("API docs")}));
    EXPECT_EQ(http.calls.size(), 2u);
}

TEST_F(AppMonitorTest, ResultsApplyWithTheValuesCapturedWhenTheCheckStarted) {
    accessibility.windows.insert(100, FakeElement::make()->withValue(QStringLiteral("first")));
    startOn(QStringLiteral("Window A"));
    tick();
    // The user moves on and the aimset changes before the service answers.
    monitor->userAimset = QStringLiteral("Something else");
    showBrowser(QStringLiteral("Window B"));
    accessibility.windows.insert(100, FakeElement::make()->withValue(QStringLiteral("second")));
    log.clear();
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    // The text is read from whichever window of the process is focused now...
    EXPECT_EQ(lastRequest().value(QStringLiteral("context")).toString(), QStringLiteral("second"));
    // ...but asked with the aimset of the moment the check started.
    EXPECT_EQ(lastRequest().value(QStringLiteral("aimset")).toString(), kAimset);
    http.respondJson(1, {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")}});
    EXPECT_EQ(log.take().last(), QStringLiteral("[Alignment] MISALIGNED (confirmed by OCR): ") +
                                     kAimset + kLinks + QStringLiteral("Window A"));
    EXPECT_EQ(monitor->cachedVerdict(QStringLiteral("Firefox"), QStringLiteral("Window A")),
              AlignmentVerdict::misaligned(QString()));
    EXPECT_EQ(monitor->cachedVerdict(QStringLiteral("Firefox"), QStringLiteral("Window B")),
              std::nullopt);
}

TEST_F(AppMonitorTest, ChecksForDifferentWindowsApplyInArrivalOrder) {
    startOn(QStringLiteral("Window A"));
    tick();
    showBrowser(QStringLiteral("Window B"));
    tick();
    ASSERT_EQ(http.calls.size(), 2u);
    http.respondJson(1, {{QStringLiteral("aligned"), true}});
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    EXPECT_EQ(
        takeEvents(),
        (QStringList{QStringLiteral("aligned"),
                     QStringLiteral("misaligned Could not extract page text for verification")}));
    EXPECT_EQ(monitor->lastAlignmentResult(), QStringLiteral("MISALIGNED"));
}

TEST_F(AppMonitorTest, MarkAlignedAnswersFromTheCacheOnEveryTick) {
    startOn(QStringLiteral("Pricing - Docs"));
    monitor->markAligned(QStringLiteral("Firefox"), QStringLiteral("Pricing - Docs"));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_TRUE(events.isEmpty());
    tick();
    tick();
    EXPECT_EQ(takeEvents(), (QStringList{QStringLiteral("aligned"), QStringLiteral("aligned")}));
    EXPECT_TRUE(http.calls.empty());
}

// ---- the intervention window and activations ------------------------------------------------

TEST_F(AppMonitorTest, LeavingTheInterventionWindowFiresOnceAndSkipsThatTick) {
    startOn(QStringLiteral("Window A"));
    tick();
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    takeEvents();
    monitor->markInterventionWindow();
    EXPECT_EQ(log.take().last(),
              QStringLiteral("[AppMonitor] Intervention window marked: Firefox | Window A"));
    monitor->setPollInterval(true);
    loop.advance(500ms);
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral(
                                "misaligned Could not extract page text for verification")});
    showBrowser(QStringLiteral("Window B"));
    log.clear();
    loop.advance(500ms);
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[AppMonitor] Window changed from intervention "
                                         "window \u2014 firing onWindowChanged")});
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("windowChanged")});
    EXPECT_EQ(monitor->interventionWindowTitle, QString());
    EXPECT_EQ(monitor->interventionAppName, QString());
    EXPECT_EQ(http.calls.size(), 1u);
    loop.advance(500ms);
    EXPECT_EQ(http.calls.size(), 2u); // B is checked on the following tick
    EXPECT_TRUE(takeEvents().isEmpty());
}

TEST_F(AppMonitorTest, AWindowMarkedWithoutTitleIsNotWatched) {
    startOn(QString());
    monitor->markInterventionWindow();
    showBrowser(QStringLiteral("Elsewhere"));
    tick();
    EXPECT_TRUE(takeEvents().isEmpty());
}

TEST_F(AppMonitorTest, ActivationFiresAtOnceAndRefreshesTheWindow200msLater) {
    startOn(QStringLiteral("Cat videos"));
    tick();
    const auto requests = http.calls.size();
    log.clear();
    workspace.activate(QStringLiteral("Writer"), QStringLiteral("org.libreoffice.Writer"), 300,
                       QStringLiteral("Q3 report.odt"));
    loop.runPending();
    EXPECT_EQ(takeEvents(), QStringList{QStringLiteral("windowChanged")});
    EXPECT_EQ(monitor->currentAppName(), QStringLiteral("Firefox"));
    loop.advance(199ms);
    EXPECT_EQ(monitor->currentAppName(), QStringLiteral("Firefox"));
    loop.advance(1ms);
    EXPECT_EQ(monitor->currentAppName(), QStringLiteral("Writer"));
    EXPECT_EQ(monitor->currentBundleID(), QStringLiteral("org.libreoffice.Writer"));
    EXPECT_EQ(monitor->currentWindowTitle(), QStringLiteral("Q3 report.odt"));
    EXPECT_EQ(monitor->currentPID(), 100);
    EXPECT_EQ(log.take(), QStringList{appLine(QStringLiteral("Q3 report.odt"),
                                              QStringLiteral("Writer (org.libreoffice.Writer)"))});
    EXPECT_EQ(http.calls.size(), requests);
    EXPECT_TRUE(takeEvents().isEmpty());

    workspace.notifyUnknownActivation();
    loop.advance(1s);
    EXPECT_TRUE(takeEvents().isEmpty());
}

// ---- aimsets and permission ------------------------------------------------------------------

TEST_F(AppMonitorTest, TemporaryAimsetKeepsTheFirstOriginalAndRestoreBringsItBack) {
    startOn(QStringLiteral("Cat videos"));
    monitor->markAligned(QStringLiteral("Firefox"), QStringLiteral("Cat videos"));
    tick();
    log.clear();
    monitor->setTemporaryAimset(QStringLiteral("Plan the offsite"));
    monitor->setTemporaryAimset(QStringLiteral("Book the venue"));
    EXPECT_TRUE(monitor->isTemporaryAimset());
    EXPECT_EQ(monitor->userAimset, QStringLiteral("Book the venue"));
    EXPECT_EQ(monitor->originalAimset(), kAimset);
    EXPECT_EQ(monitor->lastAlignmentResult(), QString());
    EXPECT_EQ(monitor->lastCheckedWindowTitle, QString());
    EXPECT_EQ(monitor->cachedVerdict(QStringLiteral("Firefox"), QStringLiteral("Cat videos")),
              std::nullopt);
    EXPECT_EQ(log.take(),
              (QStringList{QStringLiteral("[AppMonitor] Temporary aimset set: Plan the offsite "
                                          "(original: ") +
                               kAimset + QLatin1Char(')'),
                           QStringLiteral("[AppMonitor] Temporary aimset set: Book the venue "
                                          "(original: ") +
                               kAimset + QLatin1Char(')')}));
    monitor->restoreOriginalAimset();
    EXPECT_FALSE(monitor->isTemporaryAimset());
    EXPECT_EQ(monitor->userAimset, kAimset);
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[AppMonitor] Original aimset restored: ") + kAimset});
    monitor->restoreOriginalAimset();
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(AppMonitorTest, ThePromptIsRequestedAtMostOncePerRun) {
    accessibility.trusted = false;
    monitor->checkAccessibilityPermission();
    monitor->checkAccessibilityPermission();
    EXPECT_EQ(accessibility.calls.filter(QStringLiteral("requestTrustWithPrompt")).size(), 1);
    EXPECT_TRUE(monitor->hasPromptedThisSession());
    accessibility.trusted = true;
    monitor->checkAccessibilityPermission();
    EXPECT_TRUE(monitor->hasAccessibilityPermission());
    EXPECT_TRUE(log.lines().isEmpty());
}

// ---- lifetime --------------------------------------------------------------------------------

TEST_F(AppMonitorTest, HandlersFiringAfterTheMonitorIsGoneDoNothing) {
    startOn(QStringLiteral("Cat videos"));
    tick();
    workspace.activate(QStringLiteral("Writer"), QStringLiteral("org.libreoffice.Writer"), 300,
                       QStringLiteral("Q3 report.odt"));
    // An activation already queued and a service answer still to come.
    monitor.reset();
    EXPECT_EQ(workspace.observerCount(), 0u);
    log.clear();
    loop.advance(10s);
    http.respondJson(0, {{QStringLiteral("aligned"), false}});
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
}

TEST_F(AppMonitorTest, ObservableFieldsNotifyOnlyOnChange) {
    int appChanges = 0;
    int resultChanges = 0;
    QObject::connect(monitor.get(), &AppMonitor::currentAppNameChanged, [&] { ++appChanges; });
    QObject::connect(monitor.get(), &AppMonitor::lastAlignmentResultChanged,
                     [&] { ++resultChanges; });
    workspace.setFrontmost(QStringLiteral("Terminal"), QStringLiteral("com.apple.Terminal"), 7,
                           QStringLiteral("zsh"));
    monitor->userAimset = kAimset;
    monitor->startMonitoring();
    tick();
    tick();
    EXPECT_EQ(appChanges, 1);
    EXPECT_EQ(resultChanges, 1);
}

} // namespace
