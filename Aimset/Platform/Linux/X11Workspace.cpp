#include "X11Workspace.h"

#include <QMetaObject>
#include <QStringDecoder>

#include <xcb/res.h>

#include <utility>

namespace aimset {

namespace {

// WM_NAME is Latin-1 by the old rules, but many clients put UTF-8 there:
// take it as UTF-8 whenever it is valid UTF-8.
QString decodeLegacyText(const QByteArray& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

} // namespace

X11Workspace::X11Workspace(std::unique_ptr<XcbConnection> connection, DesktopEntries entries)
    : m_x(std::move(connection))
    , m_entries(std::move(entries)) {
    m_netActiveWindow = m_x->atom("_NET_ACTIVE_WINDOW");
    m_netWmPid = m_x->atom("_NET_WM_PID");
    m_netWmName = m_x->atom("_NET_WM_NAME");
    m_utf8String = m_x->atom("UTF8_STRING");

    // Only the root window's properties are watched: a title change is not an activation.
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(m_x->get(), m_x->root(), XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_x->get());

    if (const auto facts = activeWindow()) {
        m_tracker.activeWindowChanged(facts->window, facts->pid);
    }

    m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_x->get()),
                                                   QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { readEvents(); });
}

X11Workspace::WindowFacts X11Workspace::readWindow(std::uint32_t window) {
    // All four requests go out before the first reply is read: one round trip.
    const auto pidCookie = m_x->requestProperty(window, m_netWmPid, XCB_ATOM_CARDINAL, 4);
    const auto classCookie = m_x->requestProperty(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    const auto netNameCookie = m_x->requestProperty(window, m_netWmName, m_utf8String);
    const auto nameCookie = m_x->requestProperty(window, XCB_ATOM_WM_NAME);

    WindowFacts facts;
    facts.window = window;
    const auto pid = XcbConnection::firstCardinal(m_x->readProperty(pidCookie));
    // WM_CLASS holds two NUL-terminated strings: instance, then class.
    const auto classParts = m_x->readProperty(classCookie).value_or(QByteArray()).split('\0');
    facts.instance = QString::fromLocal8Bit(classParts.value(0));
    facts.windowClass = QString::fromLocal8Bit(classParts.value(1));
    const auto netName = m_x->readProperty(netNameCookie);
    const auto name = m_x->readProperty(nameCookie);
    if (netName) {
        facts.title = QString::fromUtf8(*netName);
    } else if (name) {
        facts.title = decodeLegacyText(*name);
    }
    facts.pid = pid ? static_cast<std::int32_t>(*pid) : clientPid(window);
    // Replies can pull events into the queue without waking the notifier.
    QMetaObject::invokeMethod(
        this, [this] { readEvents(); }, Qt::QueuedConnection);
    return facts;
}

std::int32_t X11Workspace::clientPid(std::uint32_t window) {
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(m_x->get(), &xcb_res_id);
    if (!res || !res->present) {
        return 0;
    }
    xcb_res_client_id_spec_t client{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    const auto reply = m_x->reply(xcb_res_query_client_ids_reply,
                                  xcb_res_query_client_ids(m_x->get(), 1, &client));
    if (!reply) {
        return 0;
    }
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem;
         xcb_res_client_id_value_next(&ids)) {
        // The value's length is in bytes; a pid is one CARD32.
        const auto& [clientId, valueLength] = *ids.data;
        if ((clientId.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            valueLength >= sizeof(std::uint32_t)) {
            return static_cast<std::int32_t>(*xcb_res_client_id_value_value(ids.data));
        }
    }
    return 0;
}

std::optional<X11Workspace::WindowFacts> X11Workspace::activeWindow() {
    const auto active = XcbConnection::firstCardinal(m_x->readProperty(
        m_x->requestProperty(m_x->root(), m_netActiveWindow, XCB_ATOM_WINDOW, 4)));
    return active && *active != 0 ? std::optional(readWindow(*active)) : std::nullopt;
}

RunningApplication X11Workspace::describe(const WindowFacts& facts) const {
    RunningApplication app;
    app.processIdentifier = facts.pid;
    if (const auto entry = m_entries.match(facts.instance, facts.windowClass)) {
        app.localizedName = entry->name;
        app.bundleIdentifier = entry->id;
    } else if (!facts.windowClass.isEmpty()) {
        app.localizedName = facts.windowClass;
        app.bundleIdentifier = facts.windowClass;
    }
    return app;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    const auto facts = activeWindow();
    if (!facts) {
        return std::nullopt;
    }
    // A poll asks for the title right after this: answer it from the same
    // read, once, and only within this turn of the event loop.
    m_justRead = facts;
    QMetaObject::invokeMethod(
        this, [this] { m_justRead.reset(); }, Qt::QueuedConnection);
    return describe(*facts);
}

std::optional<QString> X11Workspace::focusedWindowTitle(std::int32_t processIdentifier) {
    auto facts = std::exchange(m_justRead, std::nullopt);
    if (!facts || facts->pid != processIdentifier) {
        facts = activeWindow();
    }
    return facts && facts->pid == processIdentifier ? facts->title : std::nullopt;
}

void X11Workspace::readEvents() {
    // Every round trip on this connection can leave events in XCB's queue,
    // where the socket notifier never sees them: read until none is left.
    for (;;) {
        bool activeChanged = false;
        m_x->readQueuedEvents([&](const xcb_generic_event_t& event) {
            const auto& notify = reinterpret_cast<const xcb_property_notify_event_t&>(event);
            activeChanged |= (event.response_type & 0x7f) == XCB_PROPERTY_NOTIFY &&
                             notify.window == m_x->root() && notify.atom == m_netActiveWindow;
        });
        if (!activeChanged) {
            return;
        }
        const auto facts = activeWindow();
        if (facts && m_tracker.activeWindowChanged(facts->window, facts->pid)) {
            notifyObservers(describe(*facts));
        }
    }
}

} // namespace aimset
