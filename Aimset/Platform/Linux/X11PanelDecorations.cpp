#include "X11PanelDecorations.h"

#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace aimset {

namespace {
constexpr std::uint32_t kAllDesktops = 0xFFFFFFFF;
constexpr std::uint32_t kStateAdd = 1;
constexpr std::uint32_t kSourceApplication = 1;
} // namespace

std::unique_ptr<X11PanelDecorations> X11PanelDecorations::create(const char* display) {
    auto connection = XcbConnection::open(display);
    if (!connection) {
        return nullptr;
    }
    return std::unique_ptr<X11PanelDecorations>(new X11PanelDecorations(std::move(connection)));
}

X11PanelDecorations::X11PanelDecorations(std::unique_ptr<XcbConnection> connection)
    : m_x(std::move(connection))
    , m_netWmDesktop(m_x->atom("_NET_WM_DESKTOP"))
    , m_netWmState(m_x->atom("_NET_WM_STATE"))
    , m_sticky(m_x->atom("_NET_WM_STATE_STICKY"))
    , m_above(m_x->atom("_NET_WM_STATE_ABOVE")) {}

void X11PanelDecorations::beforeShow(QWindow& window) {
    const auto id = static_cast<std::uint32_t>(window.winId());
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, id, m_netWmDesktop, XCB_ATOM_CARDINAL,
                        32, 1, &kAllDesktops);
    // ICCCM hints: flags = InputHint, input = false.
    const std::uint32_t hints[9] = {1, 0, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(m_x->get(), XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                        32, 9, hints);
    xcb_flush(m_x->get());
}

void X11PanelDecorations::afterShow(QWindow& window) {
    const auto id = static_cast<std::uint32_t>(window.winId());
    // The property set before mapping can lose the race with the window's
    // creation on Qt's own connection; once mapped, the desktop too is the
    // window manager's to change, so ask again.
    askWindowManager(id, m_netWmDesktop, {kAllDesktops, kSourceApplication});
    askWindowManager(id, m_netWmState, {kStateAdd, m_sticky, m_above, kSourceApplication});
    xcb_flush(m_x->get());
}

void X11PanelDecorations::askWindowManager(std::uint32_t window, xcb_atom_t type,
                                           std::initializer_list<std::uint32_t> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    std::copy(data.begin(), data.end(), std::begin(message.data.data32));
    xcb_send_event(m_x->get(), 0, m_x->root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

} // namespace aimset
