// A focus session on the X desktop, from the first keystroke to the closed
// tab: the real app, Debian's Chromium and test windows, and the app's own
// standard output. Countdowns here run in real time. Also what leaves the
// machine: a login page's password, even shown in plain text, never reaches
// the alignment service nor the log, whose default lines name no window; and
// what the microphone hears: a spoken aimset, said while Alt+M is held.

#include "E2eDesktop.h"
#include "support/audio/PrivatePulseAudio.h"
#include "support/audio/SpeechTestAudio.h"

#include <QJsonDocument>
#include <QScopeGuard>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace aimset::e2e;
namespace test = aimset::test;
using std::chrono::steady_clock;

namespace {

// Xvfb's US keyboard under evdev.
constexpr int kShift = 50;
constexpr int kControl = 37;
constexpr int kW = 25;

struct FocusSessionE2eTest : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(desktop.available()) << "run through scripts/with-desktop.sh";
        ASSERT_TRUE(bus);
    }
    Desktop desktop;
    std::unique_ptr<test::A11ySession> bus =
        test::A11ySession::start(test::A11ySession::Launcher::enabled);
};

// Clicks the question panel's "No" where a person sees it: on the row of
// the white "Yes" button, in the panel's right half.
bool clickNo(Desktop& desktop, xcb_window_t panel) {
    const QRect area = desktop.geometry(panel);
    const int from = 32; // the card's padding
    std::vector<int> white;
    // Until its first frame the panel is blank; then the button is a band of rows.
    spinUntil(
        [&] {
            const std::vector<std::uint32_t> pixels = desktop.grab(panel);
            white.clear();
            for (int y = 0; !pixels.empty() && y < area.height(); ++y) {
                int count = 0;
                for (int x = from; x < area.width() / 2; ++x) {
                    count += (pixels[y * area.width() + x] & 0xe0e0e0) == 0xe0e0e0 ? 1 : 0;
                }
                if (count * 2 > area.width() / 2 - from) {
                    white.push_back(y);
                }
            }
            return !white.empty() && white.size() * 3 < static_cast<std::size_t>(area.height());
        },
        5s);
    const QPoint at =
        area.topLeft() + QPoint(area.width() * 3 / 4, (white.front() + white.back()) / 2);
    return !white.empty() &&
           xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"), QString::number(at.x()),
                    QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
}

TEST_F(FocusSessionE2eTest, ADistractingTabIsClosedByControlWOnlyWhileItIsInFront) {
    test::TestWindow behind({QStringLiteral("--title"), QStringLiteral("Notes")});
    QTemporaryDir pages;
    ScriptedService service;
    Chromium chromium({writePage(pages, QStringLiteral("work.html"), kWorkTitle,
                                 QStringLiteral("<p>Revenue grew four percent.</p>")),
                       writePage(pages, QStringLiteral("cats.html"), kCatsTitle, kCatsPage)},
                      bus.get());
    ASSERT_TRUE(chromium.waitForTabs(2));
    ASSERT_TRUE(chromium.showTab(kCatsTitle));
    const auto browser = chromium.waitForWindow(desktop, kCatsTitle);
    ASSERT_TRUE(browser) << chromium.tabTitles().join(u'|').toStdString();
    AimsetApp app({service.url(), bus.get()});
    ASSERT_TRUE(app.startSession(desktop)) << app.dump();
    ASSERT_TRUE(desktop.activateAndWait(*browser));

    // Half a second before the countdown runs out the person goes to the
    // work tab: too late, perhaps, for a poll to notice, so Control+W would
    // close the wrong tab. The window in front is read again right before it.
    ASSERT_TRUE(app.waitFor(kCatsCountdown, 20s)) << app.dump();
    const auto firstStart = steady_clock::now();
    spinUntil([&] { return steady_clock::now() > firstStart + 14600ms; }, 20s);
    ASSERT_TRUE(chromium.showTab(kWorkTitle));
    ASSERT_TRUE(app.waitFor(QRegularExpression(
        QRegularExpression::escape(kDismissed) + QStringLiteral("|") +
        QRegularExpression::escape(QStringLiteral(
            "[Intervention] Countdown expired — the window in front changed, nothing closed")))))
        << app.dump();

    // Back to the cat videos: this countdown runs out, and Control+W closes
    // their tab and nothing else.
    ASSERT_TRUE(chromium.showTab(kCatsTitle));
    ASSERT_TRUE(app.waitFor(kCatsCountdown, 20s)) << app.dump();
    const auto secondStart = steady_clock::now();
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[TabCloser] Sent Ctrl+W via XTest"), 25s))
        << app.dump();
    EXPECT_GE(steady_clock::now() - secondStart, 14s) << "the warning stays 15 seconds";
    ASSERT_TRUE(app.waitForLine(kCountdownExpired)) << app.dump();
    ASSERT_TRUE(chromium.waitForTabs(1, 10s)) << chromium.tabTitles().join(u'|').toStdString();
    EXPECT_EQ(chromium.tabTitles(), QStringList{kWorkTitle});
    EXPECT_EQ(app.lines().filter(QStringLiteral("[TabCloser]")).size(), 1) << app.dump();
    EXPECT_EQ(behind.keyLines(), QStringList{}) << "no key went to the window behind";
    // The browser goes to the service by the name of its desktop entry.
    EXPECT_EQ(
        QString::fromUtf8(QJsonDocument(service.requests(QStringLiteral("title")).value(0))
                              .toJson(QJsonDocument::Compact)),
        QStringLiteral("{\"aimset\":\"%1\",\"context\":\"%2 - %3 - Chromium\",\"mode\":\"title\"}")
            .arg(kAimset, kBrowserName, kCatsTitle));
}

