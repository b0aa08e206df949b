#include "Platform/Qt/QtPanelHost.h"

#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"

#include <QGuiApplication>
#include <QPointer>
#include <QQuickItem>
#include <QScreen>
#include <QtMath>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

QList<PanelWindow*> visibleViews() {
    QList<PanelWindow*> views;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* view = qobject_cast<PanelWindow*>(window); view && view->isVisible()) {
            views << view;
        }
    }
    return views;
}

void runDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

struct QtPanelHostTest : ::testing::Test {
    test::LogCapture log;
    VirtualMainLoop loop;
    QtPanelHost host;
    FakeFrontTabCloser keys;
    TabCloser tabCloser{keys};
    FakeSecretStore secrets;
    UsageStore usage{secrets};
    InterventionManager manager{loop, host, tabCloser, usage,
                                [](std::function<void()> task) { task(); }};

    ~QtPanelHostTest() override {
        manager.autoDismiss();
        runDeferredDeletes();
    }

    PanelWindow* onlyView() {
        const auto views = visibleViews();
        EXPECT_EQ(views.size(), 1);
        return views.isEmpty() ? nullptr : views.first();
    }
};

TEST(QtPanelHostPlacementTest, CentresALittleAboveTheMiddleOrNearTheTop) {
    // A second screen to the right, below a top bar.
    const QRect right(1920, 25, 1280, 1024);
    EXPECT_EQ(QtPanelHost::placement(right, {400, 100}, PanelPlacement::centred),
              QRect(1920 + 440, 25 + 369, 400, 100));
    EXPECT_EQ(QtPanelHost::placement(right, {400, 100}, PanelPlacement::topCentre),
              QRect(1920 + 440, 45, 400, 100));
}

// Every show is a fresh window where its placement says, at the size its
// content needs (at least 420 x 280) and not resized after; a hidden one is
// dropped.
TEST_F(QtPanelHostTest, EveryShowIsAFreshWindowOfItsContentsSizeAndAHiddenOneIsDropped) {
    for (int show = 0; show < 2; ++show) {
        manager.startMisalignedCountdown(u"Finish the quarterly report"_s, u"Video"_s);
        loop.advance(3s);
        QPointer<PanelWindow> view = onlyView();
        ASSERT_TRUE(view);
        const QSize size(420,
                         std::max(280, qCeil(view->view()->property("implicitHeight").toDouble())));
        EXPECT_EQ(view->geometry(), QtPanelHost::placement(view->screen()->availableGeometry(),
                                                           size, PanelPlacement::centred));
        QCoreApplication::processEvents();
        EXPECT_EQ(view->size(), size);
        manager.autoDismiss();
        EXPECT_TRUE(visibleViews().isEmpty());
        runDeferredDeletes();
        EXPECT_FALSE(view);
    }
}

TEST_F(QtPanelHostTest, PanelsGoWithTheirHost) {
    std::unique_ptr<FloatingPanel> panel;
    QPointer<PanelWindow> view;
    {
        QtPanelHost shortLived;
        panel = shortLived.presentPanel(
            PanelRequest{u"MisalignedCountdownView"_s, &manager, {420, 280}});
        ASSERT_TRUE(panel);
        view = onlyView();
        ASSERT_TRUE(view);
    }
    EXPECT_FALSE(view);
    panel->orderOut();
    panel.reset();
    runDeferredDeletes();
    EXPECT_TRUE(visibleViews().isEmpty());
}

TEST_F(QtPanelHostTest, AViewThatCannotLoadIsReportedAndShowsNothing) {
    EXPECT_FALSE(host.presentPanel(PanelRequest{u"NoSuchView"_s, &manager, {100, 100}}));
    EXPECT_TRUE(visibleViews().isEmpty());
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith(u"[Panel] Could not load view NoSuchView: "_s));
}

} // namespace
