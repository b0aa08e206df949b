// A focus session from the first keystroke to the closed tab: the real app,
// Debian's Chromium and a test window on the X desktop, a scripted alignment
// service, and the app's own standard output. Countdowns here run in real
// time, so each test waits through at most two of them.

#include "E2eDesktop.h"
#include "E2eExpectations.h"

#include <QJsonDocument>
#include <QTcpServer>

#include <gtest/gtest.h>

using namespace aimset::e2e;
using aimset::test::spinUntil;
using aimset::test::TestWindow;

namespace {

const QString kAimset = QStringLiteral("Finish the quarterly report");
const QString kWorkTitle = QStringLiteral("Quarterly report draft");
const QString kCatsTitle = QStringLiteral("Funny cat videos");
const QString kCatsPage =
    QStringLiteral("<h1>Cats falling off sofas</h1><p>Ten minutes of cats misjudging jumps.</p>");
const QString kChessTitle = QStringLiteral("Chess openings");
const QString kCatsReason = QStringLiteral("Cat videos are not part of the quarterly report");
// Chromium's name in its Debian desktop entry, which the app reports.
const QString kBrowserName = QStringLiteral("Chromium Web Browser");

QString browserTitle(const QString& page) {
    return page + QStringLiteral(" - Chromium");
}

// The service: cat videos are misaligned, everything else aligned.
QJsonObject answer(const QJsonObject& request) {
    const QString mode = request.value(QStringLiteral("mode")).toString();
    const QString context = request.value(QStringLiteral("context")).toString();
    if (mode == QStringLiteral("title")) {
        return {{QStringLiteral("aligned"), !context.contains(kCatsTitle)}};
    }
    return {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
            {QStringLiteral("reason"), kCatsReason}};
}

struct FocusSessionE2eTest : ::testing::Test {
    Desktop desktop;
    PrivateBus bus;
    QTemporaryDir pages;
    ScriptedService service{answer};
    std::unique_ptr<Chromium> chromium;
    xcb_window_t browser = 0;
    std::unique_ptr<AimsetApp> app;

    // Chromium with the work page and one other, the other in front unless
    // the work page is asked for.
    void openBrowser(const QString& otherTitle, const QString& otherBody,
                     bool workInFront = false) {
        const QString work = writePage(pages, QStringLiteral("work.html"), kWorkTitle,
                                       QStringLiteral("<h1>Q3 revenue summary</h1><p>Revenue "
                                                      "grew four percent over the quarter.</p>"));
        const QString other = writePage(pages, QStringLiteral("other.html"), otherTitle, otherBody);
        const QString frontTitle = workInFront ? kWorkTitle : otherTitle;
        chromium = std::make_unique<Chromium>(QStringList{work, other}, bus.address());
        ASSERT_TRUE(chromium->waitForTabs(2, 30000ms));
        // Once the page has loaded (its tab carries its title), bring it to the front.
        ASSERT_TRUE(spinUntil(
            [&] {
                for (const auto& tab : chromium->tabs()) {
                    if (tab.title == frontTitle) {
                        chromium->activateTab(tab.id);
                        return true;
                    }
                }
                return false;
            },
            30000ms));
        const auto window = chromium->waitForWindow(desktop, frontTitle);
        ASSERT_TRUE(window) << "no Chromium window showing " << frontTitle.toStdString()
                            << "; windows: " << windowTitles().toStdString()
                            << "; tabs: " << tabTitles().join(u'|').toStdString();
        browser = *window;
    }

    // Against the scripted service, or with none configured, against the
    // aimset-checkd the app starts beside itself.
    void startSession(bool scripted = true) {
        app = std::make_unique<AimsetApp>(
            AimsetApp::Options{scripted ? service.checkURL() : QByteArray(), bus.address(), {}});
        ASSERT_TRUE(app->startSession(desktop, kAimset)) << dump();
    }

    QString windowTitles() {
        QStringList titles;
        for (const xcb_window_t window : desktop.clientWindows()) {
            titles << desktop.windowTitle(window);
        }
        return titles.join(u'|');
    }

    QStringList tabTitles() {
        QStringList titles;
        for (const auto& tab : chromium->tabs()) {
            titles << tab.title;
        }
        titles.sort();
        return titles;
    }

    LineProcess& out() { return app->output(); }

    std::string dump() { return app ? out().lines().join(QLatin1Char('\n')).toStdString() : ""; }

    // The floating panel the app shows beside its main window: a window of
    // the app's process that no window manager handles.
    std::optional<xcb_window_t> waitForPanel() {
        std::optional<xcb_window_t> panel;
        spinUntil(
            [&] {
                for (const xcb_window_t window : desktop.unmanagedWindows()) {
                    if (desktop.windowPid(window) == app->pid() && desktop.isViewable(window)) {
                        panel = window;
                        return true;
                    }
                }
                return false;
            },
            10000ms);
        return panel;
    }

