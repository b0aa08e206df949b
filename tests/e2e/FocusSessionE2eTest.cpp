// A focus session on the X desktop, from the first keystroke to the closed
// tab: the real app, Debian's Chromium and test windows, and the app's own
// standard output. Countdowns here run in real time. Also what leaves the
// machine: a login page's password, even shown in plain text, never reaches
// the alignment service nor the log, whose default lines name no window; and
// what the microphone hears: a spoken aimset, said while Alt+M is held.

#include "E2eDesktop.h"
#include "support/audio/PrivatePulseAudio.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScopeGuard>
#include <QScreen>
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

struct FocusSessionE2eTest : test::X11DesktopTest {
    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_TRUE(bus);
    }
    std::unique_ptr<test::A11ySession> bus =
        test::A11ySession::start(test::A11ySession::Launcher::enabled);
};

// Clicks the question panel's "No" where a person sees it: on the row of
// the white "Yes" button, in the panel's right half.
bool clickNo(xcb_window_t panel) {
    const auto isWhite = [](QRgb pixel) { return (pixel & 0xe0e0e0) == 0xe0e0e0; };
    QImage shot;
    std::vector<int> white;
    // Until its first frame the panel is blank; then the button is a band of rows.
    spinUntil(
        [&] {
            shot = QGuiApplication::primaryScreen()->grabWindow(panel).toImage().convertToFormat(
                QImage::Format_RGB32);
            const int from = 32, to = shot.width() / 2; // from the card's padding to the middle
            white.clear();
            for (int y = 0; y < shot.height(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
                if (std::count_if(row + from, row + to, isWhite) * 2 > to - from) {
                    white.push_back(y);
                }
            }
            return !white.empty() && white.size() * 3 < static_cast<std::size_t>(shot.height());
        },
        5s);
    return !white.empty() &&
           xdotool({u"mousemove"_s, u"--window"_s, QString::number(panel), u"--sync"_s,
                    QString::number(shot.width() * 3 / 4),
                    QString::number((white.front() + white.back()) / 2), u"click"_s, u"1"_s});
}

TEST_F(FocusSessionE2eTest, ADistractingTabIsClosedByControlWAfterItsCountdown) {
    test::TestWindow behind({u"--title"_s, u"Notes"_s});
    ScriptedService service;
    Chromium chromium(kCatsThenWork, bus.get());
    ASSERT_TRUE(chromium.waitForTabs(2));
    const auto browser = waitForWindow({u"--name"_s, u"^%1 - Chromium$"_s.arg(kCatsTitle)});
    ASSERT_TRUE(browser) << chromium.tabTitles().join(u'|').toStdString();
    AimsetApp app({service.url(), bus.get()});
    ASSERT_TRUE(app.startSession(desktop)) << app.dump();
    ASSERT_TRUE(desktop.activateAndWait(*browser));

    // The countdown runs out, and Control+W closes the cat videos' tab and nothing else.
    ASSERT_TRUE(app.waitFor(kCatsCountdown, 20s)) << app.dump();
    const auto start = steady_clock::now();
    ASSERT_TRUE(app.waitForLine(u"[TabCloser] Sent Ctrl+W via XTest"_s, 25s)) << app.dump();
    EXPECT_GE(steady_clock::now() - start, 14s) << "the warning stays 15 seconds";
    ASSERT_TRUE(chromium.waitForTabs(1, 10s)) << chromium.tabTitles().join(u'|').toStdString();
    EXPECT_EQ(chromium.tabTitles(), QStringList{kWorkTitle});
    EXPECT_EQ(behind.keyLines(), QStringList{}) << "no key went to the window behind";
    // The browser goes to the service by the name of its desktop entry.
    EXPECT_EQ(service.contexts[u"title"_s].value(0),
              u"%1 - %2 - Chromium"_s.arg(kBrowserName, kCatsTitle));
}

TEST_F(FocusSessionE2eTest, OnItsOwnServiceTheAppAsksAboutAnUnreadableWindowAndNoSendsControlW) {
    // No service configured: the app starts aimset-checkd, whose offline
    // judge finds the title off the aimset; the test window's text cannot be
    // read, so the person is asked. A listener on the port older versions
    // used gets nothing from the app.
    QTcpServer oldPort;
    const bool holdsOldPort = oldPort.listen(QHostAddress::LocalHost, 48620);
    test::TestWindow cats({u"--title"_s, kCatsTitle});
    AimsetApp app({{}, bus.get()});
    ASSERT_TRUE(app.startSession(desktop)) << app.dump();
    ASSERT_TRUE(desktop.activateAndWait(cats.id()));
    ASSERT_TRUE(
        app.waitForLine(u"[Intervention] Clarifying question shown: Is \u201C%1\u201D part of "
                        "your aimset? (total interventions: 0)"_s.arg(kCatsTitle),
                        20s))
        << app.dump();
    EXPECT_EQ(
        app.lines().filter(u"[CheckService] Started aimset-checkd on http://127.0.0.1:"_s).size(),
        1)
        << app.dump();

    // The person answers No while holding Shift: the window receives
    // Control+W, without Shift, and Shift is down again afterwards.
    // The panel: a window of the app that no window manager handles, which
    // frames the windows it manages, so it is right under the root.
    const QStringList panelSearch = {u"--maxdepth"_s, u"1"_s, u"--pid"_s,
                                     QString::number(app.pid())};
    const auto panel = waitForWindow(panelSearch, 10s);
    ASSERT_TRUE(panel) << "no question panel on screen";
    ASSERT_TRUE(xdotool({u"keydown"_s, u"shift"_s}));
    const auto letGo = qScopeGuard([] { xdotool({u"keyup"_s, u"shift"_s}); });
    ASSERT_TRUE(clickNo(*panel));
    ASSERT_TRUE(app.waitForLine(u"[Intervention] User said NO — closing tab"_s, 5s)) << app.dump();
    // Shift lifted, Control and W pressed (state 4: Control alone) and
    // released, Shift pressed again.
    const QStringList chord = {
        u"key press %1 state 0"_s.arg(kShift),   u"key release %1 state 1"_s.arg(kShift),
        u"key press %1 state 0"_s.arg(kControl), u"key press %1 state 4"_s.arg(kW),
        u"key release %1 state 4"_s.arg(kW),     u"key release %1 state 4"_s.arg(kControl),
        u"key press %1 state 0"_s.arg(kShift)};
    ASSERT_TRUE(spinUntil([&] { return inOrder(cats.keyLines(), chord); }))
        << cats.keyLines().join(u'|').toStdString();
    test::settle(200ms); // and nothing after that lets go of Shift
    EXPECT_TRUE(desktop.isKeyHeld(kShift));
    EXPECT_FALSE(waitForWindow(panelSearch, 0ms)) << "the panel went away";
    if (holdsOldPort) {
        EXPECT_FALSE(oldPort.hasPendingConnections() || oldPort.waitForNewConnection(100));
    }
}

TEST_F(FocusSessionE2eTest, ARevealedPasswordNeverReachesTheServiceNorTheLog) {
    ScriptedService service(u"Club members"_s);
    // The title names no sign-in words, so the page is judged like any other.
    // Its switch has shown the password in plain text, as many login pages do.
    const QString password = u"Tr0ub4dor-e2e-secret"_s;
    Chromium chromium(
        {{u"Club members"_s,
          u"<h1>Members of the chess club</h1><p>Enter your password to see the meeting notes.</p>"
          "<label>Email <input type=text value=member@example.org></label><label>Password "
          "<input id=p type=password value=%1></label><button type=button>Show password</button>"
          "<script>p.type = 'text'</script>"_s.arg(password)}},
        bus.get());
    const auto browser = waitForWindow({u"--name"_s, u"^Club members - Chromium$"_s});
    ASSERT_TRUE(browser);

    // The app as started at login: no --verbose.
    AimsetApp app({service.url(), bus.get(), false});
    ASSERT_TRUE(app.startSession(desktop));
    ASSERT_TRUE(desktop.activateAndWait(*browser));
    // The window text is judged and the countdown starts (fast polling); its
    // reason names the page, so its line is a debug line.
    ASSERT_TRUE(app.waitForLine(u"[AppMonitor] Poll interval set to 0.5s"_s, 35s)) << app.dump();

    // The page's text went to the service; the password did not, in any request.
    const QStringList texts = service.contexts[u"text"_s];
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(u"Members of the chess club"_s)) << texts[0].toStdString();
    for (const auto& request : service.received) {
        EXPECT_FALSE(request.body.contains(password.toUtf8())) << request.body.toStdString();
    }
    // The default output: state changes only, no window title, no poll lines.
    const QString output = app.lines().join(u'\n');
    EXPECT_FALSE(output.contains(password));
    EXPECT_FALSE(output.contains(u"Club members"_s)) << output.toStdString();
    EXPECT_FALSE(output.contains(u"[AppMonitor] App: "_s)) << output.toStdString();
}

