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
struct ContentViewQmlTest : ::testing::Test {
    test::LogCapture log;
    test::SimulatedDesktop sim;
    std::unique_ptr<ContentView> view;
    test::QmlWindowRig rig;
    QQuickWindow& window = rig.window;
    std::unique_ptr<QQuickItem>& root = rig.root;

    void load(bool onboarded, QObject* startAtLogin = nullptr) {
        sim.defaults.setBool(ContentView::onboardingKey, onboarded);
        sim.workspace.setFrontmost(QStringLiteral("Writer"), QStringLiteral("org.example.Writer"),
                                   7, QStringLiteral("Q3 report.odt"));
        view = std::make_unique<ContentView>(sim.desktop());
        rig.load(QStringLiteral("ContentView"),
                 {{QStringLiteral("view"), QVariant::fromValue(view.get())},
                  {QStringLiteral("startAtLogin"), QVariant::fromValue(startAtLogin)}},
                 QSize(720, 560));
    }

    void settle() { window.grabWindow(); }
    QQuickItem* item(const char* name) {
        settle();
        auto* found = root->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    bool shown(const char* name) {
        QQuickItem* found = item(name);
        return found && found->isVisible() && found->opacity() > 0;
    }
    void click(const char* name) {
        QQuickItem* target = item(name);
        ASSERT_TRUE(target);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        settle();
    }
    void type(const QString& text) {
        for (const QChar character : text) {
            QTest::keyClick(&window, character.toLatin1());
        }
        settle();
    }
    QString text(const char* name) { return item(name)->property("text").toString(); }
};

TEST_F(ContentViewQmlTest, OnboardingFirstThenTheLaunchModal) {
    load(false);
    EXPECT_TRUE(shown("onboardingLayer"));
    EXPECT_FALSE(shown("helpButton"));
    EXPECT_FALSE(item("launchModalLayer")->property("active").toBool());
    sim.defaults.calls.clear();
    // Each page plays to its end before its "Next" can be pressed; a button
    // takes clicks once it has faded in.
    const auto pressWhenShown = [&](const char* button) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                for (QQuickItem* up = item(button); up; up = up->parentItem()) {
                    if (up->opacity() < 1.0) {
                        return false;
                    }
                }
                return true;
            },
            2000))
            << button;
        click(button);
    };
    sim.loop.advance(5900ms);
    pressWhenShown("page0NextButton");
    sim.loop.advance(15200ms);
    pressWhenShown("page1NextButton");
    sim.loop.advance(4735ms);
    pressWhenShown("page2NextButton");
    EXPECT_FALSE(view->hasCompletedOnboarding());
    sim.accessibility.trusted = true;
    pressWhenShown("permissionButton");
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

TEST_F(ContentViewQmlTest, TypingAnAimsetAndPressingReturnStartsTheSession) {
    load(true);
    QQuickItem* start = item("startButton");
    EXPECT_FALSE(start->property("enabled").toBool());
    click("aimsetField");
    type(QStringLiteral("Finish the quarterly report"));
    EXPECT_TRUE(start->property("enabled").toBool());
    QTest::keyClick(&window, Qt::Key_Return);
    settle();
    EXPECT_FALSE(view->showLaunchModal());
    EXPECT_EQ(log.lines().filter(QStringLiteral("Aimset: ")),
              QStringList{QStringLiteral("Aimset: Finish the quarterly report, Goal: 0m")});
    EXPECT_TRUE(shown("runningPanel"));
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Finish the quarterly report"));
    EXPECT_EQ(text("focusedText"), QStringLiteral("Focused for < 1m"));
    EXPECT_FALSE(item("goalText")->isVisible());

    sim.loop.advance(25min);
    EXPECT_EQ(text("focusedText"), QStringLiteral("Focused for 25m"));

    click("changeAimsetButton");
    EXPECT_TRUE(shown("aimsetEditor"));
    type(QStringLiteral("Reply to Dana"));
    click("updateAimsetButton");
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Reply to Dana"));
    EXPECT_TRUE(shown("temporaryAimsetRow"));
    click("restoreButton");
    EXPECT_EQ(text("aimsetText"), QStringLiteral("Finish the quarterly report"));
    EXPECT_FALSE(shown("temporaryAimsetRow"));

    click("endSessionButton");
    EXPECT_TRUE(shown("summary"));
    EXPECT_EQ(text("summaryDuration"), QStringLiteral("25m"));
    click("startNewSessionButton");
    EXPECT_TRUE(view->showLaunchModal());
    EXPECT_EQ(item("aimsetField")->property("text").toString(), QString());
}

TEST_F(ContentViewQmlTest, TheHelpButtonAndScrimToggleHelp) {
    load(true);
    EXPECT_FALSE(shown("helpScrim"));
    click("helpButton");
    EXPECT_TRUE(view->showHelp());
    // The scrim takes clicks once it has faded in, beside the card.
    EXPECT_TRUE(QTest::qWaitFor([&] { return item("helpOverlay")->opacity() == 1.0; }, 2000));
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(20, 540));
    EXPECT_FALSE(view->showHelp());
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
