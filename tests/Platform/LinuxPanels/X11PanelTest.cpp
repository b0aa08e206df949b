#include "Platform/Linux/X11PanelDecorations.h"
#include "Platform/Qt/QtPanelHost.h"
#include "support/LogCapture.h"
#include "support/x11/X11TestDesktop.h"

#include <QGuiApplication>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QtMath>

#include <xcb/xcb.h>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using test::TestWindow;

namespace {

const QString kNoCard = u"no card on the screen"_s;

PanelWindow* panelWindow() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (auto* panel = qobject_cast<PanelWindow*>(window); panel && panel->isVisible()) {
            return panel;
        }
    }
    return nullptr;
}

TEST(QtPanelHostPlacementTest, CentresALittleAboveTheMiddleOrNearTheTop) {
    // A second screen to the right, below a top bar.
    const QRect right(1920, 25, 1280, 1024);
    EXPECT_EQ(QtPanelHost::placement(right, {400, 100}, PanelPlacement::centred),
              QRect(1920 + 440, 25 + 369, 400, 100));
    EXPECT_EQ(QtPanelHost::placement(right, {400, 100}, PanelPlacement::topCentre),
              QRect(1920 + 440, 45, 400, 100));
}

// The app's panels, through the app's panel host, over a white full-screen
// window that is in front and focused. The panels are drawn without a
// manager: what is checked is the card and its window, not the texts.
struct X11PanelTest : test::X11DesktopTest {
    std::unique_ptr<X11PanelDecorations> decorations = openOnX<X11PanelDecorations>();
    QtPanelHost host;
    TestWindow page{{u"--title"_s, u"Full-screen video"_s, u"--fullscreen"_s, u"1"_s}};

    void SetUp() override {
        X11DesktopTest::SetUp();
        ASSERT_TRUE(decorations);
        host.beforeShow = [this](QWindow& window) { decorations->beforeShow(window); };
        host.afterShow = [this](QWindow& window) { decorations->afterShow(window); };
        host.isTranslucent = [this] { return decorations->isCompositing(); };

        ASSERT_TRUE(desktop.activateAndWait(page.id()));
        const xcb_atom_t fullScreen = desktop.atom("_NET_WM_STATE_FULLSCREEN");
        ASSERT_TRUE(test::spinUntil([&] {
            const auto state = desktop.values(page.id(), "_NET_WM_STATE", XCB_ATOM_ATOM);
            return std::count(state.begin(), state.end(), fullScreen) == 1;
        }));
        test::settle();
    }

    // What is wrong with the panel on the screen, or nothing: its card is
    // drawn; in the card's cut-off corner the page shows (with at most a
    // shadow on it), never the window's black; beyond the card and its
    // shadow, the page.
    QString flaw(const PanelWindow& window) {
        const QRect card = window.geometry().marginsRemoved(window.shadowMargins());
        const QRect around = card.adjusted(-40, -40, 40, 40)
                                 .intersected(QGuiApplication::primaryScreen()->geometry());
        // What the screen shows there, whoever drew it: the root window's pixels.
        const QImage shot =
            QGuiApplication::primaryScreen()
                ->grabWindow(0, around.x(), around.y(), around.width(), around.height())
                .toImage();
        const QPoint origin = card.topLeft() - around.topLeft();
        if (shot.isNull() || qGray(shot.pixel(origin + QPoint(card.width() / 2, 6))) >= 48) {
            return kNoCard;
        }
        const QRgb corner = shot.pixel(origin);
        const QRgb below = shot.pixel(origin + QPoint(card.width() / 2, card.height() + 36));
        return qRed(corner) > 150 && qGray(below) > 235
                   ? QString()
                   : u"corner %1, below %2"_s.arg(corner, 0, 16).arg(below, 0, 16);
    }

