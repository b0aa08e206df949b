#include "Platform/Linux/DesktopEntries.h"
#include "Platform/Linux/ActivationTracker.h"
#include "Platform/Linux/LinuxAppLists.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;

namespace {

void write(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(contents);
}

struct DesktopEntriesTest : ::testing::Test {
    QTemporaryDir home;
    QTemporaryDir system;

    DesktopEntries load() { return DesktopEntries::load({home.path(), system.path()}); }
};

TEST_F(DesktopEntriesTest, MatchesByStartupClassThenIdThenProgram) {
    write(system.filePath(QStringLiteral("applications/org.gnome.Terminal.desktop")),
          "[Desktop Entry]\nName=Terminal\nExec=gnome-terminal --window\nType=Application\n"
          "StartupWMClass=Gnome-terminal\n[Desktop Action new]\nName=New Window\n");
    write(system.filePath(QStringLiteral("applications/org.gnome.Nautilus.desktop")),
          "[Desktop Entry]\nName=Files\nExec=nautilus --new-window %U\n");
    write(system.filePath(QStringLiteral("applications/firefox-esr.desktop")),
          "[Desktop Entry]\nName=Firefox ESR\nExec=/usr/lib/firefox-esr/firefox-esr %u\n");
    write(system.filePath(QStringLiteral("applications/kde/org.kde.kate.desktop")),
          "# comment\n[Desktop Entry]\nName=Kate\nExec=env QT_X=1 kate -b %U\n");
    const DesktopEntries entries = load();
    ASSERT_EQ(entries.entries().size(), 4u);

    const auto terminal =
        entries.match(QStringLiteral("gnome-terminal-server"), QStringLiteral("Gnome-terminal"));
    ASSERT_TRUE(terminal);
    EXPECT_EQ(terminal->id, QStringLiteral("org.gnome.Terminal"));
    EXPECT_EQ(terminal->name, QStringLiteral("Terminal"));

    const auto files =
        entries.match(QStringLiteral("org.gnome.Nautilus"), QStringLiteral("org.gnome.Nautilus"));
    ASSERT_TRUE(files);
    EXPECT_EQ(files->name, QStringLiteral("Files"));
    // The last dotted part of an id matches a short class.
    EXPECT_EQ(entries.match(QString(), QStringLiteral("nautilus"))->id,
              QStringLiteral("org.gnome.Nautilus"));

    // A profile path in the instance does not get in the way of the class.
    const auto firefox =
        entries.match(QStringLiteral("/home/u/.mozilla/profile"), QStringLiteral("firefox-esr"));
    ASSERT_TRUE(firefox);
    EXPECT_EQ(firefox->id, QStringLiteral("firefox-esr"));

    const auto kate = entries.match(QStringLiteral("kate"), QStringLiteral("kate"));
    ASSERT_TRUE(kate);
    EXPECT_EQ(kate->id, QStringLiteral("kde-org.kde.kate"));

    EXPECT_FALSE(entries.match(QStringLiteral("unknown"), QStringLiteral("Unknown")));
    EXPECT_FALSE(entries.match(QString(), QString()));
}

TEST_F(DesktopEntriesTest, EarlierDirectoriesWinAndHiddenOrBrokenEntriesAreSkipped) {
    write(home.filePath(QStringLiteral("applications/editor.desktop")),
          "[Desktop Entry]\nName=My Editor\nExec=editor\n");
    write(system.filePath(QStringLiteral("applications/editor.desktop")),
          "[Desktop Entry]\nName=Editor\nExec=editor\n");
    write(system.filePath(QStringLiteral("applications/gone.desktop")),
          "[Desktop Entry]\nName=Gone\nExec=gone\nHidden=true\n");
    write(system.filePath(QStringLiteral("applications/link.desktop")),
          "[Desktop Entry]\nName=Link\nType=Link\nURL=https://example.org\n");
    write(system.filePath(QStringLiteral("applications/garbage.desktop")),
          QByteArray("\xff\xfe\x00 no entry here", 18));
    const DesktopEntries entries = load();
    ASSERT_EQ(entries.entries().size(), 1u);
    EXPECT_EQ(entries.match(QString(), QStringLiteral("editor"))->name,
              QStringLiteral("My Editor"));
    EXPECT_FALSE(entries.match(QString(), QStringLiteral("gone")));
}

TEST(ActivationTrackerTest, OneActivationPerApplicationIgnoringTheTransientNone) {
    ActivationTracker tracker;
    EXPECT_TRUE(tracker.activeWindowChanged(0x100, 10));
    EXPECT_FALSE(tracker.activeWindowChanged(0, 0));      // between two windows
    EXPECT_FALSE(tracker.activeWindowChanged(0x101, 10)); // another window, same process
    EXPECT_TRUE(tracker.activeWindowChanged(0x200, 20));
    EXPECT_FALSE(tracker.activeWindowChanged(0x200, 20));
    // Without a process id, each window stands for its own application.
    EXPECT_TRUE(tracker.activeWindowChanged(0x300, 0));
    EXPECT_FALSE(tracker.activeWindowChanged(0x300, 0));
    EXPECT_TRUE(tracker.activeWindowChanged(0x301, 0));
    EXPECT_TRUE(tracker.activeWindowChanged(0x100, 10));
}

// The app never judges itself, and never reads a password manager.
TEST(LinuxAppListsTest, AimsetIsAlwaysAllowedAndPasswordManagersAreKnown) {
    const PlatformAppLists lists = linuxAppLists();
    EXPECT_TRUE(lists.alwaysAllowedIDs.contains(QStringLiteral("aimset")));
    EXPECT_TRUE(lists.passwordManagerIDs.contains(QStringLiteral("org.keepassxc.KeePassXC")));
}

} // namespace
