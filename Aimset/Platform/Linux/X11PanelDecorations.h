#pragma once

#include "XcbConnection.h"

#include <memory>

class QWindow;

namespace aimset {

// What makes a floating panel float on an X11 desktop beyond Qt's own window
// flags. Panels are override-redirect windows (the panel host asks Qt for
// that): no window manager stacks them, so they stay above every managed
// window, a focused full-screen one included, on every desktop. Their type is
// a notification, the type such windows carry for compositing managers, and
// they are never given the keyboard focus, which would take the user's
// Control+W.
class X11PanelDecorations {
public:
    explicit X11PanelDecorations(std::unique_ptr<XcbConnection> connection);

    void beforeShow(QWindow& window);
    void afterShow(QWindow& window);

    // Whether a compositing manager runs now (it owns the screen's
    // _NET_WM_CM_Sn selection): only then can a window be translucent.
    // Asked once per panel, so a compositor started or stopped meanwhile
    // shows in the next panel.
    bool isCompositing();

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_atom_t m_windowType;
    xcb_atom_t m_notification;
    xcb_atom_t m_compositorSelection;
};

} // namespace aimset