    void switchDesktop(std::uint32_t number) {
        ASSERT_EQ(QProcess::execute(u"xdotool"_s, {u"set_desktop"_s, QString::number(number)}), 0);
        EXPECT_TRUE(test::spinUntil([&] {
            return desktop.values(desktop.root(), "_NET_CURRENT_DESKTOP", XCB_ATOM_CARDINAL) ==
                   std::vector<std::uint32_t>{number};
        }));
        test::settle();
    }
};

// Each of the app's panels over a focused full-screen window: no window
// manager stacks it (a notification), so it stays on screen when that window
// is activated and so raised again, and on every desktop. Without a
// compositor the window is cut to the card's rounded shape; with one, it is
// translucent and the card casts its shadow.
TEST_F(X11PanelTest, TheAppsPanelsStayOnTopAndLookFinishedWithAndWithoutACompositor) {
    const auto showEach = [&](bool composited) {
        for (const auto& [view, size, placement] :
             {std::tuple{u"ClarifyingQuestionView"_s, QSize(420, 250), PanelPlacement::centred},
              {u"MisalignedCountdownView"_s, QSize(420, 280), PanelPlacement::centred},
              {u"VoiceRecordingIndicatorView"_s, QSize(), PanelPlacement::topCentre}}) {
            SCOPED_TRACE(view.toStdString() + (composited ? " composited" : " plain"));
            auto panel = host.presentPanel({view, nullptr, size, placement});
            ASSERT_TRUE(panel);
            QPointer<PanelWindow> window = panelWindow();
            ASSERT_TRUE(window);
            EXPECT_EQ(window->isTranslucent(), composited);
            EXPECT_EQ(desktop.values(static_cast<xcb_window_t>(window->winId()),
                                     "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM),
                      std::vector<std::uint32_t>{desktop.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION")});
            test::spinUntil([&] { return flaw(*window).isEmpty(); });
            test::settle();
            EXPECT_EQ(flaw(*window), QString());
            // Once drawn, the card is where its placement says, at the size
            // its content needs if that is more than was asked for.
            const QQuickItem& content = *window->view();
            const QSize card = size.expandedTo(
                QSize(qCeil(content.implicitWidth()), qCeil(content.implicitHeight())));
            EXPECT_EQ(
                window->geometry().marginsRemoved(window->shadowMargins()),
                QtPanelHost::placement(window->screen()->availableGeometry(), card, placement));
            desktop.activateAndWait(page.id());
            test::settle();
            EXPECT_EQ(flaw(*window), QString()) << "after the page was raised";
            switchDesktop(1);
            EXPECT_NE(flaw(*window), kNoCard) << "on another desktop, with no page under it";
            switchDesktop(0);
            // Every show is a fresh window, dropped once hidden.
            panel.reset();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            EXPECT_FALSE(window);
        }
    };
    ASSERT_FALSE(decorations->isCompositing());
    showEach(false);

    {
        test::LineProcess compositor; // xcompmgr, from scripts/test-packages.txt
        compositor.launch(u"xcompmgr"_s, {});
        ASSERT_TRUE(test::spinUntil([&] { return decorations->isCompositing(); }));
        test::settle();
        showEach(true);
    }
    EXPECT_TRUE(test::spinUntil([&] { return !decorations->isCompositing(); }));
}

// A view that cannot load is said and shows nothing; panels go with their host.
TEST_F(X11PanelTest, AViewThatCannotLoadIsSaidAndPanelsGoWithTheirHost) {
    test::LogCapture log;
    EXPECT_FALSE(host.presentPanel({u"NoSuchView"_s, nullptr, {100, 100}}));
    EXPECT_EQ(panelWindow(), nullptr);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith(u"[Panel] Could not load view NoSuchView: "_s));
    std::unique_ptr<FloatingPanel> panel;
    QPointer<PanelWindow> window;
    {
        QtPanelHost shortLived;
        panel = shortLived.presentPanel({u"MisalignedCountdownView"_s, nullptr, {420, 280}});
        window = panelWindow();
        ASSERT_TRUE(window);
    }
    EXPECT_FALSE(window);
    panel.reset(); // outliving its host, it does no harm as it goes
}

} // namespace
