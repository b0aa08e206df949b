// A focus session on GNOME under Wayland, end to end: the real app running
// natively on Wayland against Debian's GNOME Shell (headless, with Aimset's
// extension: run under tests/gnome/with-gnome-shell.sh), Chromium on Wayland,
// a scripted alignment service and the app's own standard output. Keys are
// typed through the shell's remote-desktop interface. This program is built
// under the name the extension answers, to ask it which window is in front.

#include "e2e/E2eDesktop.h"
#include "e2e/E2eExpectations.h"
#include "support/gnome/GnomeTestDesktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

#include <gtest/gtest.h>

using namespace aimset::e2e;
using aimset::test::GtkTestWindow;
using aimset::test::ShellKeyboard;
using aimset::test::spinUntil;

namespace {

const QString kAimset = QStringLiteral("Finish the quarterly report");
const QString kWorkTitle = QStringLiteral("Quarterly report draft");
const QString kCatsTitle = QStringLiteral("Funny cat videos");
const QString kCatsReason = QStringLiteral("Cat videos are not part of the quarterly report");
const QString kCatsWindow = kCatsTitle + QStringLiteral(" - Chromium");
const QString kNotesTitle = QStringLiteral("Quarterly report notes");

QJsonObject answer(const QJsonObject& request) {
    const QString mode = request.value(QStringLiteral("mode")).toString();
    if (mode == QStringLiteral("title")) {
        return {{QStringLiteral("aligned"),
                 !request.value(QStringLiteral("context")).toString().contains(kCatsTitle)}};
    }
    return {{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
            {QStringLiteral("reason"), kCatsReason}};
}

// The process whose window has the focus, as the shell's extension says.
qint64 focusedPid() {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
        QStringLiteral("org.aimset.Shell"), QStringLiteral("/org/aimset/Shell"),
        QStringLiteral("org.aimset.Shell1"), QStringLiteral("GetFocusedWindow")));
    return reply.arguments().size() == 5 ? reply.arguments()[3].toUInt() : 0;
}

// Chromium tells the accessibility bus its pages only when it is switched on.
bool switchOnAccessibility() {
    QDBusMessage set = QDBusMessage::createMethodCall(
        QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"));
    set.setArguments({QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                      QVariant::fromValue(QDBusVariant(true))});
    return QDBusConnection::sessionBus().call(set).type() == QDBusMessage::ReplyMessage;
}

TEST(GnomeSessionE2eTest, DistractingTabGetsItsCountdownSwitchingAwayCancelsAndThenItIsClosed) {
    ASSERT_TRUE(switchOnAccessibility());
    ShellKeyboard keyboard;
    ScriptedService service(answer);
    QProcessEnvironment gnome;
    gnome.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    gnome.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    // The app gets a runtime folder of its own: the display by its full path.
    gnome.insert(QStringLiteral("WAYLAND_DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR") +
                                                        QLatin1Char('/') +
                                                        qEnvironmentVariable("WAYLAND_DISPLAY"));
    AimsetApp app({service.checkURL(), {}, gnome});
    LineProcess& out = app.output();
    const auto dump = [&] { return out.lines().join(QLatin1Char('\n')).toStdString(); };
    ASSERT_TRUE(out.waitForLine(QStringLiteral("[GnomeShell] Connected to Aimset's GNOME Shell "
                                               "extension"),
                                30000ms))
        << dump();

    // The launch modal's field has the focus once the window has.
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == app.pid(); }, 30000ms)) << dump();
    spinUntil([] { return false; }, 500ms);
    keyboard.type(kAimset);
    keyboard.keysym(0xff0d); // Return
    ASSERT_TRUE(out.waitForLine(QStringLiteral("[AppMonitor] Started monitoring"), 10000ms))
        << dump();

    // The window the person switches to from the browser and back, Alt+Tab
    // and Alt+Tab again, with the countdown's panel shown above both.
    GtkTestWindow notes(QStringLiteral("aimset-test-window"), kNotesTitle);
    ASSERT_TRUE(notes.waitFor(QStringLiteral("focus-in")));
    const auto altTab = [&] {
        for (const auto& [code, down] : {std::pair{aimset::test::keyLeftAlt, true},
                                         {aimset::test::keyTab, true},
                                         {aimset::test::keyTab, false},
                                         {aimset::test::keyLeftAlt, false}}) {
            keyboard.key(code, down);
        }
    };

    QTemporaryDir pages;
    const QString work = writePage(pages, QStringLiteral("work.html"), kWorkTitle,
                                   QStringLiteral("<p>Revenue grew four percent.</p>"));
    const QString cats =
        writePage(pages, QStringLiteral("cats.html"), kCatsTitle,
                  QStringLiteral("<h1>Cats falling off sofas</h1><p>Ten minutes of cats.</p>"));
    Chromium chromium({work, cats}, {}, {QStringLiteral("--ozone-platform=wayland")});
    ASSERT_TRUE(chromium.waitForTabs(2, 60000ms));
    // Once the page has loaded (its tab has its title), brings its tab to the front.
    const auto showTab = [&](const QString& title) {
        return spinUntil(
            [&] {
                for (const auto& tab : chromium.tabs()) {
                    if (tab.title == title) {
                        chromium.activateTab(tab.id);
                        return true;
                    }
                }
                return false;
            },
            30000ms);
    };
    ASSERT_TRUE(showTab(kCatsTitle));

    const QRegularExpression started(QStringLiteral("\\[Intervention\\] Misaligned countdown "
                                                    "started: ") +
                                     QRegularExpression::escape(kCatsReason) +
                                     QStringLiteral(" \\(total interventions: \\d+\\)"));
    ASSERT_TRUE(out.waitForMatch(started, 30000ms)) << dump();
    const qint64 browserPid = focusedPid();

    // The person goes to their notes: the countdown ends, nothing is closed.
    altTab();
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == notes.pid(); }, 10000ms)) << dump();
    const QString dismissed =
        QStringLiteral("[Intervention] Auto-dismissed — user went back on track");
    ASSERT_TRUE(out.waitForLine(dismissed, 10000ms)) << dump();
    EXPECT_EQ(chromium.tabs().size(), 2);

    // Back to the cat videos: the countdown runs out and the tab is closed
    // through the shell.
    altTab();
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == browserPid; }, 10000ms)) << dump();
    const QString expired = QStringLiteral("[Intervention] Countdown expired — auto-closing tab");
    ASSERT_TRUE(out.waitForLine(expired, 40000ms)) << dump();
    ASSERT_TRUE(chromium.waitForTabs(1, 10000ms)) << dump();
    EXPECT_EQ(chromium.tabs().value(0).title, kWorkTitle);

    const QString browser = QStringLiteral("Chromium Web Browser");
    EXPECT_TRUE(inOrder(out.lines(),
                        {QStringLiteral("[AppMonitor] App: ") + browser +
                             QStringLiteral(" (chromium) | Window: ") + kCatsWindow,
                         QStringLiteral("[Alignment] MISALIGNED (confirmed by window text): ") +
                             kAimset + QStringLiteral(" ↔ ") + kCatsWindow,
                         dismissed,
                         QStringLiteral("[AppMonitor] Intervention window marked: ") + browser +
                             QStringLiteral(" | ") + kCatsWindow,
                         QStringLiteral("[TabCloser] Sent Ctrl+W via GNOME Shell"), expired}))
        << dump();
    EXPECT_EQ(count(out.lines(), started), 2) << dump();
}

} // namespace
