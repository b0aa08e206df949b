#pragma once

#include "Platform/Workspace.h"
#include "support/SpinUntil.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace aimset::test {

// An application as a desktop backend reports it: "name (id) pid", "?" for
// what it does not know, or "none".
inline QString describe(const std::optional<RunningApplication>& app) {
    return app ? QStringLiteral("%1 (%2) %3")
                     .arg(app->localizedName.value_or(QStringLiteral("?")),
                          app->bundleIdentifier.value_or(QStringLiteral("?")))
                     .arg(app->processIdentifier)
               : QStringLiteral("none");
}

// An xcb reply, freed when it goes.
template <typename T> std::unique_ptr<T, decltype(&std::free)> own(T* reply) {
    return {reply, &std::free};
}

// The test's own view of the X server: which window is active, and asking
// the window manager to activate one, as a taskbar would (xdotool does).
class X11TestDesktop {
public:
    X11TestDesktop() {
        if (xcb_connection_has_error(connection())) {
            m_connection.reset();
            return;
        }
        m_root = xcb_setup_roots_iterator(xcb_get_setup(connection())).data->root;
        // A key an earlier test program left held (it failed or was cut short)
        // would change every key this test sends: start with none held.
        for (int keycode = 8; keycode < 256; ++keycode) {
            if (isKeyHeld(static_cast<std::uint8_t>(keycode))) {
                fakeKey(static_cast<std::uint8_t>(keycode), false);
            }
        }
    }

    bool available() const { return m_connection != nullptr; }
    // Activates the window and waits until the window manager reports it active.
    bool activateAndWait(xcb_window_t window) {
        run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QString::number(window)});
        return spinUntil([&] {
            return values(m_root, "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW) ==
                   std::vector<std::uint32_t>{window};
        });
    }
    xcb_connection_t* connection() const { return m_connection.get(); }
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char* name) {
        auto reply = own(xcb_intern_atom_reply(
            connection(),
            xcb_intern_atom(connection(), 0, static_cast<std::uint16_t>(std::strlen(name)), name),
            nullptr));
        return reply ? reply->atom : 0;
    }
    // A property of 32-bit values (cardinals, windows, atoms); none if it is not there.
    std::vector<std::uint32_t> values(xcb_window_t window, const char* name, xcb_atom_t type) {
        auto reply = own(xcb_get_property_reply(
            connection(), xcb_get_property(connection(), 0, window, atom(name), type, 0, 1024),
            nullptr));
        if (!reply || reply->format != 32) {
            return {};
        }
        const auto* data = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        return {data, data + xcb_get_property_value_length(reply.get()) / 4};
    }
    // Whether the key is down, as the server sees it.
    bool isKeyHeld(std::uint8_t keycode) {
        auto reply =
            own(xcb_query_keymap_reply(connection(), xcb_query_keymap(connection()), nullptr));
        return reply && (reply->keys[keycode / 8] & (1u << (keycode % 8)));
    }
    // Presses or releases a key as if on the keyboard (XTest), by X key code.
    void fakeKey(std::uint8_t keycode, bool press) {
        xcb_test_fake_input(connection(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_flush(connection());
    }

private:
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> m_connection{
        xcb_connect(nullptr, nullptr), &xcb_disconnect};
    xcb_window_t m_root = 0;
};

// The fixture of every test on the X desktop.
struct X11DesktopTest : ::testing::Test {
    X11TestDesktop desktop;

    void SetUp() override {
        ASSERT_TRUE(desktop.available())
            << "needs an X display with a window manager: run through scripts/with-desktop.sh";
    }
};

// One running test client window (see TestWindow.cpp).
class TestWindow {
public:
    // Starts the client with the given options and waits until it is mapped.
    explicit TestWindow(const QStringList& options) {
        m_process.launch(QStringLiteral(AIMSET_TEST_WINDOW_PATH), options);
        // Its first line, once mapped, is "ready <window id>".
        if (!spinUntil([this] { return !m_process.printed.isEmpty(); }, std::chrono::seconds(20))) {
            throw std::runtime_error("the test window was never mapped");
        }
        m_id = m_process.printed.first().mid(6).toUInt();
        // The window manager is done with a new window once it has framed it;
        // only then has it also decided whether to give it the focus.
        X11TestDesktop desktop;
        spinUntil(
            [&] { return !desktop.values(m_id, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL).empty(); });
        settle(std::chrono::milliseconds(200));
    }

    xcb_window_t id() const { return m_id; }
    qint64 processId() const { return m_process.processId(); }
    void setTitle(const QString& title) {
        const qsizetype before = m_process.printed.count(QStringLiteral("titled"));
        m_process.write("title " + title.toUtf8() + '\n');
        spinUntil([&] { return m_process.printed.count(QStringLiteral("titled")) > before; });
    }
    // Lines "key press <keycode> state <mask>" received so far.
    QStringList keyLines() const { return m_process.printed.filter(QStringLiteral("key ")); }

private:
    LineProcess m_process;
    xcb_window_t m_id = 0;
};

} // namespace aimset::test
