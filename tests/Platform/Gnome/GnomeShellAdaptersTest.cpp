// The GNOME adapters against Debian's GNOME Shell running headless with
// Aimset's extension (run under tests/gnome/with-gnome-shell.sh): the shell's
// signals become the ports' states and calls. This program is built under
// the name "aimset", the only one the extension answers.

#include "Platform/Gnome/GnomeShell.h"
#include "support/LogCapture.h"
#include "support/gnome/GnomeTestDesktop.h"
#include "support/x11/X11TestDesktop.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace aimset::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

bool switchUserExtensions(bool on) {
    return run(u"gsettings"_s, {u"set"_s, u"org.gnome.shell"_s, u"disable-user-extensions"_s,
                                on ? u"false"_s : u"true"_s})
        .has_value();
}

struct GnomeShellAdaptersTest : ::testing::Test {
    LogCapture log;
    GnomeShell shell;
    ShellKeyboard keyboard;
    QStringList activations;
    QStringList chordChanges;

    void SetUp() override {
        shell.addActivationObserver(
            [this](const std::optional<RunningApplication>& app) { activations << describe(app); });
        ASSERT_TRUE(shell.watch([this] { chordChanges << u"down"_s; },
                                [this] { chordChanges << u"up"_s; }));
        shell.start();
        ASSERT_TRUE(spinUntil([&] { return shell.isRegistered(); }, 10s))
            << log.lines().join(u'\n').toStdString();
    }
};

// (Control+W through the shell is checked end to end, closing a real tab;
// the voice chord below, after the extension came back.)
TEST_F(GnomeShellAdaptersTest, TheWindowInFrontAndItsTitleFollowTheShell) {
    GtkTestWindow first(u"aimset-test-window"_s, u"Brouillon"_s);
    ASSERT_TRUE(first.waitUntilFocused(keyboard)) << first.lines().join(u'|').toStdString();
    auto second = std::make_unique<GtkTestWindow>(u"org.aimset.Unlisted"_s, u"Second"_s);
    ASSERT_TRUE(second->waitUntilFocused(keyboard));
    const auto secondPid = static_cast<std::int32_t>(second->pid());
    const QString secondApp = u"org.aimset.Unlisted (org.aimset.Unlisted) %1"_s.arg(secondPid);
    second->tell(u"title Second renamed"_s);
    ASSERT_TRUE(
        spinUntil([&] { return shell.focusedWindowTitle(secondPid) == u"Second renamed"_s; }));
    EXPECT_EQ(describe(shell.frontmostApplication()), secondApp);
    // A window behind is not asked about.
    EXPECT_EQ(shell.focusedWindowTitle(static_cast<std::int32_t>(first.pid())), std::nullopt);
    first.tell(u"title Brouillon — 集中 ✓"_s);
    first.tell(u"sync"_s);
    ASSERT_TRUE(first.waitFor(u"synced"_s));
    // Nor is its new title taken for the one in front.
    EXPECT_EQ(shell.focusedWindowTitle(secondPid), u"Second renamed"_s);

    // The first comes back to the front with the title it took meanwhile.
    second.reset();
    ASSERT_TRUE(spinUntil([&] { return activations.size() == 3; }));
    const QString firstApp = u"Aimset Test Window (aimset-test-window) %1"_s.arg(first.pid());
    // One activation per switch; a title change is none.
    EXPECT_EQ(activations, (QStringList{firstApp, secondApp, firstApp}));
    EXPECT_EQ(shell.focusedWindowTitle(static_cast<std::int32_t>(first.pid())),
              u"Brouillon — 集中 ✓"_s);
}

// Switched off, the extension leaves the bus: nothing is sent, one line says
// why; switched on again (as onboarding does), the app is its client again.
// With extensions switched off as a whole, enabling it cannot help: the shell
// says so, and so does the app, instead of asking for a login.
TEST_F(GnomeShellAdaptersTest, AnExtensionSwitchedOffIsFollowedUnlessTheShellKeepsItOff) {
    EXPECT_EQ(shell.state(), DesktopExtension::State::running);
    log.clear();
    ASSERT_TRUE(run(u"gnome-extensions"_s, {u"disable"_s, GnomeShell::uuid}));
    ASSERT_TRUE(spinUntil([&] { return shell.state() == DesktopExtension::State::off; }));
    EXPECT_EQ(shell.closeFrontTab(), FrontTabCloser::Result::unreachable);

    std::optional<DesktopExtension::State> enabled;
    shell.enable([&](DesktopExtension::State state) { enabled = state; });
    ASSERT_TRUE(spinUntil([&] { return enabled.has_value(); }, 10s));
    EXPECT_EQ(enabled, DesktopExtension::State::running);
    EXPECT_TRUE(shell.isRegistered());
    EXPECT_EQ(log.lines(),
              (QStringList{u"[GnomeShell] Aimset's GNOME Shell extension is not running, so "
                           u"sessions cannot watch windows: enable it with \u201Cgnome-extensions "
                           u"enable aimset@aimset.invalid\u201D, and log out and in once if it was "
                           u"installed since you logged in"_s,
                           u"[GnomeShell] Connected to Aimset's GNOME Shell extension"_s}));
    // Whatever the first run left connected would report twice; Alt+M, watched
    // since before, is still heard and still reaches the window in front.
    const qsizetype switches = activations.size();
    GtkTestWindow window(u"aimset-test-window"_s, u"Again"_s);
    ASSERT_TRUE(window.waitUntilFocused(keyboard));
    for (const auto& [code, down] :
         {std::pair{keyLeftAlt, true}, {keyM, true}, {keyM, false}, {keyLeftAlt, false}}) {
        keyboard.key(code, down);
    }
    ASSERT_TRUE(window.waitFor(u"release Alt_L Alt"_s));
    // The title comes after the keys, and so does its signal.
    window.tell(u"title Again renamed"_s);
    const auto pid = static_cast<std::int32_t>(window.pid());
    ASSERT_TRUE(spinUntil([&] { return shell.focusedWindowTitle(pid) == u"Again renamed"_s; }));
    EXPECT_EQ(chordChanges, (QStringList{u"down"_s, u"up"_s}));
    EXPECT_EQ(activations.size(), switches + 1);
    const QStringList keys = window.lines();
    EXPECT_EQ(keys.mid(keys.indexOf(u"press Alt_L -"_s)),
              (QStringList{u"press Alt_L -"_s, u"press m Alt"_s, u"release m Alt"_s,
                           u"release Alt_L Alt"_s}));

    ASSERT_TRUE(switchUserExtensions(false));
    ASSERT_TRUE(spinUntil([&] { return shell.state() == DesktopExtension::State::off; }));
    log.clear();
    enabled.reset();
    shell.enable([&](DesktopExtension::State state) { enabled = state; });
    ASSERT_TRUE(spinUntil([&] { return enabled.has_value(); }, 10s));
    EXPECT_EQ(enabled, DesktopExtension::State::unavailable);
    EXPECT_EQ(log.lines(),
              QStringList{u"[GnomeShell] GNOME Shell did not start Aimset's extension: "
                          u"switch extensions on in GNOME's Extensions app"_s});
    ASSERT_TRUE(switchUserExtensions(true));
    EXPECT_TRUE(spinUntil([&] { return shell.isRegistered(); }));
}

} // namespace
