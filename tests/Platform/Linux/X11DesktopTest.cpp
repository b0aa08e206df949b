// The desktop as the app reads it, on a real X server with a window manager
// (the test command provides both: scripts/with-desktop.sh): the window in
// front, the desktop entries that name its application, Alt+M, and Control+W.

#include "Platform/Linux/DesktopEntries.h"
#include "Platform/Linux/LinuxAppLists.h"
#include "Platform/Linux/X11FrontTabCloser.h"
#include "Platform/Linux/X11VoiceChord.h"
#include "Platform/Linux/X11Workspace.h"
#include "support/QtPrinters.h"
#include "support/x11/X11TestDesktop.h"

#include <QScopeGuard>
#include <QTemporaryDir>

#include <gmock/gmock.h>

#include <map>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::TestWindow;
using test::writeFile;

namespace {

// Entries of earlier folders win; hidden, link and unreadable ones are skipped.
TEST(DesktopEntriesTest, MatchesByStartupClassThenIdThenProgram) {
    QTemporaryDir home;
    QTemporaryDir system;
    const QString apps = system.path() + u"/applications/"_s;
    writeFile(apps + u"org.gnome.Terminal.desktop"_s,
              "[Desktop Entry]\nName=Terminal\nExec=gnome-terminal --window\nType=Application\n"
              "StartupWMClass=Gnome-terminal\n[Desktop Action new]\nName=New Window\n");
    writeFile(apps + u"org.gnome.Nautilus.desktop"_s,
              "[Desktop Entry]\nName=Files\nExec=nautilus --new-window %U\n");
    writeFile(apps + u"firefox-esr.desktop"_s,
              "[Desktop Entry]\nName=Firefox ESR\nExec=/usr/lib/firefox-esr/firefox-esr %u\n");
    writeFile(apps + u"kde/org.kde.kate.desktop"_s,
              "# comment\n[Desktop Entry]\nName=Kate\nExec=env QT_X=1 kate -b %U\n");
    writeFile(home.filePath(u"applications/editor.desktop"_s),
              "[Desktop Entry]\nName=My Editor\nExec=editor\n");
    writeFile(apps + u"editor.desktop"_s, "[Desktop Entry]\nName=Editor\nExec=editor\n");
    writeFile(apps + u"gone.desktop"_s, "[Desktop Entry]\nName=Gone\nExec=gone\nHidden=true\n");
    writeFile(apps + u"link.desktop"_s,
              "[Desktop Entry]\nName=Link\nType=Link\nURL=https://a.org\n");
    writeFile(apps + u"garbage.desktop"_s, QByteArray("\xff\xfe\x00 no entry here", 18));
    const DesktopEntries entries = DesktopEntries::load({home.path(), system.path()});
    // The window's instance and class, and the entry they name.
    const char* const rows[][3] = {
        {"gnome-terminal-server", "Gnome-terminal", "org.gnome.Terminal: Terminal"},
        {"org.gnome.Nautilus", "org.gnome.Nautilus", "org.gnome.Nautilus: Files"},
        // The last dotted part of an id matches a short class.
        {"", "nautilus", "org.gnome.Nautilus: Files"},
        // A profile path in the instance does not get in the way of the class.
        {"/home/u/.mozilla/profile", "firefox-esr", "firefox-esr: Firefox ESR"},
        {"kate", "kate", "kde-org.kde.kate: Kate"},
        {"", "editor", "editor: My Editor"},
        {"", "gone", ""},
        {"", "link", ""},
        {"", "garbage", ""},
        {"unknown", "Unknown", ""},
        {"", "", ""},
    };
    for (const auto& [instance, windowClass, named] : rows) {
        const auto entry =
            entries.match(QString::fromLatin1(instance), QString::fromLatin1(windowClass));
        EXPECT_EQ(entry ? entry->id + u": "_s + entry->name : QString(),
                  QString::fromLatin1(named));
    }
}

TEST(ActivationTrackerTest, OneActivationPerApplicationIgnoringTheTransientNone) {
    ActivationTracker tracker;
    EXPECT_TRUE(tracker.activeWindowChanged(0x100, 10));
    EXPECT_FALSE(tracker.activeWindowChanged(0, 0));      // between two windows
    EXPECT_FALSE(tracker.activeWindowChanged(0x101, 10)); // another window, same process
    EXPECT_TRUE(tracker.activeWindowChanged(0x200, 20));
    // Without a process id, each window stands for its own application.
    EXPECT_TRUE(tracker.activeWindowChanged(0x300, 0));
    EXPECT_FALSE(tracker.activeWindowChanged(0x300, 0));
    EXPECT_TRUE(tracker.activeWindowChanged(0x301, 0));
    EXPECT_TRUE(tracker.activeWindowChanged(0x100, 10));
}

// The app never judges itself, and never reads a password manager.
TEST(LinuxAppListsTest, AimsetIsAlwaysAllowedAndPasswordManagersAreKnown) {
    const PlatformAppLists lists = linuxAppLists();
    EXPECT_TRUE(lists.alwaysAllowedIDs.contains(u"aimset"_s));
    EXPECT_TRUE(lists.passwordManagerIDs.contains(u"org.keepassxc.KeePassXC"_s));
    EXPECT_FALSE(lists.alwaysAllowedIDs.contains(QString()) ||
                 lists.passwordManagerIDs.contains(QString()));
}

using test::X11DesktopTest;

// What the window says of itself, in the newer properties or in the older
// ones; without _NET_WM_PID the X server knows the client's process. Each
// switch to another application is announced once; a title change never is.
TEST_F(X11DesktopTest, TheWorkspaceReadsTheFrontWindowExactlyAndAnnouncesEachSwitchOnce) {
    QTemporaryDir data;
    writeFile(data.filePath(u"applications/org.example.Writer.desktop"_s),
              "[Desktop Entry]\nName=Example Writer\nExec=writer\nStartupWMClass=ExWriter\n");
    const auto workspace = openOnX<X11Workspace>(DesktopEntries::load({data.path()}));
    ASSERT_TRUE(workspace);
    TestWindow writer({u"--title"_s, u"Q3 report \u2014 draft \u00e9\U0001F4C8"_s, u"--instance"_s,
                       u"writer"_s, u"--class"_s, u"ExWriter"_s, u"--pid"_s, u"4321"_s});
    TestWindow plain({u"--title"_s, u"Plain caf\u00e9"_s, u"--legacy-title"_s, u"1"_s,
                      u"--instance"_s, u"/home/u/profile"_s, u"--class"_s, u"Plainapp"_s,
                      u"--pid"_s, u"0"_s});
    QStringList names;
    const auto token =
        workspace->addActivationObserver([&](const std::optional<RunningApplication>& app) {
            names << (app ? app->localizedName.value_or(u"?"_s) : u"none"_s);
        });
    const auto front = [&](const TestWindow& window) -> QString {
        EXPECT_TRUE(desktop.activateAndWait(window.id()));
        const auto app = workspace->frontmostApplication();
        return test::describe(app) + u": "_s +
               workspace->focusedWindowTitle(app ? app->processIdentifier : 0).value_or(u"?"_s);
    };
    EXPECT_EQ(
        front(writer),
        u"Example Writer (org.example.Writer) 4321: Q3 report \u2014 draft \u00e9\U0001F4C8"_s);
    EXPECT_EQ(workspace->focusedWindowTitle(1), std::nullopt);
    // The window manager may move the focus on its own while new windows
    // map (more so on a loaded machine), so what is asserted is what the
    // user sees: each switch to another application is announced, once.
    test::spinUntil([&] { return names.value(names.size() - 1) == u"Example Writer"_s; }, 1000ms);
    names.clear();
    EXPECT_EQ(front(plain), u"Plainapp (Plainapp) %1: Plain caf\u00e9"_s.arg(plain.processId()));
    ASSERT_TRUE(test::spinUntil([&] { return names.value(names.size() - 1) == u"Plainapp"_s; }));
    test::settle();
    EXPECT_EQ(names.count(u"Plainapp"_s), 1) << names.join(u',').toStdString();
    EXPECT_EQ(names.last(), u"Plainapp"_s);
    for (qsizetype i = 1; i < names.size(); ++i) {
        EXPECT_NE(names[i], names[i - 1]) << "the same application announced twice in a row";
    }

    // The title is read afresh after a change (it shares a frontmost read
    // only within one turn of the loop), which announces nothing.
    const auto announced = names.size();
    ASSERT_TRUE(workspace->frontmostApplication());
    plain.setTitle(u"Plain, renamed"_s);
    test::settle();
    EXPECT_EQ(workspace->focusedWindowTitle(static_cast<std::int32_t>(plain.processId())),
              u"Plain, renamed"_s);
    workspace->removeActivationObserver(token);
    ASSERT_TRUE(desktop.activateAndWait(writer.id()));
    test::settle();
    EXPECT_EQ(names.size(), announced);
}

constexpr std::uint8_t kAltL = 64;
constexpr std::uint8_t kM = 58;

// Presses (+) and releases (-) of left Alt (A), right Alt (R), Shift (S), M
// and N in; the chord's changes out.
TEST(AltMTrackerTest, FollowsTheChordThroughRawKeys) {
    const std::map<QChar, std::uint8_t> codes{
        {u'A', kAltL}, {u'R', 108}, {u'S', 50}, {u'M', kM}, {u'N', 57}};
    const auto changes = [&](AltMTracker tracker, const QString& keys) {
        QStringList seen;
        for (const QString& key : keys.split(u' ')) {
            if (const auto change = tracker.apply(codes.at(key[1]), key[0] == u'+')) {
                seen << (*change ? u"down"_s : u"up"_s);
            }
        }
        return seen.join(u' ');
    };
    // What is pressed, and the chord's changes.
    const std::tuple<const char*, QString, QString> cases[] = {
        {"Alt then M, M let go first", u"+A +M -M -A"_s, u"down up"_s},
        {"Alt let go first", u"+A +M -A -M"_s, u"down up"_s},
        {"M before Alt is no chord", u"+M +A -M -A"_s, {}},
        {"M alone, N with Alt", u"+M -M +A +N"_s, {}},
        {"other modifiers do not matter", u"+S +A +M -S -M"_s, u"down up"_s},
        {"the right Alt joining in and leaving changes nothing", u"+A +M +R -R -A"_s, u"down up"_s},
        {"a release that arrives twice is no second change", u"+A +M -A -A -M"_s, u"down up"_s},
        {"M again while Alt is still held", u"+A +M -M +M +M"_s, u"down up down"_s},
    };
    for (const auto& [name, keys, expected] : cases) {
        EXPECT_EQ(changes(AltMTracker(), keys), expected) << name;
    }
    // The server's modifier map decides which keys are Alt.
    EXPECT_EQ(changes(AltMTracker({50}), u"+S +M"_s), u"down"_s);
}

TEST_F(X11DesktopTest, HeldAltMIsOneDownAndOneUpAndTheWindowStillGetsTheKeys) {
    auto chord = openOnX<X11VoiceChord>();
    ASSERT_TRUE(chord);
    QStringList changes;
    ASSERT_TRUE(chord->watch([&] { changes << u"down"_s; }, [&] { changes << u"up"_s; }));
    const auto altM = [&](bool held) {
        desktop.fakeKey(kAltL, true);
        desktop.fakeKey(kM, true);
        // Long enough for the server's auto-repeat to start.
        test::settle(held ? 1500ms : 0ms);
        desktop.fakeKey(kAltL, false); // Alt let go first
        desktop.fakeKey(kM, false);
        test::settle(held ? 100ms : 200ms);
    };

    TestWindow window({u"--title"_s, u"Typing here"_s});
    ASSERT_TRUE(desktop.activateAndWait(window.id()));
    altM(true);
    ASSERT_TRUE(test::spinUntil([&] { return changes.size() >= 2; }));
    EXPECT_EQ(changes, (QStringList{u"down"_s, u"up"_s}));
    // The focused window received the keys: nothing was taken from it.
    test::spinUntil([&] { return window.keyLines().size() >= 4; });
    EXPECT_THAT(window.keyLines(),
                testing::IsSupersetOf({u"key press 64 state 0"_s, u"key press 58 state 8"_s,
                                       u"key release 58 state 0"_s}));

    // Unwatched, the chord reports nothing.
    chord->unwatch();
    altM(false);
    EXPECT_EQ(changes.size(), 2);
}

// The user already holds Control: the closer adds only W, and Control stays
// down in the user's hand afterwards.
TEST_F(X11DesktopTest, WithControlHeldTheCloserSendsOnlyWAndLeavesControlDown) {
    constexpr std::uint8_t kControlL = 37;
    auto closer = openOnX<X11FrontTabCloser>();
    ASSERT_TRUE(closer);
    TestWindow window({u"--title"_s, u"A tab"_s});
    ASSERT_TRUE(desktop.activateAndWait(window.id()));
    desktop.fakeKey(kControlL, true);
    const auto letGo = qScopeGuard([&] { desktop.fakeKey(kControlL, false); });
    // A round trip on the same connection: the server has Control down before
    // the closer, on its own connection, looks at the keyboard.
    ASSERT_TRUE(desktop.isKeyHeld(kControlL));
    EXPECT_EQ(closer->closeFrontTab(), FrontTabCloser::Result::sent);
    const QStringList expected = {u"key press 37 state 0"_s, u"key press 25 state 4"_s,
                                  u"key release 25 state 4"_s};
    test::spinUntil([&] { return window.keyLines().size() >= expected.size(); });
    test::settle(200ms); // and nothing lets go of Control after that
    EXPECT_EQ(window.keyLines(), expected);
    EXPECT_TRUE(desktop.isKeyHeld(kControlL));
}

} // namespace