TEST_F(FocusSessionE2eTest, SpeakingWhileHoldingAltMSetsATemporaryAimset) {
    // The app's audio goes to a daemon of the test's own: what it plays is
    // what the app's microphone hears.
    test::PrivatePulseAudio microphone;
    ASSERT_TRUE(microphone.isRunning());
    ASSERT_TRUE(test::SpeechClips::instance().isReady());
    ScriptedService service;
    const QString typed = u"Plan the team offsite"_s;
    AimsetApp app({service.url(), bus.get()});
    ASSERT_TRUE(app.startSession(desktop, typed));
    // The recogniser is ready once the permissions are answered.
    ASSERT_TRUE(
        spinUntil([&] { return app.lines().contains(u"[Voice] Speech recognition ready"_s); }, 30s))
        << app.dump();

    // Hold Alt+M, speak, let go.
    ASSERT_TRUE(xdotool({u"keydown"_s, u"alt+m"_s}));
    auto letGo = qScopeGuard([] { xdotool({u"keyup"_s, u"m"_s, u"alt"_s}); });
    const bool listening = app.waitForLine(u"[Voice] Started listening"_s, 5s);
    const bool played = listening && microphone.play(test::SpeechClips::instance().paddedPhrase());
    test::settle(700ms); // the recogniser catches up with the last word
    letGo.dismiss();
    ASSERT_TRUE(xdotool({u"keyup"_s, u"m"_s, u"alt"_s}));
    ASSERT_TRUE(listening && played) << app.dump();

    const auto transcribed =
        app.waitFor(QRegularExpression(u"\\[Voice\\] Transcription complete: .+"_s), 15s);
    ASSERT_TRUE(transcribed) << app.dump();
    const QString heard = transcribed->section(u": "_s, 1);
    // The recogniser may miss a word, but what it heard is the speech.
    qsizetype wordsHeard = 0;
    for (const QString& word : QString::fromLatin1(test::kPhrase).split(u' ')) {
        wordsHeard += heard.contains(word, Qt::CaseInsensitive) ? 1 : 0;
    }
    EXPECT_GE(wordsHeard, 3) << heard.toStdString();
    // Each hotkey line follows what its callback set off: listening starts
    // before the press is logged, and the transcription lands before the release is.
    EXPECT_TRUE(inOrder(app.lines(), {u"[Voice] Started listening"_s,
                                      u"[Hotkey] Alt+M pressed — recording started"_s, *transcribed,
                                      u"[AppMonitor] Temporary aimset set: "_s + heard +
                                          u" (original: "_s + typed + u')',
                                      u"[Hotkey] Alt+M released — recording stopped"_s}))
        << app.dump();
}

} // namespace
