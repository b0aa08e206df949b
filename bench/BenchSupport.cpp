#include "BenchSupport.h"

#include <QFile>

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace aimset::bench {

double percentile(std::vector<double>& samples, double p) {
    if (samples.empty()) {
        return 0;
    }
    std::sort(samples.begin(), samples.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(samples.size())));
    return samples[std::min(samples.size() - 1, rank == 0 ? 0 : rank - 1)];
}

std::optional<std::uint64_t> cpuNanoseconds(qint64 pid) {
    const QString base = QStringLiteral("/proc/") + QString::number(pid);
    QFile schedstat(base + QStringLiteral("/schedstat"));
    if (schedstat.open(QIODevice::ReadOnly)) {
        bool ok = false;
        const auto ns = schedstat.readAll().split(' ').value(0).trimmed().toULongLong(&ok);
        if (ok) {
            return ns;
        }
    }
    QFile stat(base + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    // The command name may hold spaces: the fields start after its ')'.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return std::nullopt;
    }
    const std::uint64_t ticks = fields[11].toULongLong() + fields[12].toULongLong();
    return ticks * 1'000'000'000ULL / static_cast<std::uint64_t>(sysconf(_SC_CLK_TCK));
}

namespace {

std::optional<std::uint64_t> fieldKB(const QString& path, const QByteArray& name) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith(QByteArray(name + ':'))) {
            bool ok = false;
            const auto value =
                line.mid(name.size() + 1).trimmed().split(' ').value(0).toULongLong(&ok);
            if (ok) {
                return value;
            }
        }
    }
    return std::nullopt;
}

} // namespace

Memory memoryOf(qint64 pid) {
    const QString base = QStringLiteral("/proc/") + QString::number(pid);
    return {fieldKB(base + QStringLiteral("/status"), "VmRSS"),
            fieldKB(base + QStringLiteral("/smaps_rollup"), "Pss")};
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

std::optional<xcb_window_t> activeWindow(xcb_connection_t* c) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* reply = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, internAtom(c, "_NET_ACTIVE_WINDOW"), XCB_ATOM_WINDOW, 0, 1),
        nullptr);
    std::optional<xcb_window_t> window;
    if (reply && xcb_get_property_value_length(reply) == 4) {
        window = *static_cast<xcb_window_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return window;
}

std::optional<BenchWindow> openActiveWindow(xcb_connection_t* c, const QByteArray& instance,
                                            const QByteArray& windowClass, const QString& title) {
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 100, 100, 400, 300, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    const QByteArray classBytes = instance + '\0' + windowClass + '\0';
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(classBytes.size()), classBytes.constData());
    const QByteArray utf8 = title.toUtf8();
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_NET_WM_NAME"),
                        internAtom(c, "UTF8_STRING"), 8, static_cast<std::uint32_t>(utf8.size()),
                        utf8.constData());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<std::uint32_t>(utf8.size()), utf8.constData());
    const auto pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(c, "_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 32, 1, &pid);
    xcb_map_window(c, window);
    xcb_flush(c);

    // The window manager focuses a new window; ask it explicitly as well.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline) {
        if (activeWindow(c) == window) {
            return BenchWindow{window};
        }
        xcb_client_message_event_t message{};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = window;
        message.type = internAtom(c, "_NET_ACTIVE_WINDOW");
        message.data.data32[0] = 2; // from a pager: honoured without focus-stealing checks
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                       reinterpret_cast<const char*>(&message));
        xcb_flush(c);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::nullopt;
}

} // namespace aimset::bench
