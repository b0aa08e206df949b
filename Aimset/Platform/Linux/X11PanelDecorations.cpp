#include "X11PanelDecorations.h"

#include <QGuiApplication>
#include <QWindow>

#include <string>

namespace aimset {

std::unique_ptr<X11PanelDecorations> X11PanelDecorations::create(const char* display) {
    auto connection = XcbConnection::open(display);
    if (!connection) {
        return nullptr;
    }
    int screenNumber = 0;
    for (auto screens = xcb_setup_roots_iterator(xcb_get_setup(connection->get()));
         screens.rem && screens.data->root != connection->root(); xcb_screen_next(&screens)) {
        ++screenNumber;
    }
    return std::unique_ptr<X11PanelDecorations>(
        new X11PanelDecorations(std::move(connection), screenNumber));
}

X11PanelDecorations::X11PanelDecorations(std::unique_ptr<XcbConnection> connection,
                                         int screenNumber)
    : m_x(std::move(connection))
    , m_windowType(m_x->atom("_NET_WM_WINDOW_TYPE"))
    , m_notification(m_x->atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"))
    , m_compositorSelection(m_x->atom("_NET_WM_CM_S" + std::to_string(screenNumber))) {}

void X11PanelDecorations::beforeShow(QWindow& window) {
    const auto id = static_cast<std::uint32_t>(window.winId());
    // Qt may still hold the window's creation and its own properties on its
    // connection; one round trip there puts them on the server before ours,
    // or Qt's type would replace the notification type.
    if (auto* qt = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
        XcbConnection::sync(qt->connection());
    }
    // Qt names a tool window a utility; a compositor gives a notification
    // the treatment of a transient bubble (no window animations of its own).
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, id, m_windowType, XCB_ATOM_ATOM, 32, 1,
                        &m_notification);
    // ICCCM hints: flags = InputHint, input = false.
    const std::uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                        32, 9, hints);
    // A round trip, not a flush: the type must be on the server before Qt
    // maps the window on its own connection, or the compositor sees a utility.
    XcbConnection::sync(m_x->get());
}

void X11PanelDecorations::afterShow(QWindow& window) {
    // Mapping does not restack: the window sits where it was created, and
    // whatever was raised since (another override-redirect window) would
    // cover it.
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_x->get(), static_cast<std::uint32_t>(window.winId()),
                         XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_x->get());
}

bool X11PanelDecorations::isCompositing() {
    XcbReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        m_x->get(), xcb_get_selection_owner(m_x->get(), m_compositorSelection), nullptr));
    return reply && reply->owner != XCB_NONE;
}

} // namespace aimset
