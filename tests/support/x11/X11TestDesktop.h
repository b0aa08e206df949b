#pragma once

#include "support/SpinUntil.h"

#include <QStringList>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

namespace aimset::test {

// An xcb reply, freed when it goes.
template <typename T> std::unique_ptr<T, decltype(&std::free)> own(T* reply) {
    return {reply, &std::free};
}

// One running test client window (see TestWindow.cpp).
class TestWindow {
public:
    // Starts the client with the given options and waits until it is mapped.
    explicit TestWindow(const QStringList& options);

    xcb_window_t id() const { return m_id; }
    qint64 processId() const { return m_process.processId(); }
    void setTitle(const QString& title);
    // Lines "key press <keycode> state <mask>" received so far.
    QStringList keyLines() const { return m_process.printed.filter(QStringLiteral("key ")); }

private:
    LineProcess m_process;
    xcb_window_t m_id = 0;
};

// The test's own view of the X server: which window is active, and asking
// the window manager to activate one, as a taskbar would.
class X11TestDesktop {
public:
    X11TestDesktop();
    ~X11TestDesktop();

    bool available() const { return m_connection != nullptr; }
    xcb_window_t activeWindow();
    void activate(xcb_window_t window);
    // Activates the window and waits until the window manager reports it active.
    bool activateAndWait(xcb_window_t window);
    xcb_connection_t* connection() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    xcb_atom_t atom(const char* name);
    // A window property's value (up to 4 KiB), if the window has it.
    std::optional<QByteArray> property(xcb_window_t window, const char* name, xcb_atom_t type);
    // A property of 32-bit values (cardinals, windows, atoms); none if it is not there.
    std::vector<std::uint32_t> values(xcb_window_t window, const char* name, xcb_atom_t type);
    // Whether the key is down, as the server sees it.
    bool isKeyHeld(std::uint8_t keycode);
    // Presses or releases a key as if on the keyboard (XTest), by X key code.
    void fakeKey(std::uint8_t keycode, bool press);

private:
    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
};

} // namespace aimset::test
