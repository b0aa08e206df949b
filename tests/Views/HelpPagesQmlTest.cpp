#include "QmlWindowRig.h"
#include "Session/ContentView.h"
#include "support/QtPrinters.h"
#include "support/SimulatedDesktop.h"

#include <QImage>
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
        // The help's names, looked up in the help only.
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
        rig.click(target);
    }
    void openHelp() {
        click("helpButton");
        ASSERT_TRUE(view->showHelp());
        settleAnimations();
    }
};

// The pages' words at each moment are the help-pages scenario's; here the
// buttons walk them, the card holds still and the demonstrations reach the QML.
TEST_F(HelpPagesQmlTest, TheButtonsWalkEveryPageWhileTheCardHoldsStill) {
    openHelp();
    EXPECT_FALSE(shown("helpBackButton"));
    EXPECT_EQ(text("typingText"), QStringLiteral("S"));
    picture(QStringLiteral("page0"));
    const auto place = [this](const char* name) {
        QQuickItem* found = item(name);
        return found ? found->mapRectToScene(QRectF(0, 0, found->width(), found->height()))
                     : QRectF();
    };
    const QRectF card = place("helpCard");
    const QRectF next = place("helpNextButton");
    const char* const titles[] = {
        "Aimset knows if you're distracted or focused",
        "Nothing (You're on track)",
        "A Quick Question",
        "A Nudge (You've drifted)",
        "Aimset Learns As You Go",
        "Setting a Focus Goal",
        "Changing Your Aimset",
    };
    for (const char* title : titles) {
        click("helpNextButton");
        EXPECT_EQ(text("pageTitle"), QString::fromUtf8(title));
        // The arrows stay under the pointer.
        EXPECT_EQ(place("helpCard"), card) << title;
        if (shown("helpNextButton")) {
            EXPECT_EQ(place("helpNextButton"), next) << title;
        }
    }
    EXPECT_FALSE(shown("helpNextButton"));

    sim.loop.advance(2500ms);
    settleAnimations();
    EXPECT_TRUE(item("optionKey")->property("pressed").toBool());
    EXPECT_TRUE(item("mKey")->property("pressed").toBool());
    EXPECT_TRUE(shown("listeningPanel"));
    EXPECT_EQ(text("transcript"), QStringLiteral("Actually, I need to book a d"));
    picture(QStringLiteral("page4-listening"));

    click("helpBackButton");
    EXPECT_EQ(text("pageTitle"), QStringLiteral("Setting a Focus Goal"));
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

} // namespace
