#include "Platform/Linux/X11PanelDecorations.h"
#include "Platform/Qt/QtPanelHost.h"
#include "support/x11/X11TestDesktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTemporaryDir>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace aimset;
using test::TestWindow;
using namespace Qt::StringLiterals;

namespace {

// A panel with one button that records its clicks on the model it observes.
constexpr auto kButtonView = R"(
import QtQuick
Rectangle {
    required property QtObject manager
    implicitWidth: 300; implicitHeight: 120
    color: "#202020"
    Rectangle {
        objectName: "button"
        anchors.centerIn: parent
        width: 200; height: 60
        color: "white"
        MouseArea { anchors.fill: parent; onClicked: manager.objectName = "clicked" }
    }
}
)";

// What the app's three panels observe, with what they show mid-intervention.
constexpr auto kPanelModel = R"(
import QtQuick
QtObject {
    property string clarifyingQuestion: "Is this article research for the report?"
    property double clarifyTimeoutRemaining: 12
    property string currentAimset: "Finish the quarterly report"
    property double countdownRemaining: 12
    property string currentTranscription: "Plan the garden for spring"
}
)";

bool isWhite(QRgb pixel) {
    return qRed(pixel) > 235 && qGreen(pixel) > 235 && qBlue(pixel) > 235;
}
bool isDark(QRgb pixel) {
    return qRed(pixel) < 48 && qGreen(pixel) < 48 && qBlue(pixel) < 48;
}

struct X11PanelTest : ::testing::Test {
    test::X11TestDesktop desktop;
    QTemporaryDir views;
    std::unique_ptr<X11PanelDecorations> decorations;
    std::unique_ptr<QtPanelHost> host;
    QObject model;

    void SetUp() override {
        ASSERT_TRUE(desktop.available())
            << "needs an X display with a window manager: run through scripts/with-desktop.sh";
        QFile file(views.filePath(QStringLiteral("ButtonView.qml")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(kButtonView);
        file.close();
        decorations = X11PanelDecorations::create();
        ASSERT_TRUE(decorations);
        useHost(QUrl::fromLocalFile(views.path() + QLatin1Char('/')));
    }

    void useHost(const QUrl& viewsBase) {
        host = std::make_unique<QtPanelHost>(viewsBase);
        host->setWindowHooks([this](QWindow& window) { decorations->beforeShow(window); },
                             [this](QWindow& window) { decorations->afterShow(window); });
        host->setTranslucencyProbe([this] { return decorations->isCompositing(); });
    }

    static std::vector<std::uint32_t> cardinals(const std::optional<QByteArray>& bytes) {
        std::vector<std::uint32_t> values;
        if (bytes) {
            values.resize(static_cast<std::size_t>(bytes->size()) / 4);
            std::memcpy(values.data(), bytes->constData(), values.size() * 4);
        }
        return values;
    }
    PanelWindow* panelWindow() {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (auto* panel = qobject_cast<PanelWindow*>(window); panel && panel->isVisible()) {
                return panel;
            }
        }
        return nullptr;
    }
    // What the screen shows there, whoever drew it: the root window's pixels.
    QImage screen(const QRect& area) {
        auto* reply = xcb_get_image_reply(
            desktop.connection(),
            xcb_get_image(desktop.connection(), XCB_IMAGE_FORMAT_Z_PIXMAP, desktop.root(),
                          static_cast<std::int16_t>(area.x()), static_cast<std::int16_t>(area.y()),
                          static_cast<std::uint16_t>(area.width()),
                          static_cast<std::uint16_t>(area.height()), ~0u),
            nullptr);
        QImage image;
        if (reply) {
            // Depth 24 in 32-bit pixels, as QImage's RGB32.
            image =
                QImage(xcb_get_image_data(reply), area.width(), area.height(), QImage::Format_RGB32)
                    .copy();
        }
        std::free(reply);
        return image;
    }
    // Keeps a picture for a person to look at when AIMSET_SCREENSHOT_DIR names a folder.
    static void keepScreenshot(const QImage& image, const QString& name) {
        const QString folder = qEnvironmentVariable("AIMSET_SCREENSHOT_DIR");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            image.save(folder + u'/' + name + u".png"_s);
        }
    }
    xcb_window_t inputFocus() {
        auto* reply = xcb_get_input_focus_reply(desktop.connection(),
                                                xcb_get_input_focus(desktop.connection()), nullptr);
        const xcb_window_t focus = reply ? reply->focus : XCB_NONE;
        std::free(reply);
        return focus;
    }
    void click(QPoint global) {
        xcb_connection_t* c = desktop.connection();
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, desktop.root(),
                            static_cast<std::int16_t>(global.x()),
                            static_cast<std::int16_t>(global.y()), 0);
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, 1, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(c);
    }
    static void settle() {
        test::spinUntil([] { return false; }, std::chrono::milliseconds(300));
    }
    // A white window over the whole screen, in front and focused.
    std::unique_ptr<TestWindow> fullScreenPage() {
        auto page = std::make_unique<TestWindow>(
            QStringList{u"--title"_s, u"Full-screen video"_s, u"--fullscreen"_s, u"1"_s});
        EXPECT_TRUE(desktop.activateAndWait(page->id()));
        const xcb_atom_t fullScreen = desktop.atom("_NET_WM_STATE_FULLSCREEN");
        EXPECT_TRUE(test::spinUntil([&] {
            const auto state =
                cardinals(desktop.property(page->id(), "_NET_WM_STATE", XCB_ATOM_ATOM));
            return std::count(state.begin(), state.end(), fullScreen) == 1;
        }));
        settle();
        return page;
    }
};

