#include "Platform/Linux/XdgAutostart.h"
#include "Session/ContentView.h"
#include "Simulator/SimulatedDesktop.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

// The main window's QML over the real ContentView on the simulated desktop,
// in a window of its own, used through its buttons and fields as a person would.
struct ContentViewQmlTest : ::testing::Test {
    test::LogCapture log;
    SimulatedDesktop sim;
    std::unique_ptr<ContentView> view;
    QQmlEngine engine;
    QQuickWindow window;
    std::unique_ptr<QQuickItem> root;

    // The items go before the view they show and the engine that made them.
    ~ContentViewQmlTest() override { root.reset(); }

    void load(bool onboarded, QObject* startAtLogin = nullptr) {
        root.reset();
        sim.defaults.setBool(ContentView::onboardingKey, onboarded);
        sim.workspace.setFrontmost(u"Writer"_s, u"org.example.Writer"_s, 7, u"Q3 report.odt"_s);
        view = std::make_unique<ContentView>(sim.desktop());
        QQmlComponent component(&engine, QUrl(u"qrc:/qt/qml/Aimset/Views/ContentView.qml"_s));
        // Qt crashes on required properties of a component that failed to load.
        ASSERT_TRUE(component.isReady()) << component.errorString().toStdString();
        root.reset(qobject_cast<QQuickItem*>(component.createWithInitialProperties(
            {{u"view"_s, QVariant::fromValue(view.get())},
             {u"startAtLogin"_s, QVariant::fromValue(startAtLogin)}})));
        ASSERT_TRUE(root) << component.errorString().toStdString();
        root->setParentItem(window.contentItem());
        window.resize(720, 640);
        root->setSize(QSizeF(720, 640));
        window.show();
        settle();
    }
    // Lets the window lay out and draw what changed.
    void settle() { window.grabWindow(); }
    QQuickItem* item(const char* name) {
        settle();
        auto* found = root->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    QString text(const char* name) {
        QQuickItem* found = item(name);
        return found ? found->property("text").toString() : QString();
    }
    void click(QQuickItem* target) {
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        settle();
    }
    void click(const char* name) {
        QQuickItem* target = item(name);
        ASSERT_TRUE(target) << name;
        click(target);
    }
    void type(const QString& text) {
        for (const QChar character : text) {
            QTest::keyClick(&window, character.toLatin1());
        }
        settle();
    }
    // The one item of that name drawn at all (or more opaque than that), or
    // null: pages that left may linger hidden, and the help card lays every
    // page out unseen.
    QQuickItem* onScreen(const char* name, double opacity = 0) {
        settle();
        QQuickItem* found = nullptr;
        for (QQuickItem* candidate : root->findChildren<QQuickItem*>(QString::fromLatin1(name))) {
            bool drawn = true;
            for (QQuickItem* up = candidate; up && drawn; up = up->parentItem()) {
                drawn = up->isVisible() && up->opacity() > opacity;
            }
            if (drawn) {
                EXPECT_EQ(found, nullptr) << "two visible " << name;
                found = candidate;
            }
        }
        return found;
    }
    QRectF place(const char* name) {
        QQuickItem* found = onScreen(name);
        return found ? found->mapRectToScene(QRectF(0, 0, found->width(), found->height()))
                     : QRectF();
    }
    // Opens help and waits out the card's fade and the page's own animations.
    void openHelp() {
        click("helpButton");
        ASSERT_TRUE(view->showHelp());
        QTest::qWait(450);
        settle();
    }
    void pressKey(Qt::Key key) {
        QTest::keyClick(&window, key);
        settle();
    }
};

// The pages' words and each "Next" are the first-run-onboarding scenario's;
// here the last page's button, the way on beside it, and the pages going.
TEST_F(ContentViewQmlTest, OnboardingEndsWithAccessAndGivesWayToTheLaunchModal) {
    load(false);
    for (const auto pageEnd : {5900ms, 15200ms}) {
        sim.loop.advance(pageEnd);
        view->onboarding()->next();
    }
    // The keys are held while the sentence is typed.
    sim.loop.advance(2950ms);
    QTest::qWait(700);
    EXPECT_TRUE(onScreen("optionKey")->property("isPressed").toBool());
    sim.loop.advance(1785ms);
    EXPECT_FALSE(onScreen("optionKey")->property("isPressed").toBool());
    view->onboarding()->next();
    // A button takes clicks once it has faded in.
    EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen("permissionButton", 0.999); }, 2000));
    // While access stays off, titles alone are offered beside the button
    // without moving it; once access arrives, the end is written down.
    const QRectF enable = place("permissionButton");
    sim.accessibility.trusted = false;
    click("permissionButton");
    sim.loop.advance(1s);
    EXPECT_TRUE(QTest::qWaitFor([&] { return onScreen("titlesOnlyButton") != nullptr; }, 2000));
    EXPECT_EQ(place("permissionButton"), enable);
    sim.defaults.calls.clear();
    sim.accessibility.trusted = true;
    sim.loop.advance(1300ms);
    EXPECT_EQ(sim.defaults.calls.filter(ContentView::onboardingKey),
              QStringList{u"setBool hasCompletedOnboarding true"_s});
    // The pages go once they have faded out, and stop.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !item("onboardingLayer")->property("active").toBool(); }, 2000));
    EXPECT_FALSE(view->onboarding()->isShown());
}

