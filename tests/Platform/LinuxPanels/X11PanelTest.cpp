#include "Platform/Linux/X11PanelDecorations.h"
#include "Platform/Qt/QtPanelHost.h"
#include "support/x11/X11TestDesktop.h"

#include <QFile>
#include <QGuiApplication>
#include <QQuickView>
#include <QTemporaryDir>
#include <QWindow>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace aimset;
using test::TestWindow;

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
        host = std::make_unique<QtPanelHost>(QUrl::fromLocalFile(views.path() + QLatin1Char('/')));
        host->setWindowHooks([this](QWindow& window) { decorations->beforeShow(window); },
                             [this](QWindow& window) { decorations->afterShow(window); });
    }

    std::optional<QByteArray> property(xcb_window_t window, const char* name, xcb_atom_t type) {
        auto* reply = xcb_get_property_reply(
            desktop.connection(),
            xcb_get_property(desktop.connection(), 0, window, desktop.atom(name), type, 0, 64),
            nullptr);
        std::optional<QByteArray> value;
        if (reply && reply->type != XCB_ATOM_NONE) {
            value = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        }
        std::free(reply);
        return value;
    }
    static std::vector<std::uint32_t> cardinals(const std::optional<QByteArray>& bytes) {
        std::vector<std::uint32_t> values;
        if (bytes) {
            values.resize(static_cast<std::size_t>(bytes->size()) / 4);
            std::memcpy(values.data(), bytes->constData(), values.size() * 4);
        }
        return values;
    }
    QQuickView* panelWindow() {
        for (QWindow* window : QGuiApplication::topLevelWindows()) {
            if (auto* view = qobject_cast<QQuickView*>(window); view && view->isVisible()) {
                return view;
            }
        }
        return nullptr;
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
};

TEST_F(X11PanelTest, APanelFloatsOnEveryDesktopWithoutTakingFocusAndTakesClicks) {
    TestWindow user({QStringLiteral("--title"), QStringLiteral("The user's work")});
    ASSERT_TRUE(desktop.activateAndWait(user.id()));

    auto panel = host->presentPanel(
        {QStringLiteral("ButtonView"), &model, QSize(300, 120), PanelPlacement::centred});
    ASSERT_TRUE(panel);
    QQuickView* view = panelWindow();
    ASSERT_TRUE(view);
    const auto id = static_cast<xcb_window_t>(view->winId());
    ASSERT_TRUE(test::spinUntil([&] { return view->isExposed(); }));

    // On every desktop, sticky and above, and never focusable.
    const xcb_atom_t sticky = desktop.atom("_NET_WM_STATE_STICKY");
    const xcb_atom_t above = desktop.atom("_NET_WM_STATE_ABOVE");
    // Sticky is asked for too, but only window managers that know it (openbox
    // does not: all desktops is its sticky) show it in the state.
    const auto supported = cardinals(property(desktop.root(), "_NET_SUPPORTED", XCB_ATOM_ATOM));
    const bool knowsSticky = std::count(supported.begin(), supported.end(), sticky) == 1;
    EXPECT_TRUE(test::spinUntil([&] {
        const auto state = cardinals(property(id, "_NET_WM_STATE", XCB_ATOM_ATOM));
        return std::count(state.begin(), state.end(), above) == 1 &&
               (!knowsSticky || std::count(state.begin(), state.end(), sticky) == 1);
    }));
    // The window manager kept the panel on all desktops once it mapped it.
    EXPECT_EQ(cardinals(property(id, "_NET_WM_DESKTOP", XCB_ATOM_CARDINAL)),
              std::vector<std::uint32_t>{0xFFFFFFFF});
    const auto hints = cardinals(property(id, "WM_HINTS", XCB_ATOM_WM_HINTS));
    ASSERT_GE(hints.size(), 2u);
    EXPECT_TRUE(hints[0] & 1u) << "the input hint is set";
    EXPECT_EQ(hints[1], 0u) << "and says: no keyboard input";

    test::spinUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(desktop.activeWindow(), user.id());

    // A click on the button reaches the view and leaves the user's window active.
    const QRect frame = view->geometry();
    click(frame.center());
    EXPECT_TRUE(test::spinUntil([&] { return model.objectName() == QStringLiteral("clicked"); }));
    test::spinUntil([] { return false; }, std::chrono::milliseconds(200));
    EXPECT_EQ(desktop.activeWindow(), user.id());

    panel.reset();
    EXPECT_TRUE(test::spinUntil([&] { return panelWindow() == nullptr; }));
}

} // namespace
