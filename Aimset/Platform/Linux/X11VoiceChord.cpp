#include "X11VoiceChord.h"

#include <xcb/xinput.h>

namespace aimset {

namespace {

constexpr int kAltRow = 3; // Mod1 of the server's modifier map

} // namespace

std::optional<bool> AltMTracker::apply(std::uint8_t keycode, bool pressed) {
    const bool wasDown = m_down;
    if (m_altKeys.contains(keycode)) {
        if (pressed) {
            m_heldAlts.insert(keycode);
        } else {
            m_heldAlts.remove(keycode);
        }
        m_down = m_down && !m_heldAlts.isEmpty();
    } else if (keycode == mKeycode) {
        m_down = pressed && (m_down || !m_heldAlts.isEmpty());
    }
    return m_down != wasDown ? std::optional(m_down) : std::nullopt;
}

X11VoiceChord::X11VoiceChord(std::unique_ptr<XcbConnection> connection)
    : m_x(std::move(connection)) {
    // The server's modifier map says which keys are Alt.
    if (const auto rows = m_x->modifierRows(); !rows.empty()) {
        m_tracker = AltMTracker({rows[kAltRow].begin(), rows[kAltRow].end()});
    }
    if (!selectRawEvents()) {
        return;
    }
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_x->get()),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
}

bool X11VoiceChord::selectRawEvents() {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_x->get(), &xcb_input_id);
    if (!extension || !extension->present) {
        return false;
    }
    const auto version =
        m_x->reply(xcb_input_xi_query_version_reply, xcb_input_xi_query_version(m_x->get(), 2, 2));
    if (!version || version->major_version < 2) {
        return false;
    }
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE};
    const xcb_void_cookie_t cookie =
        xcb_input_xi_select_events_checked(m_x->get(), m_x->root(), 1, &mask.header);
    if (XcbReply<xcb_generic_error_t>(xcb_request_check(m_x->get(), cookie))) {
        return false;
    }
    m_xinputOpcode = extension->major_opcode;
    return true;
}

bool X11VoiceChord::watch(std::function<void()> down, std::function<void()> up) {
    if (m_xinputOpcode == 0) {
        return false;
    }
    m_down = std::move(down);
    m_up = std::move(up);
    return true;
}

void X11VoiceChord::unwatch() {
    m_down = nullptr;
    m_up = nullptr;
    m_tracker.forget();
}

void X11VoiceChord::readEvents() {
    m_x->readQueuedEvents([this](const xcb_generic_event_t& event) {
        const auto& generic = reinterpret_cast<const xcb_ge_generic_event_t&>(event);
        if ((event.response_type & 0x7f) != XCB_GE_GENERIC || generic.extension != m_xinputOpcode ||
            (generic.event_type != XCB_INPUT_RAW_KEY_PRESS &&
             generic.event_type != XCB_INPUT_RAW_KEY_RELEASE)) {
            return;
        }
        const auto& raw = reinterpret_cast<const xcb_input_raw_key_press_event_t&>(event);
        const std::optional<bool> chord = m_tracker.apply(
            static_cast<std::uint8_t>(raw.detail), generic.event_type == XCB_INPUT_RAW_KEY_PRESS);
        // A copy: a handler may stop the watch.
        const std::function<void()> handler = !chord ? nullptr : *chord ? m_down : m_up;
        if (handler) {
            handler();
        }
    });
}

} // namespace aimset
