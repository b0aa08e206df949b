#pragma once

#include <QByteArray>
#include <QString>

#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

namespace aimset {

// A reply, event or error from xcb, which the caller frees with free().
struct XcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree>;

// One connection to the X server, with the helpers every X11 adapter needs:
// atoms by name and property reads that can be pipelined.
class XcbConnection {
public:
    // Connects to $DISPLAY (or the given display name); null on failure.
    static std::unique_ptr<XcbConnection> open(const char* displayName = nullptr);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return m_connection; }
    xcb_window_t root() const { return m_root; }
    xcb_screen_t* screen() const { return m_screen; }

    xcb_atom_t atom(std::string_view name);
    // One round trip: every request sent on the connection before it has
    // been handled by the server.
    static void sync(xcb_connection_t* connection);

    // A property request sent now and read later, so several can share one round trip.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property,
                                              xcb_atom_t type = XCB_ATOM_ANY,
                                              std::uint32_t maxLength = 4096);
    // The bytes of a property (empty optional when absent or unreadable).
    std::optional<QByteArray> readProperty(xcb_get_property_cookie_t cookie);
    static std::optional<std::uint32_t> firstCardinal(const std::optional<QByteArray>& bytes);

private:
    explicit XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen);

    xcb_connection_t* m_connection;
    xcb_screen_t* m_screen;
    xcb_window_t m_root;
};

} // namespace aimset
