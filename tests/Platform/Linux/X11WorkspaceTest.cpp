#include "Platform/Linux/X11Workspace.h"
#include "support/QtPrinters.h"
#include "support/x11/X11TestDesktop.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace aimset;
using test::TestWindow;

namespace {

// These run on a real X server with a window manager; the test command
// provides both (scripts/with-desktop.sh).
struct X11WorkspaceTest : ::testing::Test {
    test::X11TestDesktop desktop;
    QTemporaryDir data;
    std::unique_ptr<X11Workspace> workspace;

    void SetUp() override {
        ASSERT_TRUE(desktop.available())
            << "needs an X display with a window manager: run through scripts/with-desktop.sh";
        QDir().mkpath(data.filePath(QStringLiteral("applications")));
        QFile entry(data.filePath(QStringLiteral("applications/org.example.Writer.desktop")));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nName=Example Writer\nExec=writer\nStartupWMClass=ExWriter\n");
        entry.close();
        workspace = X11Workspace::create(DesktopEntries::load({data.path()}));
        ASSERT_TRUE(workspace);
    }
};

TEST_F(X11WorkspaceTest, FrontmostApplicationAndTitleAreReadExactly) {
    TestWindow writer(
        {QStringLiteral("--title"), QStringLiteral("Q3 report \u2014 draft \u00e9\U0001F4C8"),
         QStringLiteral("--instance"), QStringLiteral("writer"), QStringLiteral("--class"),
         QStringLiteral("ExWriter"), QStringLiteral("--pid"), QStringLiteral("4321")});
    ASSERT_TRUE(desktop.activateAndWait(writer.id()));
    const auto app = workspace->frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->localizedName, std::optional<QString>(QStringLiteral("Example Writer")));
    EXPECT_EQ(app->bundleIdentifier, std::optional<QString>(QStringLiteral("org.example.Writer")));
    EXPECT_EQ(app->processIdentifier, 4321);
    EXPECT_EQ(workspace->focusedWindowTitle(4321),
              std::optional<QString>(QStringLiteral("Q3 report \u2014 draft \u00e9\U0001F4C8")));
    EXPECT_EQ(workspace->focusedWindowTitle(1), std::nullopt);

    // The title shares the frontmost read only within one turn of the loop.
    ASSERT_TRUE(workspace->frontmostApplication());
    writer.setTitle(QStringLiteral("Q3 report \u2014 final"));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(workspace->focusedWindowTitle(4321),
              std::optional<QString>(QStringLiteral("Q3 report \u2014 final")));
}

TEST_F(X11WorkspaceTest, FallsBackToTheWindowClassTheLegacyTitleAndTheClientPid) {
    TestWindow plain({QStringLiteral("--title"), QStringLiteral("Plain caf\u00e9"),
                      QStringLiteral("--legacy-title"), QStringLiteral("1"),
                      QStringLiteral("--instance"), QStringLiteral("/home/u/profile"),
                      QStringLiteral("--class"), QStringLiteral("Plainapp"),
                      QStringLiteral("--pid"), QStringLiteral("0")});
    ASSERT_TRUE(desktop.activateAndWait(plain.id()));
    const auto app = workspace->frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->localizedName, std::optional<QString>(QStringLiteral("Plainapp")));
    EXPECT_EQ(app->bundleIdentifier, std::optional<QString>(QStringLiteral("Plainapp")));
    // No _NET_WM_PID: the X server knows the client's process.
    EXPECT_EQ(app->processIdentifier, plain.processId());
    EXPECT_EQ(workspace->focusedWindowTitle(static_cast<std::int32_t>(plain.processId())),
              std::optional<QString>(QStringLiteral("Plain caf\u00e9")));
}

TEST_F(X11WorkspaceTest, SwitchingApplicationsNotifiesOnceAndTitleChangesNever) {
    TestWindow first({QStringLiteral("--title"), QStringLiteral("First"), QStringLiteral("--class"),
                      QStringLiteral("FirstApp")});
    TestWindow second({QStringLiteral("--title"), QStringLiteral("Second"),
                       QStringLiteral("--class"), QStringLiteral("SecondApp")});
    std::vector<RunningApplication> activations;
    const auto token =
        workspace->addActivationObserver([&](const std::optional<RunningApplication>& app) {
            ASSERT_TRUE(app);
            activations.push_back(*app);
        });
    // The window manager may move the focus on its own while new windows
    // map (more so on a loaded machine), so what is asserted is what the
    // user sees: each switch to another application is announced, once.
    ASSERT_TRUE(desktop.activateAndWait(first.id()));
    test::spinUntil(
        [&] {
            return !activations.empty() &&
                   activations.back().processIdentifier == first.processId();
        },
        std::chrono::milliseconds(1000));
    activations.clear();
    ASSERT_TRUE(desktop.activateAndWait(second.id()));
    ASSERT_TRUE(test::spinUntil([&] {
        return !activations.empty() && activations.back().processIdentifier == second.processId();
    }));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(300));
    QStringList names;
    for (const auto& app : activations) {
        names << app.localizedName.value_or(QStringLiteral("?"));
    }
    EXPECT_EQ(names.count(QStringLiteral("SecondApp")), 1)
        << names.join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(names.last(), QStringLiteral("SecondApp"));
    EXPECT_EQ(activations.back().bundleIdentifier,
              std::optional<QString>(QStringLiteral("SecondApp")));
    for (qsizetype i = 1; i < names.size(); ++i) {
        EXPECT_NE(names[i], names[i - 1]) << "the same application announced twice in a row";
    }

    const auto announced = activations.size();
    second.setTitle(QStringLiteral("Second, renamed"));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(activations.size(), announced);
    EXPECT_EQ(workspace->focusedWindowTitle(static_cast<std::int32_t>(second.processId())),
              std::optional<QString>(QStringLiteral("Second, renamed")));

    workspace->removeActivationObserver(token);
    ASSERT_TRUE(desktop.activateAndWait(first.id()));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_EQ(activations.size(), announced);
}

} // namespace
