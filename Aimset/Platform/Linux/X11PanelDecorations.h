#pragma once

#include "XcbConnection.h"

#include <initializer_list>
#include <memory>

class QWindow;

namespace aimset {

// What makes a floating panel float on an X11 desktop beyond Qt's own window
// flags: present on every desktop (set before the window maps, so the window
// manager places it there at once), sticky and above once it shows, and never
// given the keyboard focus, which would take the user's Control+W.
class X11PanelDecorations {
public:
    // Null when no X server can be reached.
    static std::unique_ptr<X11PanelDecorations> create(const char* display = nullptr);

    void beforeShow(QWindow& window);
    void afterShow(QWindow& window);

private:
    explicit X11PanelDecorations(std::unique_ptr<XcbConnection> connection);
    // A client message to the window manager about one of our windows.
    void askWindowManager(std::uint32_t window, xcb_atom_t type,
                          std::initializer_list<std::uint32_t> data);

    std::unique_ptr<XcbConnection> m_x;
    xcb_atom_t m_netWmDesktop;
    xcb_atom_t m_netWmState;
    xcb_atom_t m_sticky;
    xcb_atom_t m_above;
};

} // namespace aimset