    // Clicks one of the question panel's two buttons where a person sees it:
    // the white "Yes" button marks the row, "No" sits right of it.
    bool clickAnswer(xcb_window_t panel, bool yes) {
        QSize size;
        std::vector<std::uint32_t> pixels;
        // The panel draws itself just after it maps.
        spinUntil(
            [&] {
                pixels = desktop.grab(panel, &size);
                // Until its first frame the window is blank: the button is a band.
                const auto rows = whiteRows(pixels, size);
                return !rows.empty() && rows.size() * 3 < static_cast<std::size_t>(size.height());
            },
            5000ms);
        const std::vector<int> rows = whiteRows(pixels, size);
        if (rows.empty() || rows.size() * 3 >= static_cast<std::size_t>(size.height())) {
            return false;
        }
        const int y = (rows.front() + rows.back()) / 2;
        const int buttonWidth = (size.width() - 2 * kCardPadding - kButtonSpacing) / 2;
        const int x = kCardPadding + buttonWidth / 2 + (yes ? 0 : buttonWidth + kButtonSpacing);
        const QPoint at = desktop.geometry(panel).topLeft() + QPoint(x, y);
        return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                        QString::number(at.x()), QString::number(at.y()), QStringLiteral("click"),
                        QStringLiteral("1")});
    }

    static constexpr int kCardPadding = 32;
    static constexpr int kButtonSpacing = 12;

    // Rows where the left button's area is mostly white.
    static std::vector<int> whiteRows(const std::vector<std::uint32_t>& pixels, QSize size) {
        std::vector<int> rows;
        const int buttonWidth = (size.width() - 2 * kCardPadding - kButtonSpacing) / 2;
        for (int y = 0; y < size.height(); ++y) {
            int white = 0;
            for (int x = kCardPadding; x < kCardPadding + buttonWidth; ++x) {
                const std::uint32_t p = pixels[static_cast<std::size_t>(y * size.width() + x)];
                if ((p & 0xff) > 230 && ((p >> 8) & 0xff) > 230 && ((p >> 16) & 0xff) > 230) {
                    ++white;
                }
            }
            if (buttonWidth > 0 && white * 2 > buttonWidth) {
                rows.push_back(y);
            }
        }
        return rows;
    }
};

