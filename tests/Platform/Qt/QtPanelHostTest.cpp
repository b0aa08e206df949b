#include "Platform/Qt/QtPanelHost.h"

#include "Interventions/InterventionManager.h"
#include "Interventions/TabCloser.h"
#include "Interventions/UsageStore.h"
#include "Platform/Fake/FakeFrontTabCloser.h"
#include "Platform/Fake/FakeSecretStore.h"
#include "Runtime/VirtualMainLoop.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QQuickItem>
#include <QScreen>
#include <QTest>
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

// Keeps a picture of a panel for a person to look at when
// AIMSET_SCREENSHOT_DIR names a folder.
void keepScreenshot(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("AIMSET_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        image.save(folder + u'/' + name + u".png"_s);
    }
}

bool isWhite(QRgb pixel) {
    return qRed(pixel) > 240 && qGreen(pixel) > 240 && qBlue(pixel) > 240;
}
bool isBlack(QRgb pixel) {
    return qRed(pixel) < 16 && qGreen(pixel) < 16 && qBlue(pixel) < 16;
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
    const QRect available(0, 25, 1920, 1055);
    EXPECT_EQ(QtPanelHost::placement(available, {420, 250}, PanelPlacement::centred),
              QRect(750, 25 + 322, 420, 250));
    EXPECT_EQ(QtPanelHost::placement(available, {420, 250}, PanelPlacement::topCentre),
              QRect(750, 45, 420, 250));
    // A second screen to the right, with a panel at the left edge.
    const QRect right(1920, 0, 1280, 1024);
    EXPECT_EQ(QtPanelHost::placement(right, {400, 100}, PanelPlacement::centred),
              QRect(1920 + 440, 369, 400, 100));
}

TEST_F(QtPanelHostTest, PanelFloatsFramelessOnTopAndNeverTakesTheFocus) {
    manager.showClarifyingQuestion(u"Write the report"_s, u"Is this research?"_s);
    PanelWindow* view = onlyView();
    ASSERT_TRUE(view);
    const Qt::WindowFlags flags = view->flags();
    EXPECT_TRUE(flags.testFlag(Qt::Tool));
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(flags.testFlag(Qt::BypassWindowManagerHint));
    EXPECT_NE(QGuiApplication::focusWindow(), view);

    const QRect available = view->screen()->availableGeometry();
    EXPECT_EQ(view->geometry(),
              QtPanelHost::placement(available, {420, 250}, PanelPlacement::centred));
    EXPECT_EQ(view->minimumSize(), QSize(420, 250));
    EXPECT_EQ(view->maximumSize(), QSize(420, 250));
    EXPECT_EQ(view->view()->property("manager").value<QObject*>(), &manager);
}

TEST_F(QtPanelHostTest, EveryShowIsAFreshWindowAndAHiddenOneIsDropped) {
    manager.startMisalignedCountdown(u"Write the report"_s, u"Video"_s);
    QPointer<PanelWindow> first = onlyView();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->width(), 420);
    EXPECT_GE(first->height(), 280);
    manager.autoDismiss();
    EXPECT_TRUE(visibleViews().isEmpty());
    runDeferredDeletes();
    EXPECT_FALSE(first);

    manager.startMisalignedCountdown(u"Write the report"_s, u"Video"_s);
    QPointer<PanelWindow> second = onlyView();
    ASSERT_TRUE(second);
    EXPECT_EQ(visibleViews().size(), 1);
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
    auto panel = host.presentPanel(PanelRequest{u"NoSuchView"_s, &manager, {100, 100}});
    EXPECT_FALSE(panel);
    EXPECT_TRUE(visibleViews().isEmpty());
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines.first().startsWith(u"[Panel] Could not load view NoSuchView: "_s))
        << lines.first().toStdString();
}

TEST_F(QtPanelHostTest, QuestionPanelDrawsTheCardAndTakesTheClickThatEndsIt) {
    manager.showClarifyingQuestion(u"Write the report"_s,
                                   u"Is this article research for the report?"_s);
    loop.advance(16s);
    QPointer<PanelWindow> view = onlyView();
    ASSERT_TRUE(view);
    const QImage image = view->grabWindow();
    keepScreenshot(image, u"ClarifyingQuestionView"_s);
    ASSERT_EQ(image.size(), QSize(420, 250));

    auto* yesButton = view->view()->findChild<QQuickItem*>(u"yesButton"_s);
    auto* noButton = view->view()->findChild<QQuickItem*>(u"noButton"_s);
    ASSERT_TRUE(yesButton && noButton);
    const QPoint yesCorner = yesButton->mapToScene({4, 4}).toPoint();
    const QPoint noInside = noButton->mapToScene({4, 4}).toPoint();
    EXPECT_TRUE(isWhite(image.pixel(yesCorner)));
    EXPECT_TRUE(isBlack(image.pixel(noInside)));
    EXPECT_TRUE(isBlack(image.pixel(1, 1)));
    EXPECT_TRUE(isBlack(image.pixel(210, 5)) || !isWhite(image.pixel(210, 5)));

    QString expanded;
    QObject::connect(&manager, &InterventionManager::aimsetExpanded,
                     [&](const QString& aimset) { expanded = aimset; });
    const QPointF centre = yesButton->mapToScene({yesButton->width() / 2, yesButton->height() / 2});
    QTest::mouseClick(view.data(), Qt::LeftButton, {}, centre.toPoint());
    EXPECT_EQ(expanded, u"Write the report"_s);
    EXPECT_EQ(manager.phase(), InterventionManager::Phase::hidden);
    EXPECT_TRUE(visibleViews().isEmpty());
    runDeferredDeletes();
    EXPECT_FALSE(view);
}

TEST_F(QtPanelHostTest, CountdownPanelDrawsTheSecondsOnTheCard) {
    manager.startMisalignedCountdown(u"Finish the quarterly report"_s, u"Video"_s);
    loop.advance(3s);
    PanelWindow* view = onlyView();
    ASSERT_TRUE(view);
    // Opened at the size its content needs, at least the planned 420 x 280,
    // and not resized after.
    const QSize opened = view->size();
    EXPECT_EQ(opened.width(), 420);
    EXPECT_GE(opened.height(), 280);
    EXPECT_EQ(opened.height(),
              std::max(280, qCeil(view->view()->property("implicitHeight").toDouble())));
    QCoreApplication::processEvents();
    EXPECT_EQ(view->size(), opened);
    const QImage image = view->grabWindow();
    keepScreenshot(image, u"MisalignedCountdownView"_s);
    ASSERT_EQ(image.size(), opened);

    auto* seconds = view->view()->findChild<QQuickItem*>(u"seconds"_s);
    ASSERT_TRUE(seconds);
    EXPECT_EQ(seconds->property("text").toString(), u"12"_s);
    // The big number is drawn in white somewhere on its line.
    const QRectF line = seconds->mapRectToScene(QRectF(0, 0, seconds->width(), seconds->height()));
    int whitePixels = 0;
    for (int y = int(line.top()); y < int(line.bottom()); ++y) {
        for (int x = int(line.left()); x < int(line.right()); ++x) {
            whitePixels += isWhite(image.pixel(x, y)) ? 1 : 0;
        }
    }
    EXPECT_GT(whitePixels, 100);
}

} // namespace
