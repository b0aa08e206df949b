#pragma once

#include <QByteArray>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace aimset {

// A reply, event or error from xcb, which the caller frees with free().
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

// One connection to the X server, with the helpers every X11 adapter needs.
class XcbConnection {
public:
    // Connects to $DISPLAY; null on failure.
    static std::unique_ptr<XcbConnection> open();

    xcb_connection_t* get() const { return m_connection.get(); }
    xcb_window_t root() const { return m_root; }
    int screenNumber() const { return m_screenNumber; }

    xcb_atom_t atom(std::string_view name);
    // The reply to a request sent before; null when there is none.
    template <typename Reply, typename Cookie>
    XcbReply<Reply> reply(Reply* (*read)(xcb_connection_t*, Cookie, xcb_generic_error_t**),
                          Cookie cookie) const {
        return XcbReply<Reply>(read(get(), cookie, nullptr));
    }
    // One round trip: the server has handled every request sent before it.
    static void sync(xcb_connection_t* connection);
    // Every event already queued: a socket notifier wakes only for new bytes.
    void readQueuedEvents(const std::function<void(const xcb_generic_event_t&)>& handle);

    // The key codes of each modifier row (Shift, Lock, Control, Mod1..Mod5);
    // empty when the map cannot be read or names no keys.
    std::vector<std::vector<std::uint8_t>> modifierRows();

    // A property request sent now and read later, so several can share one round trip.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property,
                                              xcb_atom_t type = XCB_ATOM_ANY,
                                              std::uint32_t maxLength = 4096);
    // The bytes of a property (empty optional when absent or unreadable).
    std::optional<QByteArray> readProperty(xcb_get_property_cookie_t cookie);
    static std::optional<std::uint32_t> firstCardinal(const std::optional<QByteArray>& bytes);

private:
    explicit XcbConnection(xcb_connection_t* connection);

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> m_connection;
    xcb_window_t m_root = 0;
    int m_screenNumber = 0;
};

// An X11 adapter on a connection of its own; null when no X server can be reached.
template <typename Adapter, typename... Args> std::unique_ptr<Adapter> openOnX(Args&&... args) {
    auto connection = XcbConnection::open();
    return connection
               ? std::make_unique<Adapter>(std::move(connection), std::forward<Args>(args)...)
               : nullptr;
}

} // namespace aimset
