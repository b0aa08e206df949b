#include "XcbConnection.h"

#include <cstring>
#include <string>

namespace aimset {

std::unique_ptr<XcbConnection> XcbConnection::open(const char* displayName) {
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(displayName, &screenNumber);
    if (!connection || xcb_connection_has_error(connection)) {
        if (connection) {
            xcb_disconnect(connection);
        }
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.rem) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<XcbConnection>(new XcbConnection(connection, screens.data));
}

XcbConnection::XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen)
    : m_connection(connection)
    , m_screen(screen)
    , m_root(screen->root) {}

XcbConnection::~XcbConnection() {
    xcb_disconnect(m_connection);
}

void XcbConnection::sync(xcb_connection_t* connection) {
    XcbReply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

xcb_atom_t XcbConnection::atom(std::string_view name) {
    const auto cookie =
        xcb_intern_atom(m_connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

xcb_get_property_cookie_t XcbConnection::requestProperty(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type, std::uint32_t maxLength) {
    // The length is counted in 32-bit units.
    return xcb_get_property(m_connection, 0, window, property, type, 0, (maxLength + 3) / 4);
}

std::optional<QByteArray> XcbConnection::readProperty(xcb_get_property_cookie_t cookie) {
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    const int length = xcb_get_property_value_length(reply.get());
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
}

std::optional<std::uint32_t> XcbConnection::firstCardinal(const std::optional<QByteArray>& bytes) {
    if (!bytes || bytes->size() < 4) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, bytes->constData(), sizeof value);
    return value;
}

} // namespace aimset
