// A focus session on GNOME under Wayland, end to end: the real app running
// natively on Wayland against Debian's GNOME Shell (headless, with Aimset's
// extension: run under tests/gnome/with-gnome-shell.sh), Chromium on Wayland,
// a scripted alignment service and the app's own standard output. Keys are
// typed through the shell's remote-desktop interface. This program is built
// under the name the extension answers, to ask it which window is in front.

#include "e2e/E2eDesktop.h"
#include "support/gnome/GnomeTestDesktop.h"

#include <QDBusVariant>

#include <gtest/gtest.h>

using namespace aimset::e2e;
namespace test = aimset::test;

namespace {

using test::callSessionBus;

// The process whose window has the focus, as the shell's extension says.
qint64 focusedPid() {
    const QDBusMessage reply =
        callSessionBus(QStringLiteral("org.aimset.Shell"), QStringLiteral("/org/aimset/Shell"),
                       QStringLiteral("org.aimset.Shell1"), QStringLiteral("GetFocusedWindow"));
    return reply.arguments().size() == 5 ? reply.arguments()[3].toUInt() : 0;
}

TEST(GnomeSessionE2eTest, DistractingTabGetsItsCountdownSwitchingAwayCancelsAndThenItIsClosed) {
    // Chromium tells the accessibility bus its pages only when it is switched on.
    ASSERT_EQ(callSessionBus(QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                             QStringLiteral("org.freedesktop.DBus.Properties"),
                             QStringLiteral("Set"),
                             {QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"),
                              QVariant::fromValue(QDBusVariant(true))})
                  .type(),
              QDBusMessage::ReplyMessage);
    test::ShellKeyboard keyboard;
    ScriptedService service;
    QProcessEnvironment gnome;
    gnome.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    gnome.insert(QStringLiteral("XDG_CURRENT_DESKTOP"), QStringLiteral("GNOME"));
    // The app gets a runtime folder of its own: the display by its full path.
    gnome.insert(QStringLiteral("WAYLAND_DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR") +
                                                        QLatin1Char('/') +
                                                        qEnvironmentVariable("WAYLAND_DISPLAY"));
    AimsetApp app({.checkURL = service.url(), .extra = gnome});
    ASSERT_TRUE(app.waitForLine(
        QStringLiteral("[GnomeShell] Connected to Aimset's GNOME Shell extension"), 30s))
        << app.dump();

    // The launch modal's field has the focus once the window has.
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == app.pid(); }, 30s)) << app.dump();
    spinUntil([] { return false; }, 500ms);
    keyboard.type(kAimset);
    keyboard.keysym(0xff0d); // Return
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[AppMonitor] Started monitoring"))) << app.dump();

    // The window the person switches to from the browser and back, Alt+Tab
    // and Alt+Tab again, with the countdown's panel shown above both.
    test::GtkTestWindow notes(QStringLiteral("aimset-test-window"),
                              QStringLiteral("Quarterly report notes"));
    ASSERT_TRUE(notes.waitFor(QStringLiteral("focus-in")));
    const auto altTab = [&] {
        for (const auto& [code, down] : {std::pair{test::keyLeftAlt, true},
                                         {test::keyTab, true},
                                         {test::keyTab, false},
                                         {test::keyLeftAlt, false}}) {
            keyboard.key(code, down);
        }
    };
    QTemporaryDir pages;
    Chromium chromium({writePage(pages, QStringLiteral("work.html"), kWorkTitle,
                                 QStringLiteral("<p>Revenue grew four percent.</p>")),
                       writePage(pages, QStringLiteral("cats.html"), kCatsTitle, kCatsPage)},
                      nullptr, {QStringLiteral("--ozone-platform=wayland")});
    ASSERT_TRUE(chromium.waitForTabs(2, 60s));
    ASSERT_TRUE(chromium.showTab(kCatsTitle));
    ASSERT_TRUE(app.waitFor(kCatsCountdown, 30s)) << app.dump();
    const qint64 browserPid = focusedPid();

    // The person goes to their notes: the countdown ends, nothing is closed.
    altTab();
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == notes.pid(); })) << app.dump();
    ASSERT_TRUE(app.waitForLine(kDismissed)) << app.dump();
    EXPECT_EQ(chromium.tabTitles().size(), 2);

    // Back to the cat videos: the countdown runs out and the tab is closed
    // through the shell.
    altTab();
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == browserPid; })) << app.dump();
    ASSERT_TRUE(app.waitFor(kCatsCountdown, 30s)) << app.dump();
    ASSERT_TRUE(app.waitForLine(QStringLiteral("[TabCloser] Sent Ctrl+W via GNOME Shell"), 25s))
        << app.dump();
    ASSERT_TRUE(app.waitForLine(kCountdownExpired)) << app.dump();
    ASSERT_TRUE(chromium.waitForTabs(1, 10s)) << app.dump();
    EXPECT_EQ(chromium.tabTitles(), QStringList{kWorkTitle});
    const QString window = kCatsTitle + QStringLiteral(" - Chromium");
    EXPECT_TRUE(inOrder(app.lines(), {QStringLiteral("[AppMonitor] App: ") + kBrowserName +
                                          QStringLiteral(" (chromium) | Window: ") + window,
                                      QStringLiteral("[Alignment] MISALIGNED (confirmed by "
                                                     "window text): ") +
                                          kAimset + QStringLiteral(" ↔ ") + window}))
        << app.dump();
}

} // namespace
