#include "X11KeyEventMonitor.h"

#include <xcb/xinput.h>

#include <cstdlib>

namespace aimset {

namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

// X key codes (evdev + 8) of the letter keys, by the virtual key code of the
// same physical position on an ANSI keyboard.
struct KeyPosition {
    std::uint8_t x;
    int code;
};
constexpr KeyPosition kLetterPositions[] = {
    {38, 0},  {39, 1},  {40, 2},  {41, 3},  {43, 4},  {42, 5},  {52, 6},  {53, 7},  {54, 8},
    {55, 9},  {56, 11}, {24, 12}, {25, 13}, {26, 14}, {27, 15}, {29, 16}, {28, 17}, {32, 31},
    {30, 32}, {31, 34}, {33, 35}, {46, 37}, {44, 38}, {45, 40}, {57, 45}, {58, 46},
};

} // namespace

X11KeyTranslator::X11KeyTranslator(ModifierKeys keys)
    : m_keys(std::move(keys)) {}

X11KeyTranslator::ModifierKeys X11KeyTranslator::defaultModifierKeys() {
    // Shift L/R, Control L/R, Alt L/R, Super L/R.
    return {{50, 62}, {37, 105}, {64, 108}, {133, 134}};
}

int X11KeyTranslator::keyCodeFor(std::uint8_t xKeycode) {
    for (const KeyPosition& position : kLetterPositions) {
        if (position.x == xKeycode) {
            return position.code;
        }
    }
    return -1;
}

quint64 X11KeyTranslator::flags() const {
    quint64 flags = 0;
    const auto held = [this](const QSet<std::uint8_t>& keys) {
        for (const std::uint8_t key : keys) {
            if (m_held.contains(key)) {
                return true;
            }
        }
        return false;
    };
    flags |= held(m_keys.shift) ? ModifierFlag::shift : 0;
    flags |= held(m_keys.control) ? ModifierFlag::control : 0;
    flags |= held(m_keys.option) ? ModifierFlag::option : 0;
    flags |= held(m_keys.command) ? ModifierFlag::command : 0;
    return flags;
}

KeyEvent X11KeyTranslator::translate(std::uint8_t xKeycode, bool pressed) {
    const bool isModifier = m_keys.shift.contains(xKeycode) || m_keys.control.contains(xKeycode) ||
                            m_keys.option.contains(xKeycode) || m_keys.command.contains(xKeycode);
    if (!isModifier) {
        return KeyEvent{pressed ? KeyEventKind::keyDown : KeyEventKind::keyUp, keyCodeFor(xKeycode),
                        flags()};
    }
    const quint64 before = flags();
    if (pressed) {
        m_held.insert(xKeycode);
    } else {
        m_held.remove(xKeycode);
    }
    const quint64 after = flags();
    // A second press of a held Alt, or a release of one never seen, changes nothing.
    return KeyEvent{after != before ? KeyEventKind::flagsChanged : KeyEventKind::other, -1, after};
}

std::unique_ptr<X11KeyEventMonitor> X11KeyEventMonitor::create(OwnWindowActive ownWindowActive,
                                                               const char* display) {
    auto connection = XcbConnection::open(display);
    if (!connection) {
        return nullptr;
    }
    return std::unique_ptr<X11KeyEventMonitor>(
        new X11KeyEventMonitor(std::move(connection), std::move(ownWindowActive)));
}

X11KeyEventMonitor::X11KeyEventMonitor(std::unique_ptr<XcbConnection> connection,
                                       OwnWindowActive ownWindowActive)
    : m_x(std::move(connection))
    , m_ownWindowActive(std::move(ownWindowActive)) {
    m_translator = X11KeyTranslator(readModifierMap());
    selectRawEvents();
    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_x->get()),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
}

X11KeyEventMonitor::~X11KeyEventMonitor() = default;