TEST_F(FocusSessionE2eTest, OnItsOwnServiceTheAppAsksAboutAnUnreadableWindowAndNoSendsControlW) {
    // No service configured: the app starts aimset-checkd, whose offline
    // judge finds the title off the aimset; the test window's text cannot be
    // read, so the person is asked. A listener on the port older versions
    // used gets nothing from the app.
    QTcpServer oldPort;
    const bool holdsOldPort = oldPort.listen(QHostAddress::LocalHost, 48620);
    test::TestWindow cats({QStringLiteral("--title"), kCatsTitle});
    AimsetApp app({{}, bus.get()});
    ASSERT_TRUE(app.startSession(desktop)) << app.dump();
    ASSERT_TRUE(desktop.activateAndWait(cats.id()));
    ASSERT_TRUE(
        app.waitFor(QRegularExpression(
                        QStringLiteral("\\[Intervention\\] Clarifying question shown: ") +
                        QRegularExpression::escape(QStringLiteral("Is \u201C") + kCatsTitle +
                                                   QStringLiteral("\u201D part of your aimset?")) +
                        QStringLiteral(" \\(total interventions: \\d+\\)")),
                    20s))
        << app.dump();
    EXPECT_EQ(
        app.lines()
            .filter(QRegularExpression(QStringLiteral(
                "^\\[CheckService\\] Started aimset-checkd on http://127\\.0\\.0\\.1:\\d+/check$")))
            .size(),
        1)
        << app.dump();

    // The person answers No while holding Shift: the window receives
    // Control+W and nothing else, and Shift is down again afterwards.
    const auto panel = desktop.waitForPanel(app.pid());
    ASSERT_TRUE(panel) << "no question panel on screen";
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("shift")}));
    const auto letGo = qScopeGuard([] {
        xdotool({QStringLiteral("keyup"), QStringLiteral("shift")});
    });
    ASSERT_TRUE(clickNo(desktop, *panel));
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[Intervention] User said NO — closing tab"), 5s))
        << app.dump();
    const QString wRelease = QStringLiteral("key release %1 state 4").arg(kW); // Control alone
    spinUntil([&] { return cats.keyLines().contains(wRelease); });
    spinUntil([] { return false; }, 200ms); // the modifiers are put back after the chord
    const bool shiftHeldAfter = desktop.isKeyHeld(kShift);

    const QStringList keys = cats.keyLines();
    EXPECT_EQ(keys.filter(QRegularExpression(QStringLiteral("^key \\w+ %1 ").arg(kW))),
              (QStringList{QStringLiteral("key press %1 state 4").arg(kW), wRelease}));
    EXPECT_TRUE(inOrder(keys, {QStringLiteral("key press %1 state 0").arg(kShift),
                               QStringLiteral("key release %1 state 1").arg(kShift),
                               QStringLiteral("key press %1 state 0").arg(kControl),
                               QStringLiteral("key press %1 state 4").arg(kW), wRelease,
                               QStringLiteral("key release %1 state 4").arg(kControl),
                               QStringLiteral("key press %1 state 0").arg(kShift)}))
        << keys.join(u'|').toStdString();
    EXPECT_TRUE(shiftHeldAfter);
    EXPECT_FALSE(desktop.isViewable(*panel)) << "the panel went away";
    if (holdsOldPort) {
        EXPECT_FALSE(oldPort.hasPendingConnections() || oldPort.waitForNewConnection(100));
    }
}