TEST_F(FocusSessionE2eTest, DistractingTabIsClosedAfterTheCountdownWithControlWAlone) {
    TestWindow other({QStringLiteral("--title"), kCatsTitle});
    ASSERT_NO_FATAL_FAILURE(openBrowser(kCatsTitle, kCatsPage));
    ASSERT_NO_FATAL_FAILURE(startSession());
    ASSERT_TRUE(desktop.x().activateAndWait(browser));

    const QRegularExpression started(
        QStringLiteral("\\[Intervention\\] Misaligned countdown started: ") +
        QRegularExpression::escape(kCatsReason) +
        QStringLiteral(" \\(total interventions: \\d+\\)"));
    const auto startedLine = out().waitForMatch(started, 20000ms);
    ASSERT_TRUE(startedLine) << dump();
    const QString expired = QStringLiteral("[Intervention] Countdown expired — auto-closing tab");
    ASSERT_TRUE(out().waitForLine(expired, 25000ms)) << dump();
    const auto shownFor = *out().arrivalOf(expired) - *out().arrivalOf(*startedLine);
    EXPECT_GE(shownFor, 14s) << "the warning stays 15 seconds";
    EXPECT_LE(shownFor, 25s);
    ASSERT_TRUE(out().waitForLine(QStringLiteral("[TabCloser] Sent Ctrl+W via XTest"), 5000ms));

    const QString window = browserTitle(kCatsTitle);
    const QStringList verdictLines{
        QStringLiteral("[AlignmentChecker] Three-tier verdict: MISALIGNED | reason: ") +
            kCatsReason,
        QStringLiteral("[Alignment] MISALIGNED (confirmed by window text): ") + kAimset +
            QStringLiteral(" ↔ ") + window};
    EXPECT_TRUE(
        inOrder(out().lines(),
                QStringList{QStringLiteral("Aimset: ") + kAimset + QStringLiteral(", Goal: 0m"),
                            QStringLiteral("[AppMonitor] Started monitoring"),
                            QStringLiteral("[AppMonitor] App: ") + kBrowserName +
                                QStringLiteral(" (chromium) | Window: ") + window,
                            QStringLiteral("[Alignment] Title says not aligned, reading "
                                           "the window text for a verdict...")} +
                    verdictLines +
                    QStringList{QStringLiteral("[AppMonitor] Intervention window marked: ") +
                                    kBrowserName + QStringLiteral(" | ") + window,
                                QStringLiteral("[AppMonitor] Poll interval set to 0.5s"),
                                // The tab is closed, polling slows, then the expiry is logged.
                                QStringLiteral("[TabCloser] Sent Ctrl+W via XTest"),
                                QStringLiteral("[AppMonitor] Poll interval set to 5.0s"), expired}))
        << dump();
    // The title went to the service as "application - title".
    ASSERT_FALSE(service.requests(QStringLiteral("title")).isEmpty());
    EXPECT_EQ(service.requests(QStringLiteral("title")).first(),
              (QJsonObject{{QStringLiteral("aimset"), kAimset},
                           {QStringLiteral("context"),
                            QString(kBrowserName + QStringLiteral(" - ") + window)},
                           {QStringLiteral("mode"), QStringLiteral("title")}}));

    // One tab fewer, the distracting one; the browser and the other window stay.
    ASSERT_TRUE(chromium->waitForTabs(1, 10000ms)) << tabTitles().join(u'|').toStdString();
    EXPECT_EQ(tabTitles(), QStringList{kWorkTitle});
    EXPECT_TRUE(chromium->isRunning());
    EXPECT_TRUE(desktop.isViewable(browser));
    EXPECT_TRUE(desktop.isViewable(other.id()));
    EXPECT_EQ(other.keyLines(), QStringList{}) << "no key went to the window behind";

    // Now the test window, whose text cannot be read: the app asks rather
    // than counts down. The person answers No while holding Shift: the window
    // receives Control+W and nothing else.
    ASSERT_TRUE(desktop.x().activateAndWait(other.id()));
    ASSERT_TRUE(out().waitForMatch(
        QRegularExpression(
            QStringLiteral("\\[Intervention\\] Clarifying question shown: ") +
            QRegularExpression::escape(QStringLiteral("Is \u201C") + kCatsTitle +
                                       QStringLiteral("\u201D part of your aimset?")) +
            QStringLiteral(" \\(total interventions: \\d+\\)")),
        20000ms))
        << dump();
    const auto panel = waitForPanel();
    ASSERT_TRUE(panel) << "no question panel on screen";
    const std::uint8_t shift = desktop.keycodeFor(0xffe1);
    const std::uint8_t control = desktop.keycodeFor(0xffe3);
    const std::uint8_t w = desktop.keycodeFor(0x77);
    HeldKeys heldShift(QStringLiteral("shift"));
    ASSERT_TRUE(heldShift.isHeld());
    ASSERT_TRUE(clickAnswer(*panel, false));
    ASSERT_TRUE(
        out().waitForLine(QStringLiteral("[Intervention] User said NO — closing tab"), 5000ms))
        << dump();
    const QString wPress = QStringLiteral("key press %1 ").arg(w);
    const QString wRelease = QStringLiteral("key release %1 ").arg(w);
    spinUntil([&] { return !other.keyLines().filter(wRelease).isEmpty(); });
    spinUntil([] { return false; }, 200ms); // the modifiers put back after the chord
    const bool shiftHeldAfter = desktop.x().isKeyHeld(shift);
    heldShift.release({QStringLiteral("shift")});

    const QStringList keys = other.keyLines();
    const QString controlState = QStringLiteral("state 4"); // ControlMask alone
    EXPECT_EQ(keys.filter(QRegularExpression(QStringLiteral("^key \\w+ %1 ").arg(w))),
              (QStringList{wPress + controlState, wRelease + controlState}))
        << keys.join(u'|').toStdString();
    // Shift was lifted before the chord, Control pressed for it, and Shift
    // pressed again after it, because the person still holds it.
    EXPECT_TRUE(inOrder(keys, {QStringLiteral("key press %1 state 0").arg(shift),
                               QStringLiteral("key release %1 state 1").arg(shift),
                               QStringLiteral("key press %1 state 0").arg(control),
                               wPress + controlState, wRelease + controlState,
                               QStringLiteral("key release %1 state 4").arg(control),
                               QStringLiteral("key press %1 state 0").arg(shift)}))
        << keys.join(u'|').toStdString();
    EXPECT_TRUE(shiftHeldAfter) << "Shift is down again after the chord";
    EXPECT_EQ(tabTitles(), QStringList{kWorkTitle}) << "the browser lost nothing more";
    EXPECT_FALSE(desktop.isViewable(*panel)) << "the panel went away";
    EXPECT_TRUE(service.requests(QStringLiteral("expand")).isEmpty());
    EXPECT_EQ(out().lines().count(QStringLiteral("[TabCloser] Sent Ctrl+W via XTest")), 2);
}

