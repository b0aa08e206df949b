#include "Platform/Linux/XdgAutostart.h"
#include "QmlWindowRig.h"
#include "Session/ContentView.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// The main window's QML over the real ContentView on the simulated desktop,
// used through its buttons and fields as a person would.
struct ContentViewQmlTest : ::testing::Test, test::QmlWindowRig {
    test::LogCapture log;
    test::SimulatedDesktop sim;
    std::unique_ptr<ContentView> view;

    // The items go before the view they show.
    ~ContentViewQmlTest() override { root.reset(); }

    void load(bool onboarded, QObject* startAtLogin = nullptr) {
        sim.defaults.setBool(ContentView::onboardingKey, onboarded);
        sim.workspace.setFrontmost(QStringLiteral("Writer"), QStringLiteral("org.example.Writer"),
                                   7, QStringLiteral("Q3 report.odt"));
        view = std::make_unique<ContentView>(sim.desktop());
        QmlWindowRig::load(QStringLiteral("ContentView"),
                           {{QStringLiteral("view"), QVariant::fromValue(view.get())},
                            {QStringLiteral("startAtLogin"), QVariant::fromValue(startAtLogin)}},
                           QSize(720, 560));
    }
    bool shown(const char* name) {
        QQuickItem* found = item(name);
        return found && found->isVisible() && found->opacity() > 0;
    }
};

TEST_F(ContentViewQmlTest, OnboardingFirstThenTheLaunchModal) {
    load(false);
    EXPECT_TRUE(shown("onboardingLayer"));
    EXPECT_FALSE(shown("helpButton"));
    EXPECT_FALSE(item("launchModalLayer")->property("active").toBool());
    // The pages are clicked through in OnboardingViewQmlTest; the last one's
    // button, pressed here, leads to the launch modal.
    for (const auto pageEnd : {5900ms, 15200ms, 4735ms}) {
        sim.loop.advance(pageEnd);
        view->onboarding()->next();
    }
    sim.accessibility.trusted = true;
    // A button takes clicks once it has faded in.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            for (QQuickItem* up = item("permissionButton"); up; up = up->parentItem()) {
                if (up->opacity() < 1.0) {
                    return false;
                }
            }
            return true;
        },
        2000));
    sim.defaults.calls.clear();
    click("permissionButton");
    EXPECT_TRUE(view->hasCompletedOnboarding());
    EXPECT_EQ(sim.defaults.calls.filter(ContentView::onboardingKey),
              QStringList{QStringLiteral("setBool hasCompletedOnboarding true")});
    EXPECT_TRUE(shown("helpButton"));
    EXPECT_EQ(text("title"), QStringLiteral("What's your aimset today?"));
    // The pages go once they have faded out.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !item("onboardingLayer")->property("active").toBool(); }, 2000));
    EXPECT_FALSE(view->onboarding()->isShown());
}