TEST_F(ContentViewQmlTest, TypingAnAimsetDraggingTheGoalAndPressingReturnStartsTheSession) {
    load(true);
    click("aimsetField");
    type(u"Finish the quarterly report"_s);

    // Dragging the goal past its last step, three hours, leaves the keyboard
    // with the field.
    QQuickItem* slider = item("goalSlider");
    const double handle = slider->property("handle").value<QQuickItem*>()->width();
    const double track = slider->property("availableWidth").toDouble() - handle;
    const double left = slider->property("leftPadding").toDouble() + handle / 2;
    const auto along = [&](double fraction) {
        return slider->mapToScene(QPointF(left + fraction * track, slider->height() / 2)).toPoint();
    };
    QTest::mousePress(&window, Qt::LeftButton, {}, along(0));
    for (int step = 1; step <= 5; ++step) {
        QTest::mouseMove(&window, along(step / 4.0));
    }
    QTest::mouseRelease(&window, Qt::LeftButton, {}, along(1.25));
    pressKey(Qt::Key_Return);
    EXPECT_EQ(log.lines().filter(u"Aimset: "_s),
              QStringList{u"Aimset: Finish the quarterly report, Goal: 180m"_s});
    // The modal fades out rather than vanishing, and then goes.
    EXPECT_TRUE(item("launchModalLayer")->property("active").toBool());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !item("launchModalLayer")->property("active").toBool(); }, 2000));
    EXPECT_TRUE(onScreen("runningPanel"));

    // The first milestone comes at 45 minutes and goes 3 s later; its line
    // is kept, so the buttons never move, and it fades out with its words.
    const QRectF endBefore = place("endSessionButton");
    sim.loop.advance(45min + 1s);
    EXPECT_EQ(text("milestoneText"), u"Great start. Keep going."_s);
    EXPECT_EQ(place("endSessionButton"), endBefore);
    sim.loop.advance(3s);
    ASSERT_EQ(view->session()->milestoneMessage(), QString());
    EXPECT_EQ(text("milestoneText"), u"Great start. Keep going."_s);
    EXPECT_EQ(place("endSessionButton"), endBefore);

    click("changeAimsetButton");
    type(u"Reply to Dana"_s);
    click("updateAimsetButton");
    EXPECT_EQ(text("aimsetText"), u"Reply to Dana"_s);
}

// The pages' words are the help-pages scenario's; here the keyboard, the
// card and its arrows holding still under the pointer, and every way out.
TEST_F(ContentViewQmlTest, HelpHoldsTheKeyboardAndStillAndClosesEveryWay) {
    load(true);
    click("aimsetField");
    type(u"Write"_s);
    openHelp();
    // Keys go to the card, not to the field beneath: Return there starts nothing.
    type(u"xy"_s);
    pressKey(Qt::Key_Return);
    EXPECT_TRUE(view->showHelp());
    EXPECT_EQ(text("aimsetField"), u"Write"_s);
    EXPECT_TRUE(log.lines().filter(u"Aimset: "_s).isEmpty());
    EXPECT_EQ(onScreen("helpBackButton"), nullptr);
    const QRectF card = place("helpCard");
    const QRectF next = place("helpNextButton");
    int clicks = 0;
    for (; clicks < 10 && onScreen("helpNextButton"); ++clicks) {
        EXPECT_EQ(place("helpNextButton"), next) << clicks;
        click(onScreen("helpNextButton"));
        EXPECT_EQ(place("helpCard"), card) << clicks;
    }
    // The last page's demonstration holds the keys down.
    sim.loop.advance(2500ms);
    QTest::qWait(450);
    EXPECT_TRUE(onScreen("optionKey")->property("pressed").toBool());
    EXPECT_TRUE(onScreen("mKey")->property("pressed").toBool());
    click(onScreen("helpCloseButton"));
    EXPECT_FALSE(view->showHelp());

    QTest::qWait(450);
    EXPECT_EQ(onScreen("helpOverlay"), nullptr);
    // A click on the card stays on the card; one beside it closes help.
    openHelp();
    click(onScreen("helpCard"));
    EXPECT_TRUE(view->showHelp());
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(30, 600));
    EXPECT_FALSE(view->showHelp());

    // So does Escape, and the field has the keyboard back.
    QTest::qWait(450);
    openHelp();
    pressKey(Qt::Key_Escape);
    EXPECT_FALSE(view->showHelp());
    type(u" it"_s);
    pressKey(Qt::Key_Return);
    EXPECT_EQ(log.lines().filter(u"Aimset: "_s), QStringList{u"Aimset: Write it, Goal: 0m"_s});
}

// The launch screen's switch turns start at login on and off (what it writes
// is the autostart tests'), and is out of the way once a session runs. Run
// from a build tree, which is no installed app, it says why it cannot.
TEST_F(ContentViewQmlTest, StartAtLoginIsSwitchedFromTheLaunchScreen) {
    QTemporaryDir config;
    XdgAutostart autostart(config.path(), u"/opt/aimset/bin/aimset"_s);
    load(true, &autostart);
    click("startAtLoginSwitch");
    EXPECT_TRUE(autostart.isEnabled());
    click("startAtLoginSwitch");
    EXPECT_FALSE(autostart.isEnabled());
    click("aimsetField");
    type(u"Write the report"_s);
    pressKey(Qt::Key_Return);
    EXPECT_FALSE(onScreen("startAtLoginSwitch"));

    XdgAutostart fromBuildTree(config.path());
    load(true, &fromBuildTree);
    ASSERT_TRUE(onScreen("startAtLoginUnavailable"));
    EXPECT_EQ(text("startAtLoginUnavailable"), fromBuildTree.unavailableReason());
    click("startAtLoginSwitch");
    EXPECT_FALSE(QFile::exists(fromBuildTree.entryPath()));
}

} // namespace
