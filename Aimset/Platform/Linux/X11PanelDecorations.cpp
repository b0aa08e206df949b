#include "X11PanelDecorations.h"

#include <QGuiApplication>
#include <QWindow>

#include <string>

namespace aimset {

X11PanelDecorations::X11PanelDecorations(std::unique_ptr<XcbConnection> connection)
    : m_x(std::move(connection))
    , m_windowType(m_x->atom("_NET_WM_WINDOW_TYPE"))
    , m_notification(m_x->atom("_NET_WM_WINDOW_TYPE_NOTIFICATION"))
    , m_compositorSelection(m_x->atom("_NET_WM_CM_S" + std::to_string(m_x->screenNumber()))) {}

void X11PanelDecorations::beforeShow(QWindow& window) {
    const auto id = static_cast<std::uint32_t>(window.winId());
    // A round trip on Qt's connection puts its own window type on the server
    // before ours, which would otherwise be replaced by it.
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
    // Mapping does not restack: whatever was raised since its creation
    // (another override-redirect window) would cover it.
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(m_x->get(), static_cast<std::uint32_t>(window.winId()),
                         XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_flush(m_x->get());
}

bool X11PanelDecorations::isCompositing() {
    const auto owner = m_x->reply(xcb_get_selection_owner_reply,
                                  xcb_get_selection_owner(m_x->get(), m_compositorSelection));
    return owner && owner->owner != XCB_NONE;
}

} // namespace aimset