TEST_F(X11PanelTest, APanelShowsOverAFocusedFullScreenWindowAndTakesClicksWithoutTheFocus) {
    const auto page = fullScreenPage();
    const xcb_window_t focused = inputFocus();

    auto panel = host->presentPanel(
        {QStringLiteral("ButtonView"), &model, QSize(300, 120), PanelPlacement::centred});
    ASSERT_TRUE(panel);
    PanelWindow* window = panelWindow();
    ASSERT_TRUE(window);
    const auto id = static_cast<xcb_window_t>(window->winId());
    ASSERT_TRUE(test::spinUntil([&] { return window->isExposed(); }));

    // No window manager stacks it: a notification that never takes input.
    auto* attributes = xcb_get_window_attributes_reply(
        desktop.connection(), xcb_get_window_attributes(desktop.connection(), id), nullptr);
    ASSERT_TRUE(attributes);
    EXPECT_TRUE(attributes->override_redirect);
    std::free(attributes);
    EXPECT_EQ(cardinals(desktop.property(id, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM)),
              std::vector<std::uint32_t>{desktop.atom("_NET_WM_WINDOW_TYPE_NOTIFICATION")});
    const auto hints = cardinals(desktop.property(id, "WM_HINTS", XCB_ATOM_WM_HINTS));
    ASSERT_GE(hints.size(), 2u);
    EXPECT_TRUE(hints[0] & 1u) << "the input hint is set";
    EXPECT_EQ(hints[1], 0u) << "and says: no keyboard input";

    // On screen over the full-screen window: its card and button, and the
    // page itself in the cut-off corner. Still so after the page is
    // activated, and so raised, again.
    const QRect frame = window->geometry();
    const auto panelOnTop = [&] {
        const QImage shot = screen(frame);
        return !shot.isNull() && isWhite(shot.pixel(0, 0)) && isDark(shot.pixel(20, 60)) &&
               isWhite(shot.pixel(150, 60));
    };
    EXPECT_TRUE(test::spinUntil(panelOnTop));
    desktop.activate(page->id());
    settle();
    EXPECT_TRUE(panelOnTop());
    keepScreenshot(
        screen(QRect(frame.x() - 40, frame.y() - 40, frame.width() + 80, frame.height() + 80)),
        u"panel-over-full-screen"_s);
    // Switching desktops leaves it on screen.
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = desktop.root();
    message.type = desktop.atom("_NET_CURRENT_DESKTOP");
    message.data.data32[0] = 1;
    xcb_send_event(desktop.connection(), 0, desktop.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(desktop.connection());
    EXPECT_TRUE(test::spinUntil([&] {
        return cardinals(desktop.property(desktop.root(), "_NET_CURRENT_DESKTOP",
                                          XCB_ATOM_CARDINAL)) == std::vector<std::uint32_t>{1};
    }));
    settle();
    const QImage elsewhere = screen(frame);
    EXPECT_TRUE(isDark(elsewhere.pixel(20, 60)) && isWhite(elsewhere.pixel(150, 60)));
    message.data.data32[0] = 0;
    xcb_send_event(desktop.connection(), 0, desktop.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(desktop.connection());
    ASSERT_TRUE(desktop.activateAndWait(page->id()));
    settle();

    // A click on the button reaches the view; the page stays active and
    // keeps the keyboard.
    const xcb_window_t focusBefore = inputFocus();
    click(frame.center());
    EXPECT_TRUE(test::spinUntil([&] { return model.objectName() == QStringLiteral("clicked"); }));
    settle();
    EXPECT_EQ(desktop.activeWindow(), page->id());
    EXPECT_EQ(inputFocus(), focusBefore);
    EXPECT_NE(focused, XCB_NONE);

    panel.reset();
    EXPECT_TRUE(test::spinUntil([&] { return panelWindow() == nullptr; }));
}

// The app's three panels over a white page: without a compositor the window
// is cut to the card's rounded shape (the page shows in the corners, no black
// square); with one, the window is translucent and the page shows beyond it.
TEST_F(X11PanelTest, TheAppsPanelsLookFinishedWithAndWithoutACompositor) {
    const auto page = fullScreenPage();
    useHost(QtPanelHost::defaultViewsBase);
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData(kPanelModel, QUrl());
    std::unique_ptr<QObject> manager(component.create());
    ASSERT_TRUE(manager) << component.errorString().toStdString();
    struct Panel {
        QString view;
        QSize size;
        PanelPlacement placement;
    };
    const std::vector<Panel> panels{
        {u"ClarifyingQuestionView"_s, {420, 250}, PanelPlacement::centred},
        {u"MisalignedCountdownView"_s, {420, 280}, PanelPlacement::centred},
        {u"VoiceRecordingIndicatorView"_s, {}, PanelPlacement::topCentre}};

    const auto showEach = [&](bool composited) {
        for (const Panel& each : panels) {
            SCOPED_TRACE(each.view.toStdString() + (composited ? " composited" : " plain"));
            auto panel = host->presentPanel({each.view, manager.get(), each.size, each.placement});
            ASSERT_TRUE(panel);
            PanelWindow* window = panelWindow();
            ASSERT_TRUE(window);
            EXPECT_EQ(window->isTranslucent(), composited);
            const QMargins margins = window->shadowMargins();
            const QRect card = window->geometry().marginsRemoved(margins);
            // The card and a band of page around it, on the screen.
            const QRect around = card.adjusted(-40, -40, 40, 40)
                                     .intersected(QGuiApplication::primaryScreen()->geometry());
            const QPoint origin = card.topLeft() - around.topLeft();
            const auto inside = [&](const QImage& shot) {
                return shot.pixel(origin + QPoint(card.width() / 2, 6));
            };
            const bool drawn = test::spinUntil([&] {
                const QImage shot = screen(around);
                return !shot.isNull() && isDark(inside(shot));
            });
            settle();
            const QImage shot = screen(around);
            keepScreenshot(shot, each.view + (composited ? u"-composited"_s : u"-plain"_s));
            ASSERT_TRUE(drawn) << std::hex << inside(shot);
            // The card's corner pixel is the page (with at most a shadow on
            // it), never the window's black.
            const QRgb corner = shot.pixel(origin);
            EXPECT_GT(qRed(corner), 150) << std::hex << corner;
            // Beyond the card (and its shadow, when there is one): the page.
            const QRgb farBelow = shot.pixel(origin + QPoint(card.width() / 2, card.height() + 36));
            EXPECT_TRUE(isWhite(farBelow)) << std::hex << farBelow;
        }
    };

    ASSERT_FALSE(decorations->isCompositing());
    showEach(false);

    QProcess compositor;
    compositor.start(u"xcompmgr"_s, {});
    ASSERT_TRUE(compositor.waitForStarted()) << "xcompmgr is needed (scripts/test-packages.txt)";
    ASSERT_TRUE(test::spinUntil([&] { return decorations->isCompositing(); }));
    settle();
    showEach(true);
    compositor.terminate();
    compositor.waitForFinished();
    EXPECT_TRUE(test::spinUntil([&] { return !decorations->isCompositing(); }));
}

} // namespace
