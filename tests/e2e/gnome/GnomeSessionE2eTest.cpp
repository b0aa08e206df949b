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
    const QDBusMessage reply = callSessionBus(u"org.aimset.Shell"_s, u"/org/aimset/Shell"_s,
                                              u"org.aimset.Shell1"_s, u"GetFocusedWindow"_s);
    return reply.arguments().size() == 5 ? reply.arguments()[3].toUInt() : 0;
}

TEST(GnomeSessionE2eTest, DistractingTabGetsItsCountdownSwitchingAwayCancelsAndThenItIsClosed) {
    // Chromium tells the accessibility bus its pages only when it is switched on.
    ASSERT_EQ(callSessionBus(
                  u"org.a11y.Bus"_s, u"/org/a11y/bus"_s, u"org.freedesktop.DBus.Properties"_s,
                  u"Set"_s,
                  {u"org.a11y.Status"_s, u"IsEnabled"_s, QVariant::fromValue(QDBusVariant(true))})
                  .type(),
              QDBusMessage::ReplyMessage);
    test::ShellKeyboard keyboard;
    ScriptedService service;
    QProcessEnvironment gnome;
    gnome.insert(u"XDG_SESSION_TYPE"_s, u"wayland"_s);
    gnome.insert(u"XDG_CURRENT_DESKTOP"_s, u"GNOME"_s);
    // The app gets a runtime folder of its own: the display by its full path.
    gnome.insert(u"WAYLAND_DISPLAY"_s, qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' +
                                           qEnvironmentVariable("WAYLAND_DISPLAY"));
    AimsetApp app({.checkURL = service.url(), .extra = gnome});
    ASSERT_TRUE(app.waitForLine(u"[GnomeShell] Connected to Aimset's GNOME Shell extension"_s, 30s))
        << app.dump();

    // The launch modal's field has the focus once the window has.
    ASSERT_TRUE(spinUntil([&] { return focusedPid() == app.pid(); }, 30s)) << app.dump();
    test::settle(500ms);
    keyboard.type(kAimset);
    keyboard.keysym(0xff0d); // Return
    ASSERT_TRUE(app.waitForLine(u"[AppMonitor] Started monitoring"_s)) << app.dump();

    // The window the person switches to from the browser and back, Alt+Tab
    // and Alt+Tab again, with the countdown's panel shown above both.
    test::GtkTestWindow notes(u"aimset-test-window"_s, u"Quarterly report notes"_s);
    ASSERT_TRUE(notes.waitFor(u"focus-in"_s));
    const auto altTab = [&] {
        keyboard.key(test::keyLeftAlt, true);
        keyboard.key(test::keyTab, true);
        keyboard.key(test::keyTab, false);
        keyboard.key(test::keyLeftAlt, false);
    };
    Chromium chromium(kCatsThenWork, nullptr, {u"--ozone-platform=wayland"_s});
    ASSERT_TRUE(chromium.waitForTabs(2, 60s));
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
    ASSERT_TRUE(app.waitForLine(u"[TabCloser] Sent Ctrl+W via GNOME Shell"_s, 25s)) << app.dump();
    ASSERT_TRUE(chromium.waitForTabs(1, 10s)) << app.dump();
    EXPECT_EQ(chromium.tabTitles(), QStringList{kWorkTitle});
    const QString window = kCatsTitle + u" - Chromium"_s;
    EXPECT_TRUE(inOrder(
        app.lines(),
        {u"[AppMonitor] App: %1 (chromium) | Window: %2"_s.arg(kBrowserName, window),
         u"[Alignment] MISALIGNED (confirmed by window text): %1 ↔ %2"_s.arg(kAimset, window)}))
        << app.dump();
}

} // namespace
