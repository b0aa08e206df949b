#include "Onboarding/OnboardingFlow.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "QmlWindowRig.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// The onboarding pages drawn over the real OnboardingFlow on the virtual
// loop, stepped through as a first-time user would.
struct OnboardingViewQmlTest : ::testing::Test {
    VirtualMainLoop loop;
    FakeAccessibility accessibility;
    OnboardingFlow onboarding{loop, accessibility};
    test::QmlWindowRig rig;
    QQuickWindow& window = rig.window;
    std::unique_ptr<QQuickItem>& root = rig.root;
    int completions = 0;

    void SetUp() override {
        QObject::connect(&onboarding, &OnboardingFlow::completed, [this] { ++completions; });
        rig.load(QStringLiteral("OnboardingView"),
                 {{QStringLiteral("onboarding"), QVariant::fromValue(&onboarding)}},
                 QSize(720, 560));
    }

    // Lets the fades and springs of the last change run out, then draws
    // (and keeps the picture, see QmlWindowRig::keepPicture).
    void look(const char* name) {
        QTest::qWait(700);
        rig.keepPicture(QString::fromLatin1(name));
    }
    QQuickItem* item(const char* name, QQuickItem* within = nullptr) {
        auto* found =
            (within ? within : root.get())->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    QString text(const char* name, QQuickItem* within = nullptr) {
        QQuickItem* found = item(name, within);
        return found ? found->property("text").toString() : QString();
    }
    // On screen: visible, and not faded out anywhere up the tree.
    bool shown(const char* name, QQuickItem* within = nullptr) {
        QQuickItem* found = item(name, within);
        if (!found || !found->isVisible()) {
            return false;
        }
        for (QQuickItem* up = found; up; up = up->parentItem()) {
            if (up->opacity() < 0.99) {
                return false;
            }
        }
        return true;
    }
    void click(const char* name) {
        QQuickItem* target = item(name);
        ASSERT_TRUE(target);
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        window.grabWindow();
    }
};

TEST_F(OnboardingViewQmlTest, EachPageShowsItsTextsAndLeadsToTheNext) {
    EXPECT_TRUE(onboarding.isShown());

    // Page 0: nothing but black at first, then the browser and its warning.
    look("onboarding-0-start");
    EXPECT_FALSE(shown("page0Headline"));
    EXPECT_FALSE(shown("page0NextButton"));
    loop.advance(3s);
    look("onboarding-0-counting");
    QQuickItem* warning = item("page0Warning");
    EXPECT_TRUE(shown("page0Warning"));
    EXPECT_EQ(text("countdown", warning), QStringLiteral("5"));
    loop.advance(2900ms);
    look("onboarding-0-end");
    EXPECT_TRUE(shown("page0Headline"));
    EXPECT_EQ(text("page0Headline"), QStringLiteral("Aimset nudges you back\nwhen you drift."));
    EXPECT_TRUE(shown("browserFrame"));
    EXPECT_EQ(text("countdown", warning), QStringLiteral("1"));
    EXPECT_EQ(text("doesNotLookLike", warning), QStringLiteral("This doesn't look like:"));
    EXPECT_EQ(text("aimset", warning), QStringLiteral("Finish the quarterly report"));
    EXPECT_EQ(text("tabCloses", warning), QStringLiteral("Tab closes in 1s"));
    EXPECT_TRUE(shown("page0NextButton"));
    EXPECT_EQ(text("page0NextButton"), QStringLiteral("Next"));
    click("page0Next");
    EXPECT_EQ(onboarding.currentPage(), 1);

    // Page 1, phase by phase.
    loop.advance(1s);
    look("onboarding-1-phase0");
    EXPECT_FALSE(shown("page0"));
    EXPECT_TRUE(shown("phase0"));
    EXPECT_EQ(text("phase0Headline"),
              QStringLiteral("Aimset knows if you're\ndistracted or focused"));
    EXPECT_EQ(text("phase0Body"),
              QStringLiteral("Based on what you're doing,\none of three things happens:"));
    EXPECT_FALSE(shown("page1NextButton"));
    loop.advance(2s);
    QTest::qWait(1500); // the mascot rises over 1.5 s
    look("onboarding-1-phase1");
    EXPECT_TRUE(shown("phase1"));
    EXPECT_FALSE(shown("phase0"));
    EXPECT_EQ(text("phase1Step"), QStringLiteral("1 of 3"));
    EXPECT_EQ(text("phase1Title"), QStringLiteral("Nothing (You're on track)"));
    EXPECT_EQ(text("phase1Body"),
              QStringLiteral("If what you're doing matches your goal,\nthe app stays invisible."));
    EXPECT_NEAR(item("stagesGhost")->opacity(), 0.15, 0.01);
    loop.advance(4s);
    look("onboarding-1-phase2");
    EXPECT_TRUE(shown("phase2"));
    EXPECT_EQ(text("phase2Step"), QStringLiteral("2 of 3"));
    EXPECT_EQ(text("phase2Title"), QStringLiteral("A Quick Question"));
    EXPECT_EQ(text("phase2Body"),
              QStringLiteral("If Aimset isn't certain, a small popup appears:"));
    EXPECT_TRUE(shown("stagesQuestion"));
    EXPECT_EQ(text("question"),
              QStringLiteral("Is this article about Barbie\nrelated to your essay?"));
    EXPECT_EQ(text("yesLabel"), QStringLiteral("Yes, it's relevant"));
    EXPECT_EQ(text("noLabel"), QStringLiteral("No, close this"));
    loop.advance(8200ms);
    look("onboarding-1-phase3");
    EXPECT_TRUE(shown("phase3"));
    EXPECT_EQ(text("phase3Step"), QStringLiteral("3 of 3"));
    EXPECT_EQ(text("phase3Title"), QStringLiteral("A Nudge (You've drifted)"));
    EXPECT_EQ(text("phase3Body"),
              QStringLiteral("If you get distracted, a warning appears\nwith a 15-second timer."));
    QQuickItem* nudge = item("stagesWarning");
    EXPECT_EQ(text("countdown", nudge), QStringLiteral("7"));
    EXPECT_EQ(text("aimset", nudge), QStringLiteral("Study for biology exam"));
    EXPECT_EQ(text("tabCloses", nudge), QStringLiteral("Tab closes in 7s"));
    EXPECT_EQ(text("stagesClosing"), QStringLiteral("15 seconds is enough to save anything "
                                                    "important.\nNot enough to keep "
                                                    "procrastinating."));
    EXPECT_TRUE(shown("stagesClosing"));
    EXPECT_TRUE(shown("page1NextButton"));
    click("page1Next");
    EXPECT_EQ(onboarding.currentPage(), 2);

    // Page 2: the keys held while the sentence is typed, then the closing line.
    loop.advance(2950ms);
    look("onboarding-2-speaking");
    EXPECT_EQ(text("page2Headline"), QStringLiteral("Change your aimset\non the fly."));
    EXPECT_EQ(text("page2Body"), QStringLiteral("Plans change. That's fine."));
    EXPECT_TRUE(shown("keyRow"));
    EXPECT_TRUE(item("optionKey")->property("isPressed").toBool());
    EXPECT_FALSE(item("symbol", item("optionKey"))->isVisible());
    EXPECT_EQ(text("label", item("optionKey")), QStringLiteral("Alt"));
    EXPECT_EQ(text("label", item("mKey")), QStringLiteral("M"));
    EXPECT_FALSE(item("symbol", item("mKey"))->isVisible());
    EXPECT_TRUE(shown("voicePanel"));
    EXPECT_EQ(text("listeningLabel"), QStringLiteral("Listening..."));
    EXPECT_EQ(text("transcript"), QStringLiteral("I'm planning my trip"));
    EXPECT_FALSE(shown("page2Closing"));
    loop.advance(1785ms);
    look("onboarding-2-end");
    EXPECT_FALSE(item("voicePanel")->isVisible());
    EXPECT_FALSE(item("optionKey")->property("isPressed").toBool());
    EXPECT_TRUE(shown("page2Closing"));
    EXPECT_EQ(text("page2Closing"),
              QStringLiteral("Aimset updates instantly.\nThe AI adjusts. No friction."));
    click("page2Next");
    EXPECT_EQ(onboarding.currentPage(), 3);

    // Page 3: the request, "Enable Aimset"; while access stays off, the way on
    // with titles alone; "Done" once access arrives.
    look("onboarding-3-enable");
    EXPECT_TRUE(shown("page3Headline"));
    EXPECT_EQ(text("page3Headline"),
              QStringLiteral("Aimset needs screen access\nto see when you drift."));
    EXPECT_EQ(text("page3Privacy"), OnboardingFlow::privacyNote());
    EXPECT_EQ(text("page3PlatformNote"), OnboardingFlow::accessibilityNote());
    EXPECT_TRUE(shown("eyeSymbol"));
    EXPECT_EQ(text("permissionButton"), QStringLiteral("Enable Aimset"));
    EXPECT_FALSE(shown("titlesOnlyButton"));
    const QPointF enableAt = item("permissionButton")->mapToScene(QPointF(0, 0));
    accessibility.trusted = false;
    click("permissionButton");
    EXPECT_EQ(accessibility.calls, (QStringList{QStringLiteral("isProcessTrusted"),
                                                QStringLiteral("requestTrustWithPrompt")}));
    loop.advance(1s);
    look("onboarding-3-titles-only");
    EXPECT_TRUE(shown("titlesOnlyButton"));
    EXPECT_EQ(text("titlesOnlyButton"), QStringLiteral("Continue with titles only"));
    EXPECT_EQ(item("permissionButton")->mapToScene(QPointF(0, 0)), enableAt);
    accessibility.trusted = true;
    loop.advance(1s);
    look("onboarding-3-done");
    EXPECT_EQ(text("permissionButton"), QStringLiteral("Done"));
    EXPECT_EQ(completions, 0);
    loop.advance(300ms);
    EXPECT_EQ(completions, 1);
}

TEST_F(OnboardingViewQmlTest, HidingThePagesStopsThemAndShowingThemAgainRestarts) {
    loop.advance(3s);
    root->setVisible(false);
    EXPECT_FALSE(onboarding.isShown());
    EXPECT_EQ(loop.scheduledTimerCount(), 0u);
    root->setVisible(true);
    EXPECT_TRUE(onboarding.isShown());
    EXPECT_EQ(onboarding.demo("countdownValue").toInt(), 7);
    EXPECT_FALSE(onboarding.demo("showHeadline").toBool());
    root.reset();
    EXPECT_FALSE(onboarding.isShown());
}

} // namespace