TEST_F(ContentViewQmlTest, TypingAnAimsetDraggingTheGoalAndPressingReturnStartsTheSession) {
    load(true);
    QQuickItem* start = item("startButton");
    EXPECT_FALSE(start->property("enabled").toBool());
    click("aimsetField");
    type(QStringLiteral("Finish the quarterly report"));
    EXPECT_TRUE(start->property("enabled").toBool());

    // Dragging the goal to its first step leaves the keyboard with the field.
    QQuickItem* slider = item("goalSlider");
    const double handle = slider->property("handle").value<QQuickItem*>()->width();
    const double track = slider->property("availableWidth").toDouble() - handle;
    const double left = slider->property("leftPadding").toDouble() + handle / 2;
    const auto along = [&](double fraction) {
        return slider->mapToScene(QPointF(left + fraction * track, slider->height() / 2)).toPoint();
    };
    QTest::mousePress(&window, Qt::LeftButton, {}, along(0));
    for (int step = 1; step <= 4; ++step) {
        QTest::mouseMove(&window, along(step / 24.0));
    }
    QTest::mouseRelease(&window, Qt::LeftButton, {}, along(1 / 6.0));
    EXPECT_EQ(text("goalLabel"), QStringLiteral("30m"));
    QTest::keyClick(&window, Qt::Key_Return);
    settle();
    EXPECT_FALSE(view->showLaunchModal());
    EXPECT_EQ(log.lines().filter(QStringLiteral("Aimset: ")),
              QStringList{QStringLiteral("Aimset: Finish the quarterly report, Goal: 30m")});
    // The modal fades out rather than vanishing, and then goes.
    EXPECT_TRUE(item("launchModalLayer")->property("active").toBool());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !item("launchModalLayer")->property("active").toBool(); }, 2000));
    EXPECT_TRUE(shown("runningPanel"));
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Finish the quarterly report"));
    EXPECT_EQ(text("focusedText"), QStringLiteral("Focused for < 1m"));
    EXPECT_EQ(text("goalText"), QStringLiteral("< 1m / 30m"));

    // The first milestone comes at 7.5 minutes and goes 3 s later; its line
    // is kept, so the buttons never move, and it fades out with its words.
    const auto place = [this](const char* name) {
        QQuickItem* found = item(name);
        return found->mapRectToScene(QRectF(0, 0, found->width(), found->height()));
    };
    const QRectF endBefore = place("endSessionButton");
    sim.loop.advance(7min + 31s);
    EXPECT_EQ(text("milestoneText"), QStringLiteral("Great start. Keep going."));
    EXPECT_EQ(place("endSessionButton"), endBefore);
    QTest::qWait(350); // the fade-in, for the picture
    keepPicture(QStringLiteral("session-milestone"));
    sim.loop.advance(3s);
    ASSERT_EQ(view->session()->milestoneMessage(), QString());
    EXPECT_EQ(text("milestoneText"), QStringLiteral("Great start. Keep going."));
    EXPECT_EQ(place("endSessionButton"), endBefore);

    click("changeAimsetButton");
    EXPECT_TRUE(shown("aimsetEditor"));
    keepPicture(QStringLiteral("session-editor"));
    type(QStringLiteral("Reply to Dana"));
    click("updateAimsetButton");
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Reply to Dana"));
    EXPECT_TRUE(shown("temporaryAimsetRow"));
    click("restoreButton");
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Finish the quarterly report"));
    EXPECT_FALSE(shown("temporaryAimsetRow"));

    // The warning and the summary's words are the three-hour-session scenario's.
    click("endSessionButton");
    EXPECT_TRUE(shown("summary"));
    keepPicture(QStringLiteral("summary"));
    click("startNewSessionButton");
    EXPECT_TRUE(view->showLaunchModal());
    EXPECT_EQ(item("aimsetField")->property("text").toString(), QString());
}

TEST_F(ContentViewQmlTest, HelpHasTheKeyboardWhileOpenAndEscapeClosesIt) {
    load(true);
    click("aimsetField");
    type(QStringLiteral("Write"));
    click("helpButton");
    EXPECT_TRUE(view->showHelp());
    // Keys go to the card, not to the field beneath: Return there starts nothing.
    type(QStringLiteral("xy"));
    QTest::keyClick(&window, Qt::Key_Return);
    settle();
    EXPECT_TRUE(view->showHelp());
    EXPECT_TRUE(view->showLaunchModal());
    EXPECT_EQ(text("aimsetField"), QStringLiteral("Write"));
    EXPECT_TRUE(log.lines().filter(QStringLiteral("Aimset: ")).isEmpty());

    QTest::keyClick(&window, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(view->showHelp());

    // The field has the keyboard back.
    type(QStringLiteral(" it"));
    QTest::keyClick(&window, Qt::Key_Return);
    settle();
    EXPECT_EQ(log.lines().filter(QStringLiteral("Aimset: ")),
              QStringList{QStringLiteral("Aimset: Write it, Goal: 0m")});
}

TEST_F(ContentViewQmlTest, StartAtLoginIsSwitchedFromTheLaunchScreen) {
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), QStringLiteral("/opt/aimset/bin/aimset"));
    load(true, &autostart);
    ASSERT_TRUE(shown("startAtLoginSwitch"));

    click("startAtLoginSwitch");
    EXPECT_TRUE(autostart.isEnabled());
    EXPECT_TRUE(QFile::exists(autostart.entryPath()));
    click("startAtLoginSwitch");
    EXPECT_FALSE(autostart.isEnabled());
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));

    // Out of the way once a session runs.
    click("aimsetField");
    type(QStringLiteral("Write the report"));
    QTest::keyClick(&window, Qt::Key_Return);
    settle();
    ASSERT_FALSE(view->showLaunchModal());
    EXPECT_FALSE(shown("startAtLoginSwitch"));
}

TEST_F(ContentViewQmlTest, StartAtLoginFromABuildTreeSaysWhyItCannot) {
    QTemporaryDir config;
    // For the running program, which is no installed app.
    XdgAutostart autostart(config.path());
    load(true, &autostart);
    ASSERT_TRUE(shown("startAtLoginUnavailable"));
    EXPECT_EQ(item("startAtLoginUnavailable")->property("text").toString(),
              autostart.unavailableReason());
    click("startAtLoginSwitch");
    EXPECT_FALSE(QFile::exists(autostart.entryPath()));
}

} // namespace
