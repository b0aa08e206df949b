#include "Onboarding/OnboardingFlow.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "QmlWindowRig.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/QtPrinters.h"

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
struct OnboardingViewQmlTest : ::testing::Test, test::QmlWindowRig {
    VirtualMainLoop loop;
    FakeAccessibility accessibility;
    OnboardingFlow onboarding{loop, accessibility};
    int completions = 0;

    void SetUp() override {
        QObject::connect(&onboarding, &OnboardingFlow::completed, [this] { ++completions; });
        load(QStringLiteral("OnboardingView"),
             {{QStringLiteral("onboarding"), QVariant::fromValue(&onboarding)}}, QSize(720, 560));
    }
    // The items go before the flow they show.
    ~OnboardingViewQmlTest() override { root.reset(); }

    // Lets the fades and springs of the last change run out, then draws
    // (and keeps the picture, see QmlWindowRig::keepPicture).
    void look(const char* name) {
        QTest::qWait(700);
        keepPicture(QString::fromLatin1(name));
    }
    // On screen: visible, and not faded out anywhere up the tree.
    bool shown(const char* name) {
        QQuickItem* found = item(name);
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
};

// The pages' words at each moment are the first-run-onboarding scenario's;
// here each "Next" appears when its page is done and leads on, and the last
// page's button asks for access.
TEST_F(OnboardingViewQmlTest, EachPageLeadsToTheNextAndTheLastAsksForAccess) {
    EXPECT_TRUE(onboarding.isShown());
    EXPECT_FALSE(shown("page0NextButton"));
    loop.advance(5900ms);
    look("onboarding-0-end");
    EXPECT_TRUE(shown("page0Headline"));
    EXPECT_TRUE(shown("page0NextButton"));
    click("page0Next");
    EXPECT_EQ(onboarding.currentPage(), 1);

    loop.advance(15s);
    EXPECT_FALSE(shown("page1NextButton"));
    loop.advance(200ms);
    look("onboarding-1-end");
    EXPECT_FALSE(shown("page0"));
    EXPECT_TRUE(shown("stagesClosing"));
    EXPECT_TRUE(shown("page1NextButton"));
    click("page1Next");
    EXPECT_EQ(onboarding.currentPage(), 2);

    // The keys are held while the sentence is typed, then the closing line.
    loop.advance(2950ms);
    look("onboarding-2-speaking");
    EXPECT_TRUE(item("optionKey")->property("isPressed").toBool());
    EXPECT_TRUE(shown("voicePanel"));
    EXPECT_FALSE(shown("page2Closing"));
    loop.advance(1785ms);
    look("onboarding-2-end");
    EXPECT_FALSE(item("voicePanel")->isVisible());
    EXPECT_FALSE(item("optionKey")->property("isPressed").toBool());
    EXPECT_TRUE(shown("page2Closing"));
    click("page2Next");
    EXPECT_EQ(onboarding.currentPage(), 3);

    // While access stays off, the way on with titles alone appears beside the
    // button without moving it; "Done" once access arrives.
    look("onboarding-3-enable");
    EXPECT_FALSE(shown("titlesOnlyButton"));
    const QPointF enableAt = item("permissionButton")->mapToScene(QPointF(0, 0));
    accessibility.trusted = false;
    click("permissionButton");
    EXPECT_EQ(accessibility.calls, (QStringList{QStringLiteral("isProcessTrusted"),
                                                QStringLiteral("requestTrustWithPrompt")}));
    loop.advance(1s);
    look("onboarding-3-titles-only");
    EXPECT_TRUE(shown("titlesOnlyButton"));
    EXPECT_EQ(item("permissionButton")->mapToScene(QPointF(0, 0)), enableAt);
    accessibility.trusted = true;
    loop.advance(1s);
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