X11KeyTranslator::ModifierKeys X11KeyEventMonitor::readModifierMap() {
    XcbReply<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(m_x->get(), xcb_get_modifier_mapping(m_x->get()), nullptr),
        &std::free);
    if (!reply || reply->keycodes_per_modifier == 0) {
        return X11KeyTranslator::defaultModifierKeys();
    }
    // Eight rows: Shift, Lock, Control, Mod1 (Alt), Mod2, Mod3, Mod4 (Super), Mod5.
    const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perRow = reply->keycodes_per_modifier;
    const auto row = [&](int index) {
        QSet<std::uint8_t> keys;
        for (int i = 0; i < perRow; ++i) {
            if (const xcb_keycode_t code = codes[index * perRow + i]) {
                keys.insert(code);
            }
        }
        return keys;
    };
    return {row(0), row(2), row(3), row(6)};
}

void X11KeyEventMonitor::selectRawEvents() {
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(m_x->get(), &xcb_input_id);
    if (!extension || !extension->present) {
        return;
    }
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(m_x->get(), xcb_input_xi_query_version(m_x->get(), 2, 2),
                                         nullptr),
        &std::free);
    if (!version || version->major_version < 2) {
        return;
    }
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t bits;
    } mask{};
    mask.header.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.header.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    const xcb_void_cookie_t cookie =
        xcb_input_xi_select_events_checked(m_x->get(), m_x->root(), 1, &mask.header);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(m_x->get(), cookie), &std::free);
    if (!error) {
        m_xinputOpcode = extension->major_opcode;
    }
}

std::optional<KeyMonitorToken> X11KeyEventMonitor::addGlobalMonitor(quint64 mask,
                                                                    GlobalHandler handler) {
    if (!hasRawEvents()) {
        return std::nullopt;
    }
    const quint64 token = m_nextToken++;
    m_monitors.emplace(token, Monitor{mask, std::move(handler), nullptr});
    return KeyMonitorToken{token};
}

std::optional<KeyMonitorToken> X11KeyEventMonitor::addLocalMonitor(quint64 mask,
                                                                   LocalHandler handler) {
    if (!hasRawEvents()) {
        return std::nullopt;
    }
    const quint64 token = m_nextToken++;
    m_monitors.emplace(token, Monitor{mask, nullptr, std::move(handler)});
    return KeyMonitorToken{token};
}

void X11KeyEventMonitor::removeMonitor(KeyMonitorToken token) {
    m_monitors.erase(token.value);
}

void X11KeyEventMonitor::readEvents() {
    // Drain everything queued: the notifier only wakes for new bytes on the socket.
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x->get())) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* generic = reinterpret_cast<xcb_ge_generic_event_t*>(event);
            if (generic->extension == m_xinputOpcode &&
                (generic->event_type == XCB_INPUT_RAW_KEY_PRESS ||
                 generic->event_type == XCB_INPUT_RAW_KEY_RELEASE)) {
                const auto* raw = reinterpret_cast<xcb_input_raw_key_press_event_t*>(event);
                const KeyEvent translated =
                    m_translator.translate(static_cast<std::uint8_t>(raw->detail),
                                           generic->event_type == XCB_INPUT_RAW_KEY_PRESS);
                if (translated.kind != KeyEventKind::other) {
                    deliver(translated);
                }
            }
        }
        std::free(event);
    }
}

void X11KeyEventMonitor::deliver(const KeyEvent& event) {
    quint64 kindMask = 0;
    switch (event.kind) {
    case KeyEventKind::keyDown:
        kindMask = KeyEventMask::keyDown;
        break;
    case KeyEventKind::keyUp:
        kindMask = KeyEventMask::keyUp;
        break;
    case KeyEventKind::flagsChanged:
        kindMask = KeyEventMask::flagsChanged;
        break;
    case KeyEventKind::other:
        return;
    }
    // One stream serves both kinds of monitor: each event goes to the local
    // ones while our own window is active, else to the global ones, never both.
    const bool local = m_ownWindowActive && m_ownWindowActive();
    const auto monitors = m_monitors; // a handler may remove monitors
    for (const auto& [token, monitor] : monitors) {
        if (!(monitor.mask & kindMask) || !m_monitors.count(token)) {
            continue;
        }
        if (local && monitor.local) {
            // Raw events cannot be swallowed; the answer is only advice.
            monitor.local(event);
        } else if (!local && monitor.global) {
            monitor.global(event);
        }
    }
}

} // namespace aimset