TEST_F(FocusSessionE2eTest, ARevealedPasswordNeverReachesTheServiceNorTheLog) {
    ScriptedService service([](const QJsonObject& request) -> QJsonObject {
        if (request.value(QStringLiteral("mode")).toString() == QStringLiteral("title")) {
            return {{QStringLiteral("aligned"), false}};
        }
        return {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
                {QStringLiteral("reason"), QStringLiteral("Club business is not the report")}};
    });
    // The title names no sign-in words, so the page is judged like any other.
    // Its switch shows the password in plain text, as many login pages do.
    QTemporaryDir pages;
    const QString page = writePage(
        pages, QStringLiteral("members.html"), QStringLiteral("Club members"),
        QStringLiteral("<h1>Members of the chess club</h1><p>Enter your password to see the "
                       "meeting notes.</p><label>Email <input type=\"text\" "
                       "value=\"member@example.org\"></label><label>Password <input id=\"p\" "
                       "type=\"password\" autofocus oninput=\"document.title='Club members, "
                       "password entered'\"></label><button type=\"button\" "
                       "onclick=\"p.type='text'; document.title='Club members, password "
                       "shown'\">Show password</button>"));
    Chromium chromium({page}, bus.get());
    const auto browser = chromium.waitForWindow(desktop, QStringLiteral("Club members"));
    ASSERT_TRUE(browser);
    ASSERT_TRUE(desktop.activateAndWait(*browser));

    // A person types the password into the focused field, then shows it:
    // Tab to the switch, Space to press it.
    const QString password = QStringLiteral("Tr0ub4dor-e2e-secret");
    ASSERT_TRUE(xdotool(
        {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), password}));
    ASSERT_TRUE(chromium.waitForWindow(desktop, QStringLiteral("Club members, password entered")));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("space")}));
    ASSERT_TRUE(chromium.waitForWindow(desktop, QStringLiteral("Club members, password shown")));

    // The app as started at login: no --verbose.
    AimsetApp app({service.url(), bus.get(), false});
    ASSERT_TRUE(app.startSession(desktop));
    ASSERT_TRUE(desktop.activateAndWait(*browser));
    // The countdown starts (fast polling); its reason names the page, so its
    // line is a debug line.
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[Alignment] Title says not aligned, reading the "
                                               "window text for a verdict..."),
                                25s))
        << app.dump();
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[AppMonitor] Poll interval set to 0.5s"), 10s))
        << app.dump();

    // The page's text went to the service; the password did not, in any request.
    const QList<QJsonObject> texts = service.requests(QStringLiteral("text"));
    ASSERT_EQ(texts.size(), 1);
    const QString context = texts[0][QStringLiteral("context")].toString();
    EXPECT_TRUE(context.contains(QStringLiteral("Members of the chess club")))
        << context.toStdString();
    for (const QJsonObject& request : service.requests()) {
        const QByteArray body = QJsonDocument(request).toJson();
        EXPECT_FALSE(body.contains(password.toUtf8())) << body.toStdString();
    }
    // The default output: state changes only, no window title, no poll lines.
    const QString output = app.lines().join(u'\n');
    EXPECT_FALSE(output.contains(password));
    EXPECT_FALSE(output.contains(QStringLiteral("Club members"))) << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("[AppMonitor] App: "))) << output.toStdString();
}

TEST_F(FocusSessionE2eTest, SpeakingWhileHoldingAltMSetsATemporaryAimset) {
    // The app's audio goes to a daemon of the test's own: what it plays is
    // what the app's microphone hears.
    test::PrivatePulseAudio microphone;
    ASSERT_TRUE(microphone.isRunning());
    ASSERT_TRUE(test::SpeechClips::instance().isReady());
    ScriptedService service;
    const QString typed = QStringLiteral("Plan the team offsite");
    AimsetApp app({service.url(), bus.get()});
    ASSERT_TRUE(app.startSession(desktop, typed));
    // The recogniser is ready once the permissions are answered.
    ASSERT_TRUE(spinUntil(
        [&] { return app.lines().contains(QStringLiteral("[Voice] Speech recognition ready")); },
        30s))
        << app.dump();

    // Hold Alt+M, speak, let go.
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("alt+m")}));
    auto letGo = qScopeGuard([] {
        xdotool({QStringLiteral("keyup"), QStringLiteral("m"), QStringLiteral("alt")});
    });
    const bool listening = app.waitForLine(QStringLiteral("[Voice] Started listening"), 5s);
    const bool played = listening && microphone.play(test::SpeechClips::instance().paddedPhrase());
    spinUntil([] { return false; }, 700ms); // the recogniser catches up with the last word
    letGo.dismiss();
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("m"), QStringLiteral("alt")}));
    ASSERT_TRUE(listening && played) << app.dump();

    const auto transcribed = app.waitFor(
        QRegularExpression(QStringLiteral("\\[Voice\\] Transcription complete: .+")), 15s);
    ASSERT_TRUE(transcribed) << app.dump();
    const QString heard = transcribed->section(QStringLiteral(": "), 1);
    // The recogniser may miss a word, but what it heard is the speech.
    qsizetype wordsHeard = 0;
    for (const QString& word : QString::fromLatin1(test::kPhrase).split(u' ')) {
        wordsHeard += heard.contains(word, Qt::CaseInsensitive) ? 1 : 0;
    }
    EXPECT_GE(wordsHeard, 3) << heard.toStdString();
    // Each hotkey line follows what its callback set off: listening starts
    // before the press is logged, and the transcription lands before the release is.
    EXPECT_TRUE(inOrder(app.lines(),
                        {QStringLiteral("[Voice] Started listening"),
                         QStringLiteral("[Hotkey] Alt+M pressed — recording started"), *transcribed,
                         QStringLiteral("[AppMonitor] Temporary aimset set: ") + heard +
                             QStringLiteral(" (original: ") + typed + u')',
                         QStringLiteral("[Hotkey] Alt+M released — recording stopped")}))
        << app.dump();
}

} // namespace
