// A plain X client for desktop tests: one white window with a chosen title,
// class and process id, optionally full-screen. It prints "ready <window id>"
// once mapped, then one line per key it receives ("key press <keycode> state
// <modifier mask>"), and obeys "title <text>" on standard input until it ends.

#include <xcb/xcb.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <thread>

namespace {

xcb_atom_t intern(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

// The title in the newer property and the older one, or in the older one alone.
void setTitle(xcb_connection_t* c, xcb_window_t window, const std::string& title,
              bool newer = true) {
    if (newer) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_NAME"),
                            intern(c, "UTF8_STRING"), 8, title.size(), title.data());
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        title.size(), title.data());
    xcb_flush(c);
}

} // namespace

int main(int argc, char** argv) {
    std::map<std::string, std::string> option{{"--title", "Test window"},
                                              {"--instance", "aimset-test-window"},
                                              {"--class", "AimsetTestWindow"},
                                              {"--pid", std::to_string(getpid())}};
    for (int i = 1; i + 1 < argc; i += 2) {
        option[argv[i]] = argv[i + 1];
    }
    const auto pid = static_cast<std::uint32_t>(std::stoul(option["--pid"]));

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "cannot connect to the X server\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel, XCB_EVENT_MASK_KEY_PRESS |
                                                             XCB_EVENT_MASK_KEY_RELEASE |
                                                             XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual,
                      XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
    setTitle(c, window, option["--title"], option["--legacy-title"] != "1");
    const std::string classBytes = option["--instance"] + '\0' + option["--class"] + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        classBytes.size(), classBytes.data());
    if (pid > 0) {
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_PID"),
                            XCB_ATOM_CARDINAL, 32, 1, &pid);
    }
    // Accept focus from the window manager.
    const std::uint32_t hints[9] = {1, 1, 0, 0, 0, 0, 0, 0, 0};
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32,
                        9, hints);
    if (option["--fullscreen"] == "1") {
        // Asked for before mapping, as a video player or a game does.
        const xcb_atom_t state = intern(c, "_NET_WM_STATE_FULLSCREEN");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, intern(c, "_NET_WM_STATE"),
                            XCB_ATOM_ATOM, 32, 1, &state);
    }
    xcb_map_window(c, window);
    xcb_flush(c);

    // Commands ("title <text>", the only one) come on standard input, on a
    // thread of their own; the client ends with its input.
    std::thread([c, window] {
        for (std::string command; std::getline(std::cin, command);) {
            setTitle(c, window, command.substr(6));
            std::printf("titled\n");
            std::fflush(stdout);
        }
        std::exit(0);
    }).detach();
    bool announced = false;
    while (xcb_generic_event_t* event = xcb_wait_for_event(c)) {
        const int type = event->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY && !announced) {
            announced = true;
            std::printf("ready %u\n", window);
        } else if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(event);
            std::printf("key %s %u state %u\n", type == XCB_KEY_PRESS ? "press" : "release",
                        key->detail, key->state);
        }
        std::fflush(stdout);
        std::free(event);
    }
    return 1; // the X server went away
}
