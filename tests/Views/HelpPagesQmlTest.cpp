#include "QmlWindowRig.h"
#include "Session/ContentView.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <QDir>
#include <QImage>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

// The main window's QML over the real ContentView on the simulated desktop,
// with the help card opened by its "?" button. Pictures of each state go to
// the folder named by AIMSET_SCREENSHOT_DIR, when it is set, for looking at.
struct HelpPagesQmlTest : ::testing::Test {
    test::SimulatedDesktop sim;
    std::unique_ptr<ContentView> view;
    test::QmlWindowRig rig;
    QQuickWindow& window = rig.window;
    std::unique_ptr<QQuickItem>& root = rig.root;
    HelpPages* pages = nullptr;

    void SetUp() override {
        sim.defaults.setBool(ContentView::onboardingKey, true);
        view = std::make_unique<ContentView>(sim.desktop());
        pages = view->helpPages();
        rig.load(QStringLiteral("ContentView"),
                 {{QStringLiteral("view"), QVariant::fromValue(view.get())}}, QSize(720, 640));
    }

    QImage settle() { return window.grabWindow(); }
    // Waits out the overlay's fades and the pages' own animations.
    void settleAnimations() {
        QTest::qWait(450);
        settle();
    }
    void picture(const QString& name) { rig.keepPicture(QStringLiteral("help-") + name); }

    // The one item of that name on screen (pages that left may linger hidden,
    // and the card lays every page out unseen for its height), or null.
    QQuickItem* item(const char* name) {
        settle();
        QQuickItem* shown = nullptr;
        // The help's names, looked up in the help only (the launch modal has a goal slider too).
        QObject* scope = qstrcmp(name, "helpButton") == 0 || qstrcmp(name, "helpOverlay") == 0
                             ? static_cast<QObject*>(root.get())
                             : root->findChild<QQuickItem*>(QStringLiteral("helpOverlay"));
        const auto candidates = scope->findChildren<QQuickItem*>(QString::fromLatin1(name));
        const auto onScreen = [](QQuickItem* candidate) {
            for (QQuickItem* up = candidate; up; up = up->parentItem()) {
                if (!up->isVisible() || up->opacity() <= 0) {
                    return false;
                }
            }
            return true;
        };
        for (QQuickItem* candidate : candidates) {
            if (onScreen(candidate)) {
                EXPECT_EQ(shown, nullptr) << "two visible " << name;
                shown = candidate;
            }
        }
        return shown;
    }
    bool shown(const char* name) { return item(name) != nullptr; }
    QString text(const char* name) {
        QQuickItem* found = item(name);
        EXPECT_TRUE(found) << name;
        return found ? found->property("text").toString() : QString();
    }
    void click(const char* name) {
        QQuickItem* target = item(name);
        ASSERT_TRUE(target) << name;
        const QPointF centre =
            target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
        settle();
    }
    void openHelp() {
        click("helpButton");
        ASSERT_TRUE(view->showHelp());
        settleAnimations();
    }
};

