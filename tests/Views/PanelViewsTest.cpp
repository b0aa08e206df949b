#include "Interventions/InterventionManager.h"
#include "Interventions/UsageStore.h"
#include "Platform/Qt/QtPanelHost.h"
#include "Simulator/SimulatedDesktop.h"
#include "Voice/VoiceAimsetManager.h"

#include <QGuiApplication>
#include <QQuickItem>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// The real panels: each view in a panel of the Qt panel host, over its
// component on the simulated desktop.
struct PanelViewsTest : ::testing::Test {
    SimulatedDesktop sim;
    QtPanelHost panels;
    VoiceAimsetManager voice{sim.loop, sim.speech, panels};

    PanelWindow* panel() {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (auto* view = qobject_cast<PanelWindow*>(window); view && view->isVisible()) {
                return view;
            }
        }
        ADD_FAILURE() << "no panel on screen";
        return nullptr;
    }
    QQuickItem* item(PanelWindow* view, const char* name) {
        auto* found = view->view()->findChild<QQuickItem*>(QString::fromLatin1(name));
        EXPECT_TRUE(found) << name;
        return found;
    }
    // Draws the panel after every change has been laid out.
    static void draw(PanelWindow* view) {
        view->grabWindow();
        view->grabWindow();
    }
    static QRectF place(QQuickItem* item) {
        return item->mapRectToScene(QRectF(0, 0, item->width(), item->height()));
    }
    void hear(const QString& words) {
        sim.speech.hear(words);
        sim.loop.runPending();
    }
    // The words' painted area lies inside the panel, clear of its padding.
    void expectWordsInside(PanelWindow* view) {
        QQuickItem* words = item(view, "transcriptionLabel");
        const double painted = words->property("contentWidth").toDouble();
        EXPECT_LE(painted, words->width() + 0.5);
        const QRectF area =
            words->mapRectToScene(QRectF((words->width() - painted) / 2, 0, painted,
                                         words->property("contentHeight").toDouble()));
        EXPECT_TRUE(
            QRectF(QPointF(0, 0), QSizeF(view->size())).adjusted(16, 8, -16, -8).contains(area))
            << "words at " << area.x() << "," << area.y() << " " << area.width() << "x"
            << area.height() << " in a panel of " << view->width() << "x" << view->height();
    }
};

TEST_F(PanelViewsTest, TheListeningPanelGrowsWithTheWordsAndWrapsThemToTwoLines) {
    voice.startListening();
    PanelWindow* view = panel();
    ASSERT_TRUE(view);
    EXPECT_FALSE(item(view, "transcriptionLabel")->isVisible());
    draw(view);
    const int narrow = view->width();

    // One line, wider than the panel first placed: the panel widens, centred again.
    hear(u"finish the quarterly report"_s);
    draw(view);
    QQuickItem* words = item(view, "transcriptionLabel");
    EXPECT_EQ(words->property("lineCount").toInt(), 1);
    EXPECT_GT(view->width(), narrow);
    EXPECT_LE(view->width(), 300);
    EXPECT_NEAR(view->geometry().center().x(), view->screen()->availableGeometry().center().x(), 1);
    expectWordsInside(view);

    // Longer than the widest panel: two lines, cut at the end of the second.
    hear(u"finish the quarterly report for the finance team and then send it to everyone on "
         "the distribution list before the end of the afternoon"_s);
    draw(view);
    EXPECT_EQ(words->property("lineCount").toInt(), 2);
    EXPECT_TRUE(words->property("truncated").toBool());
    EXPECT_EQ(view->width(), 300);
    expectWordsInside(view);
}

// The words of the line as the seconds run down are the question-times-out
// scenario's, "yes" is the question-yes scenario's and "no" the end-to-end
// test's; here the line fades in below the buttons without moving them.
TEST_F(PanelViewsTest, TheQuestionsAutoClosingLineAppearsFromFifteenSecondsDownAndMovesNothing) {
    UsageStore usage{sim.secrets};
    InterventionManager manager{sim.loop, panels, sim.frontTab, usage,
                                [](std::function<void()> task) { task(); }};
    manager.showClarifyingQuestion(u"Write the report"_s,
                                   u"Is this article research for the report?"_s);
    PanelWindow* view = panel();
    ASSERT_TRUE(view);
    QQuickItem* line = item(view, "autoClosing");
    sim.loop.advance(14s);
    draw(view);
    EXPECT_EQ(line->opacity(), 0.0);
    const QRectF yes = place(item(view, "yesButton"));

    sim.loop.advance(1s);
    draw(view);
    EXPECT_EQ(line->opacity(), 1.0);
    EXPECT_EQ(place(item(view, "yesButton")), yes);
    EXPECT_GT(place(line).top(), yes.bottom());
}

} // namespace