TEST_F(FocusSessionE2eTest, SwitchingAwayDuringTheQuestionCancelsItAndClosesNothing) {
    // The real service this time, its offline judge: the distracting window
    // is the test window, whose text cannot be read, so the user is asked.
    TestWindow distracting({QStringLiteral("--title"), kCatsTitle});
    // A listener on the port older versions used gets nothing from the app.
    QTcpServer oldPort;
    const bool holdsOldPort = oldPort.listen(QHostAddress::LocalHost, 48620);
    ASSERT_NO_FATAL_FAILURE(openBrowser(kChessTitle, QStringLiteral("<p>Chess</p>"), true));
    ASSERT_NO_FATAL_FAILURE(startSession(false));
    EXPECT_TRUE(out().waitForMatch(
        QRegularExpression(QStringLiteral("\\[CheckService\\] Started aimset-checkd on "
                                          "http://127\\.0\\.0\\.1:\\d+/check")),
        10000ms))
        << dump();
    ASSERT_TRUE(desktop.x().activateAndWait(distracting.id()));

    const auto startedLine = out().waitForMatch(
        QRegularExpression(QStringLiteral("\\[Intervention\\] Clarifying question shown: .* "
                                          "\\(total interventions: \\d+\\)")),
        20000ms);
    ASSERT_TRUE(startedLine) << dump();
    const auto startedAt = *out().arrivalOf(*startedLine);
    spinUntil([] { return false; }, 2000ms); // a person notices the warning

    ASSERT_TRUE(desktop.x().activateAndWait(browser));
    const QString dismissed =
        QStringLiteral("[Intervention] Auto-dismissed — user went back on track");
    ASSERT_TRUE(out().waitForLine(dismissed, 3000ms)) << dump();
    // The work window is then checked and found aligned: on the next slow
    // poll, or the one after when that poll first clears the intervention's
    // mark (an activation ends the intervention but leaves the mark).
    EXPECT_TRUE(out().waitForLine(QStringLiteral("[Alignment] ALIGNED: ") + kAimset +
                                      QStringLiteral(" ↔ ") + browserTitle(kWorkTitle),
                                  15000ms))
        << dump();

    // Past the moment the question would have timed out, nothing was closed.
    spinUntil([&] { return std::chrono::steady_clock::now() > startedAt + 32s; }, 35000ms);
    const QStringList lines = out().lines();
    EXPECT_TRUE(inOrder(lines, {QStringLiteral("[AppMonitor] Poll interval set to 0.5s"), dismissed,
                                QStringLiteral("[AppMonitor] Poll interval set to 5.0s")}))
        << dump();
    EXPECT_TRUE(lines.filter(QStringLiteral("[Intervention] Clarify timeout")).isEmpty());
    EXPECT_TRUE(lines.filter(QStringLiteral("[TabCloser]")).isEmpty()) << dump();
    EXPECT_EQ(tabTitles(), (QStringList{kChessTitle, kWorkTitle}));
    EXPECT_EQ(distracting.keyLines(), QStringList{}) << "no Control+W reached it";
    if (holdsOldPort) {
        EXPECT_FALSE(oldPort.hasPendingConnections() || oldPort.waitForNewConnection(100));
    }
}

TEST_F(FocusSessionE2eTest, SwitchingTabsInTheLastHalfSecondOfACountdownWithholdsControlW) {
    ASSERT_NO_FATAL_FAILURE(openBrowser(kCatsTitle, kCatsPage));
    ASSERT_NO_FATAL_FAILURE(startSession());
    ASSERT_TRUE(desktop.x().activateAndWait(browser));
    const auto startedLine = out().waitForMatch(
        QRegularExpression(QStringLiteral("\\[Intervention\\] Misaligned countdown started: ") +
                           QRegularExpression::escape(kCatsReason) +
                           QStringLiteral(" \\(total interventions: \\d+\\)")),
        20000ms);
    ASSERT_TRUE(startedLine) << dump();

    // Half a second before the countdown runs out the person goes to the
    // work tab: too late, perhaps, for a poll to notice, so Control+W would
    // close the wrong tab. The window in front is read again right before it.
    const auto startedAt = *out().arrivalOf(*startedLine);
    spinUntil([&] { return std::chrono::steady_clock::now() > startedAt + 14600ms; }, 20000ms);
    for (const auto& tab : chromium->tabs()) {
        if (tab.title == kWorkTitle) {
            chromium->activateTab(tab.id);
        }
    }
    const QRegularExpression ended(QStringLiteral(
        "^\\[Intervention\\] (Auto-dismissed — user went back on track|Countdown expired — the "
        "window in front changed, nothing closed)$"));
    ASSERT_TRUE(spinUntil([&] { return count(out().lines(), ended) == 1; }, 5000ms)) << dump();
    spinUntil([] { return false; }, 1000ms); // a key, had one been sent, would have arrived
    EXPECT_TRUE(out().lines().filter(QStringLiteral("[TabCloser]")).isEmpty()) << dump();
    EXPECT_EQ(tabTitles(), (QStringList{kCatsTitle, kWorkTitle}));
}

} // namespace
