#include "X11FrontTabCloser.h"

#include <xcb/xtest.h>

#include <algorithm>

namespace aimset {

namespace {

constexpr std::uint32_t kKeysymW = 0x0077;
constexpr std::uint32_t kKeysymControlL = 0xffe3;
// Where W and left Control sit on a US keyboard under evdev.
constexpr std::uint8_t kUsKeycodeW = 25;
constexpr std::uint8_t kUsKeycodeControlL = 37;
constexpr std::size_t kLockRow = 1;
constexpr std::size_t kControlRow = 2;
constexpr std::size_t kNumLockRow = 4; // Mod2 on every common keyboard map

// The X key code of a key sym on the current keyboard map, else the fallback.
std::uint8_t keycodeFor(const XcbConnection& x, std::uint32_t keysym, std::uint8_t fallback) {
    const xcb_setup_t* setup = xcb_get_setup(x.get());
    const std::uint8_t first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    const auto map =
        x.reply(xcb_get_keyboard_mapping_reply,
                xcb_get_keyboard_mapping(x.get(), first, static_cast<std::uint8_t>(count)));
    if (!map || map->keysyms_per_keycode == 0) {
        return fallback;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
    const int perKey = map->keysyms_per_keycode;
    for (int key = 0; key < count; ++key) {
        // The first two columns are the unshifted and shifted symbols of the first group.
        for (int column = 0; column < std::min(perKey, 2); ++column) {
            if (syms[key * perKey + column] == keysym) {
                return static_cast<std::uint8_t>(first + key);
            }
        }
    }
    return fallback;
}

} // namespace

X11FrontTabCloser::X11FrontTabCloser(std::unique_ptr<XcbConnection> connection)
    : m_x(std::move(connection))
    , m_modifierRows(m_x->modifierRows()) {
    m_modifierRows.resize(8);
}

FrontTabCloser::Result X11FrontTabCloser::closeFrontTab() {
    // The extension's presence is asked once per connection; a lost connection has none.
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(m_x->get(), &xcb_test_id);
    if (!xtest || !xtest->present) {
        return Result::unreachable;
    }
    const std::uint8_t w = keycodeFor(*m_x, kKeysymW, kUsKeycodeW);
    const auto fake = [this](std::uint8_t keycode, bool press) {
        xcb_test_fake_input(m_x->get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, keycode,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    };
    const auto keymap = m_x->reply(xcb_query_keymap_reply, xcb_query_keymap(m_x->get()));
    const auto isHeld = [&keymap](std::uint8_t code) {
        return keymap && (keymap->keys[code / 8] & (1u << (code % 8)));
    };
    std::vector<std::uint8_t> lifted;
    for (std::size_t row = 0; row < m_modifierRows.size(); ++row) {
        // Lock keys toggle on press: lifting and pressing them again would flip them.
        // The user's own Control serves the chord.
        if (row == kLockRow || row == kNumLockRow || row == kControlRow) {
            continue;
        }
        for (const std::uint8_t code : m_modifierRows[row]) {
            if (isHeld(code)) {
                fake(code, false);
                lifted.push_back(code);
            }
        }
    }
    std::uint8_t control = 0;
    if (!std::ranges::any_of(m_modifierRows[kControlRow], isHeld)) {
        const auto& controls = m_modifierRows[kControlRow];
        control = keycodeFor(*m_x, kKeysymControlL,
                             controls.empty() ? kUsKeycodeControlL : controls.front());
        fake(control, true);
    }
    fake(w, true);
    fake(w, false);
    if (control != 0) {
        fake(control, false);
    }
    // The user still holds what was lifted: put it back.
    for (const std::uint8_t code : lifted) {
        fake(code, true);
    }
    xcb_flush(m_x->get());
    return Result::sent;
}

} // namespace aimset
