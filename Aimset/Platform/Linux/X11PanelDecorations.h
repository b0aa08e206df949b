#pragma once

#include "XcbConnection.h"

#include <memory>

class QWindow;

namespace aimset {

// What makes a floating panel float on an X11 desktop beyond Qt's window
// flags (override-redirect: above every managed window, on every desktop):
// the notification type compositors expect of such windows, and no keyboard
// focus, which would take the user's Control+W.
class X11PanelDecorations {
public:
    explicit X11PanelDecorations(std::unique_ptr<XcbConnection> connection);

    void beforeShow(QWindow& window);
    void afterShow(QWindow& window);

    // Whether a compositing manager owns the screen's _NET_WM_CM_Sn now:
    // only then can a window be translucent.
    bool isCompositing();

private:
    std::unique_ptr<XcbConnection> m_x;
    xcb_atom_t m_windowType;
    xcb_atom_t m_notification;
    xcb_atom_t m_compositorSelection;
};

} // namespace aimset