TEST_F(HelpPagesQmlTest, PageZeroTypesTheFirstExampleIntoTheMockField) {
    openHelp();
    EXPECT_TRUE(shown("helpCard"));
    EXPECT_TRUE(shown("helpCloseButton"));
    EXPECT_FALSE(shown("helpBackButton"));
    EXPECT_TRUE(shown("helpNextButton"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("What are you working on?"));
    EXPECT_EQ(
        text("pageBody"),
        QStringLiteral("Type what you're doing in plain language. Be as natural as you want:"));
    EXPECT_EQ(text("typingText"), QStringLiteral("S"));
    sim.loop.advance(1050ms);
    EXPECT_EQ(text("typingText"), QStringLiteral("Study for biology exam"));
    picture(QStringLiteral("page0"));
    sim.loop.advance(1550ms); // the fade starts
    settleAnimations();
    EXPECT_EQ(item("typingText"), nullptr); // faded out
}

TEST_F(HelpPagesQmlTest, PageOneShowsItsIntroAndEachStageWithItsMock) {
    openHelp();
    click("helpNextButton");
    EXPECT_TRUE(shown("helpBackButton"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Aimset knows if you're distracted or focused"));
    EXPECT_EQ(text("pageBody"),
              QStringLiteral("Based on what you're doing, one of three things happens:"));
    EXPECT_FALSE(shown("hitNext"));
    sim.loop.advance(5s);
    settleAnimations();
    EXPECT_EQ(text("hitNext"), QStringLiteral("Hit next"));
    picture(QStringLiteral("page1-intro"));

    click("helpNextButton");
    settleAnimations();
    EXPECT_FALSE(shown("hitNext"));
    EXPECT_EQ(text("stageCaption"), QStringLiteral("1 of 3"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Nothing (You're on track)"));
    EXPECT_EQ(text("pageBody"),
              QStringLiteral("If what you're doing matches your goal, the app stays invisible."));
    QTest::qWait(1600); // the ghost's rise, in real time as QML animates it
    QQuickItem* ghost = item("ghost");
    ASSERT_TRUE(ghost);
    EXPECT_NEAR(ghost->opacity(), 0.15, 0.001);
    picture(QStringLiteral("page1-stage0"));

    click("helpNextButton");
    EXPECT_EQ(item("ghost"), nullptr);
    EXPECT_EQ(text("stageCaption"), QStringLiteral("2 of 3"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("A Quick Question"));
    EXPECT_EQ(text("pageBody"), QStringLiteral("If Aimset isn't certain what you're doing is "
                                               "relevant, a small popup appears:"));
    EXPECT_EQ(text("mockQuestionText"),
              QStringLiteral("Is this article about Barbie related to your essay?"));
    EXPECT_EQ(text("mockYes"), QStringLiteral("Yes, it's relevant"));
    EXPECT_EQ(text("mockNo"), QStringLiteral("No, close this"));
    picture(QStringLiteral("page1-stage1"));

    click("helpNextButton");
    EXPECT_EQ(text("stageCaption"), QStringLiteral("3 of 3"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("A Nudge (You've drifted)"));
    EXPECT_EQ(text("pageBody"),
              QStringLiteral("If you get distracted, a warning appears with a 15-second timer."));
    EXPECT_EQ(text("mockCountdownValue"), QStringLiteral("15"));
    EXPECT_EQ(text("mockDoesNotLookLike"), QStringLiteral("This doesn't look like:"));
    EXPECT_EQ(text("mockAimset"), QStringLiteral("Study for biology exam"));
    EXPECT_EQ(text("mockTabCloses"), QStringLiteral("Tab closes in 15s"));
    EXPECT_EQ(text("pageFootnote"),
              QStringLiteral("15 seconds is enough to save anything "
                             "important. Not enough to keep procrastinating."));
    sim.loop.advance(20s);
    EXPECT_EQ(text("mockCountdownValue"), QStringLiteral("1"));
    EXPECT_EQ(text("mockTabCloses"), QStringLiteral("Tab closes in 1s"));
    settleAnimations();
    picture(QStringLiteral("page1-stage2"));

    // Back walks the stages in reverse.
    click("helpBackButton");
    EXPECT_EQ(text("stageCaption"), QStringLiteral("2 of 3"));
}

TEST_F(HelpPagesQmlTest, PageTwoWidensTheAimset) {
    openHelp();
    for (int i = 0; i < 5; ++i) {
        click("helpNextButton");
    }
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Aimset Learns As You Go"));
    EXPECT_EQ(
        text("pageBody"),
        QStringLiteral("Every time you answer a question, Aimset gets smarter about your work."));
    EXPECT_EQ(text("startsAs"), QStringLiteral("Your aimset might start as:"));
    EXPECT_FALSE(shown("expansion"));
    sim.loop.advance(1250ms);
    EXPECT_EQ(text("page3TypingText"), QStringLiteral("Research for YouTube video"));
    sim.loop.advance(3050ms);
    settleAnimations();
    EXPECT_TRUE(shown("expansion"));
    EXPECT_EQ(text("becomes"), QStringLiteral("And naturally become:"));
    EXPECT_EQ(text("expandedAimset"),
              QStringLiteral("\"Research for YouTube video (includes GTA 6, "
                             "gaming industry news, trailer analysis)\""));
    picture(QStringLiteral("page2"));
}

TEST_F(HelpPagesQmlTest, PageThreeMovesTheGoalPickerToTwoHours) {
    openHelp();
    for (int i = 0; i < 6; ++i) {
        click("helpNextButton");
    }
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Setting a Focus Goal"));
    EXPECT_EQ(text("pageBody"),
              QStringLiteral("You can optionally set a focus goal using the "
                             "slider. Choose anywhere from 30 minutes to 3 hours."));
    EXPECT_EQ(text("focusGoal"), QStringLiteral("Focus goal"));
    EXPECT_EQ(text("goalLabel"), QStringLiteral("No goal"));
    sim.loop.advance(1000ms);
    EXPECT_EQ(text("goalLabel"), QStringLiteral("1h"));
    sim.loop.advance(1000ms);
    EXPECT_EQ(text("goalLabel"), QStringLiteral("2h"));
    EXPECT_FALSE(shown("progressInfo"));
    sim.loop.advance(5000ms);
    settleAnimations();
    EXPECT_NEAR(item("goalSlider")->property("value").toDouble(), 4.0, 0.001);
    EXPECT_EQ(text("progressInfo"),
              QStringLiteral(
                  "Once set, you'll see a progress bar and milestone notifications as you go."));
    picture(QStringLiteral("page3"));
}

TEST_F(HelpPagesQmlTest, PageFourPressesAltAndMAndShowsTheListeningPanel) {
    openHelp();
    // The card keeps one height on every page and stage, so the arrows stay
    // under the pointer.
    const auto place = [this](const char* name) {
        QQuickItem* found = item(name);
        return found ? found->mapRectToScene(QRectF(0, 0, found->width(), found->height()))
                     : QRectF();
    };
    const QRectF card = place("helpCard");
    const QRectF next = place("helpNextButton");
    for (int i = 0; i < 7; ++i) {
        click("helpNextButton");
        EXPECT_EQ(place("helpCard"), card) << "after " << i + 1 << " clicks";
        if (i < 6) {
            EXPECT_EQ(place("helpNextButton"), next) << "after " << i + 1 << " clicks";
        }
    }
    EXPECT_FALSE(shown("helpNextButton"));
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Changing Your Aimset"));
    EXPECT_EQ(text("pageBody"), QStringLiteral("Plans change. That's fine."));
    QQuickItem* press = item("pressLine");
    ASSERT_TRUE(press);
    EXPECT_EQ(press->property("lead").toString() + press->property("keys").toString() +
                  press->property("tail").toString(),
              QStringLiteral("Press Alt + M at any time. Say your new aimset out loud:"));
    EXPECT_EQ(text("optionKey"), QStringLiteral("Alt"));
    EXPECT_EQ(text("mKey"), QStringLiteral("M"));
    EXPECT_FALSE(shown("listeningPanel"));

    sim.loop.advance(2500ms);
    settleAnimations();
    EXPECT_TRUE(item("optionKey")->property("pressed").toBool());
    EXPECT_TRUE(item("mKey")->property("pressed").toBool());
    EXPECT_TRUE(shown("listeningPanel"));
    EXPECT_EQ(text("listening"), QStringLiteral("Listening..."));
    EXPECT_EQ(text("transcript"), QStringLiteral("Actually, I need to book a d")); // 28 by 2.5 s
    picture(QStringLiteral("page4-listening"));

    sim.loop.advance(2s);
    settleAnimations();
    EXPECT_FALSE(item("optionKey")->property("pressed").toBool());
    EXPECT_FALSE(shown("listeningPanel"));
    EXPECT_EQ(text("closingLine"),
              QStringLiteral("Aimset updates instantly. The AI adjusts. No friction."));
    picture(QStringLiteral("page4-closing"));
}

TEST_F(HelpPagesQmlTest, TheCloseButtonAndTheScrimCloseAndReopeningShowsPageZero) {
    openHelp();
    click("helpNextButton");
    click("helpNextButton");
    click("helpCloseButton");
    EXPECT_FALSE(view->showHelp());
    EXPECT_EQ(pages->helpPage(), 0);
    settleAnimations();
    EXPECT_FALSE(shown("helpOverlay"));

    openHelp();
    EXPECT_EQ(text("pageTitle"), QStringLiteral("What are you working on?"));
    EXPECT_EQ(text("typingText"), QStringLiteral("S"));
    // A click on the card stays on the card; one beside it closes help.
    click("helpCard");
    EXPECT_TRUE(view->showHelp());
    QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(30, 600));
    EXPECT_FALSE(view->showHelp());
}

TEST(GhostShapeTest, FillsARoundHeadStraightSidesAndAWavyHem) {
    QQmlEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    QQmlComponent component(&engine);
    component.setData("import QtQuick\nimport Aimset.Views\n"
                      "Rectangle { width: 120; height: 160; color: 'black'\n"
                      "  GhostShape { x: 0; y: 0; width: 120; height: 150 } }",
                      QUrl());
    std::unique_ptr<QObject> object(component.create());
    ASSERT_TRUE(object) << component.errorString().toStdString();
    QQuickWindow window;
    auto* item = qobject_cast<QQuickItem*>(object.get());
    item->setParentItem(window.contentItem());
    window.resize(120, 160);
    window.show();
    QImage image;
    // The canvas paints on its first frame; the next grab shows it.
    for (int attempt = 0; attempt < 20; ++attempt) {
        image = window.grabWindow();
        if (qGray(image.pixel(image.width() / 2, image.height() / 2)) > 200) {
            break;
        }
        QTest::qWait(25);
    }
    const QString folder = qEnvironmentVariable("AIMSET_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        image.save(folder + QStringLiteral("/ghost.png"));
    }
    // In points, whatever the screen's scale.
    const qreal scale = image.width() / 120.0;
    const auto filled = [&](int x, int y) {
        return qGray(image.pixel(qRound(x * scale), qRound(y * scale))) > 200;
    };
    // w = 120, h = 150: the head is a half circle of radius 60 about (60, 60).
    EXPECT_TRUE(filled(60, 75)) << "body";
    EXPECT_TRUE(filled(60, 3)) << "top of the head";
    EXPECT_FALSE(filled(4, 4)) << "left of the head's curve";
    EXPECT_FALSE(filled(115, 4)) << "right of the head's curve";
    EXPECT_TRUE(filled(2, 100)) << "left side";
    EXPECT_TRUE(filled(117, 100)) << "right side";
    // The hem: rises to h - 4 under x = w/6 and 5w/6, dips past the bottom at w/2.
    EXPECT_FALSE(filled(20, 148)) << "left scallop";
    EXPECT_FALSE(filled(100, 148)) << "right scallop";
    EXPECT_TRUE(filled(20, 143)) << "above the left scallop";
    EXPECT_TRUE(filled(60, 149)) << "middle of the hem";
    // Its middle wave hangs 3 points below the frame (the control point is 6 below).
    EXPECT_TRUE(filled(60, 151)) << "below the frame";
    EXPECT_FALSE(filled(60, 154)) << "lowest point";
    EXPECT_FALSE(filled(20, 151)) << "nothing else below the frame";
}

} // namespace
