#include "XcbConnection.h"

#include <cstring>

namespace aimset {

std::unique_ptr<XcbConnection> XcbConnection::open() {
    int screenNumber = 0;
    std::unique_ptr<XcbConnection> x(new XcbConnection(xcb_connect(nullptr, &screenNumber)));
    if (xcb_connection_has_error(x->get())) {
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(x->get()));
    for (int i = 0; i < screenNumber && screens.rem; ++i) {
        xcb_screen_next(&screens);
    }
    if (!screens.rem) {
        return nullptr;
    }
    x->m_root = screens.data->root;
    x->m_screenNumber = screenNumber;
    return x;
}

XcbConnection::XcbConnection(xcb_connection_t* connection)
    : m_connection(connection, &xcb_disconnect) {}

void XcbConnection::sync(xcb_connection_t* connection) {
    XcbReply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void XcbConnection::readQueuedEvents(
    const std::function<void(const xcb_generic_event_t&)>& handle) {
    while (const XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(get())}) {
        handle(*event);
    }
}

xcb_atom_t XcbConnection::atom(std::string_view name) {
    const auto atom =
        reply(xcb_intern_atom_reply,
              xcb_intern_atom(get(), 0, static_cast<std::uint16_t>(name.size()), name.data()));
    return atom ? atom->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<std::vector<std::uint8_t>> XcbConnection::modifierRows() {
    const auto map = reply(xcb_get_modifier_mapping_reply, xcb_get_modifier_mapping(get()));
    if (!map || map->keycodes_per_modifier == 0) {
        return {};
    }
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(map.get());
    const int perRow = map->keycodes_per_modifier;
    std::vector<std::vector<std::uint8_t>> rows(8);
    for (int i = 0; i < 8 * perRow; ++i) {
        if (codes[i] != 0) {
            rows[static_cast<std::size_t>(i / perRow)].push_back(codes[i]);
        }
    }
    return rows;
}

xcb_get_property_cookie_t XcbConnection::requestProperty(xcb_window_t window, xcb_atom_t property,
                                                         xcb_atom_t type, std::uint32_t maxLength) {
    // The length is counted in 32-bit units.
    return xcb_get_property(get(), 0, window, property, type, 0, (maxLength + 3) / 4);
}

std::optional<QByteArray> XcbConnection::readProperty(xcb_get_property_cookie_t cookie) {
    const auto property = reply(xcb_get_property_reply, cookie);
    if (!property || property->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    return QByteArray(static_cast<const char*>(xcb_get_property_value(property.get())),
                      xcb_get_property_value_length(property.get()));
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
