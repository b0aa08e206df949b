#include "E2eDesktop.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <cstdlib>
#include <cstring>
#include <stdexcept>

#ifndef AIMSET_APP_PATH
#error "AIMSET_APP_PATH must name the aimset program"
#endif

namespace aimset::e2e {

using test::spinUntil;

namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T> XcbReply<T> own(T* reply) {
    return XcbReply<T>(reply, &std::free);
}

// The test's own environment, less what would send a child elsewhere.
QProcessEnvironment childEnvironment(const QByteArray& busAddress) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("AIMSET_CHECK_URL"));
    // Desktop settings a child changes stay in its memory.
    environment.insert(QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory"));
    if (!busAddress.isEmpty()) {
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QString::fromUtf8(busAddress));
    }
    return environment;
}

} // namespace

// ---- LineProcess ------------------------------------------------------------------------------

LineProcess::LineProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                     [this] { readLines(); });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

LineProcess::~LineProcess() {
    stop();
}

void LineProcess::start(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& environment) {
    m_process.setProcessEnvironment(environment);
    m_process.start(program, arguments);
    if (!m_process.waitForStarted(10000)) {
        throw std::runtime_error("could not start " + program.toStdString());
    }
}

void LineProcess::stop(Milliseconds grace) {
    if (m_process.state() == QProcess::NotRunning) {
        return;
    }
    m_process.terminate();
    if (!m_process.waitForFinished(static_cast<int>(grace.count()))) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    readLines();
}

void LineProcess::readLines() {
    m_buffer += m_process.readAllStandardOutput();
    qsizetype newline;
    while ((newline = m_buffer.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_buffer.left(newline));
        m_arrivals.push_back(std::chrono::steady_clock::now());
        m_buffer.remove(0, newline + 1);
    }
}

QStringList LineProcess::lines() {
    readLines();
    return m_lines;
}

bool LineProcess::waitForLine(const QString& line, Milliseconds limit) {
    return spinUntil([&] { return lines().contains(line); }, limit);
}

std::optional<QString> LineProcess::waitForMatch(const QRegularExpression& pattern,
                                                 Milliseconds limit) {
    const QRegularExpression whole(QRegularExpression::anchoredPattern(pattern.pattern()));
    std::optional<QString> found;
    spinUntil(
        [&] {
            for (const QString& line : lines()) {
                if (whole.match(line).hasMatch()) {
                    found = line;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

std::optional<std::chrono::steady_clock::time_point>
LineProcess::arrivalOf(const QString& line) const {
    const qsizetype index = m_lines.indexOf(line);
    if (index < 0) {
        return std::nullopt;
    }
    return m_arrivals[static_cast<std::size_t>(index)];
}

// ---- PrivateBus -------------------------------------------------------------------------------

PrivateBus::PrivateBus()
    : m_session(test::A11ySession::start(test::A11ySession::Launcher::enabled)) {
    if (!m_session) {
        throw std::runtime_error("no private D-Bus session with an accessibility bus");
    }
}

PrivateBus::~PrivateBus() = default;

QByteArray PrivateBus::address() const {
    return m_session->address().toUtf8();
}

// ---- ScriptedService --------------------------------------------------------------------------

ScriptedService::ScriptedService(Answer answer)
    : m_server([answer = std::move(answer)](const test::TestHttpServer::Request& request) {
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        if (request.method != "POST" || request.path != "/check" || body.isEmpty()) {
            return test::TestHttpServer::Reply::json(400, R"({"error":"bad request"})");
        }
        return test::TestHttpServer::Reply::json(
            200, QJsonDocument(answer(body)).toJson(QJsonDocument::Compact));
    }) {}

QByteArray ScriptedService::checkURL() const {
    return m_server.url();
}

QList<QByteArray> ScriptedService::bodies() const {
    QList<QByteArray> bodies;
    for (const auto& request : m_server.received) {
        bodies << request.body;
    }
    return bodies;
}

QList<QJsonObject> ScriptedService::requests() const {
    QList<QJsonObject> requests;
    for (const QByteArray& body : bodies()) {
        requests << QJsonDocument::fromJson(body).object();
    }
    return requests;
}

QList<QJsonObject> ScriptedService::requests(const QString& mode) const {
    QList<QJsonObject> matching;
    for (const QJsonObject& request : requests()) {
        if (request.value(QStringLiteral("mode")).toString() == mode) {
            matching << request;
        }
    }
    return matching;
}

// ---- Desktop ----------------------------------------------------------------------------------

Desktop::Desktop() {
    if (!m_x.available()) {
        throw std::runtime_error("needs an X display with a window manager: run through "
                                 "scripts/with-desktop.sh");
    }
}

std::vector<xcb_window_t> Desktop::clientWindows() {
    xcb_connection_t* c = m_x.connection();
    auto reply = own(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, m_x.root(), m_x.atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 0, 1024),
        nullptr));
    std::vector<xcb_window_t> windows;
    if (reply) {
        const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        windows.assign(ids, ids + count);
    }
    return windows;
}

std::vector<xcb_window_t> Desktop::unmanagedWindows() {
    xcb_connection_t* c = m_x.connection();
    auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, m_x.root()), nullptr));
    std::vector<xcb_window_t> windows;
    if (!tree) {
        return windows;
    }
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = xcb_query_tree_children_length(tree.get()) - 1; i >= 0; --i) {
        auto attributes = own(
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr));
        if (attributes && attributes->override_redirect) {
            windows.push_back(children[i]);
        }
    }
    return windows;
}

qint64 Desktop::windowPid(xcb_window_t window) {
    xcb_connection_t* c = m_x.connection();
    auto reply = own(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, m_x.atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (!reply || xcb_get_property_value_length(reply.get()) < 4) {
        return 0;
    }
    std::uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(reply.get()), sizeof pid);
    return pid;
}

QString Desktop::windowTitle(xcb_window_t window) {
    xcb_connection_t* c = m_x.connection();
    auto reply = own(xcb_get_property_reply(
        c,
        xcb_get_property(c, 0, window, m_x.atom("_NET_WM_NAME"), m_x.atom("UTF8_STRING"), 0, 1024),
        nullptr));
    if (!reply) {
        return {};
    }
    return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
}

bool Desktop::isViewable(xcb_window_t window) {
    xcb_connection_t* c = m_x.connection();
    auto reply =
        own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

QRect Desktop::geometry(xcb_window_t window) {
    xcb_connection_t* c = m_x.connection();
    auto size = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    auto origin = own(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, m_x.root(), 0, 0), nullptr));
    if (!size || !origin) {
        return {};
    }
    return {origin->dst_x, origin->dst_y, size->width, size->height};
}

std::optional<xcb_window_t> Desktop::waitForWindow(qint64 pid,
                                                   const std::function<bool(const QString&)>& title,
                                                   Milliseconds limit) {
    std::optional<xcb_window_t> found;
    spinUntil(
        [&] {
            for (const xcb_window_t window : clientWindows()) {
                if ((pid == 0 || windowPid(window) == pid) && isViewable(window) &&
                    title(windowTitle(window))) {
                    found = window;
                    return true;
                }
            }
            return false;
        },
        limit);
    return found;
}

std::uint8_t Desktop::keycodeFor(std::uint32_t keysym) {
    xcb_connection_t* c = m_x.connection();
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto reply = own(xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, static_cast<std::uint8_t>(count)),
        nullptr));
    if (!reply || reply->keysyms_per_keycode == 0) {
        return 0;
    }
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply.get());
    for (int key = 0; key < count; ++key) {
        if (syms[key * reply->keysyms_per_keycode] == keysym) {
            return static_cast<std::uint8_t>(setup->min_keycode + key);
        }
    }
    return 0;
}

bool Desktop::isKeyHeld(std::uint8_t keycode) {
    xcb_connection_t* c = m_x.connection();
    auto reply = own(xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr));
    return reply && (reply->keys[keycode / 8] & (1u << (keycode % 8)));
}

std::vector<std::uint32_t> Desktop::grab(xcb_window_t window, QSize* size) {
    xcb_connection_t* c = m_x.connection();
    const QRect area = geometry(window);
    *size = area.size();
    auto reply =
        own(xcb_get_image_reply(c,
                                xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, window, 0, 0,
                                              static_cast<std::uint16_t>(area.width()),
                                              static_cast<std::uint16_t>(area.height()), ~0u),
                                nullptr));
    std::vector<std::uint32_t> pixels;
    const auto expected = static_cast<std::size_t>(area.width()) * area.height();
    if (!reply || static_cast<std::size_t>(xcb_get_image_data_length(reply.get())) <
                      expected * sizeof(std::uint32_t)) {
        *size = {};
        return pixels;
    }
    pixels.resize(expected);
    std::memcpy(pixels.data(), xcb_get_image_data(reply.get()), expected * sizeof(std::uint32_t));
    return pixels;
}

bool xdotool(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

HeldKeys::HeldKeys(const QString& keys) {
    if (xdotool({QStringLiteral("keydown"), keys})) {
        m_keys = keys.split(u'+');
    }
}

HeldKeys::~HeldKeys() {
    release(m_keys);
}

bool HeldKeys::release(const QStringList& order) {
    bool released = true;
    for (const QString& key : order) {
        released = xdotool({QStringLiteral("keyup"), key}) && released;
        m_keys.removeAll(key);
    }
    return released;
}

// ---- AimsetApp --------------------------------------------------------------------------------

AimsetApp::AimsetApp(const Options& options) {
    if (!m_config.isValid() || !QDir(m_config.path()).mkpath(QStringLiteral("Aimset"))) {
        throw std::runtime_error("no temporary configuration folder");
    }
    // The onboarding was finished on an earlier run.
    QFile settings(m_config.filePath(QStringLiteral("Aimset/Aimset.conf")));
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[General]\nhasCompletedOnboarding=true\n") < 0) {
        throw std::runtime_error("cannot write the app's settings");
    }
    settings.close();

    QProcessEnvironment environment = childEnvironment(options.busAddress);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_config.path());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    if (!options.checkURL.isEmpty()) {
        environment.insert(QStringLiteral("AIMSET_CHECK_URL"), QString::fromUtf8(options.checkURL));
    }
    environment.insert(options.extra);
    m_process.start(QStringLiteral(AIMSET_APP_PATH), options.arguments, environment);
}

AimsetApp::~AimsetApp() {
    m_process.stop();
}

bool AimsetApp::startSession(Desktop& desktop, const QString& aimset) {
    const auto window = desktop.waitForWindow(
        pid(), [](const QString& title) { return title == QStringLiteral("Aimset"); }, 30000ms);
    if (!window) {
        return false;
    }
    m_mainWindow = *window;
    if (!desktop.x().activateAndWait(m_mainWindow)) {
        return false;
    }
    // The launch modal's field has the focus: type, then Return.
    if (!xdotool(
            {QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), aimset}) ||
        !xdotool({QStringLiteral("key"), QStringLiteral("Return")})) {
        return false;
    }
    return m_process.waitForLine(QStringLiteral("Aimset: ") + aimset + QStringLiteral(", Goal: 0m"),
                                 10000ms) &&
           m_process.waitForLine(QStringLiteral("[AppMonitor] Started monitoring"), 5000ms);
}

// ---- Chromium ---------------------------------------------------------------------------------

Chromium::Chromium(const QStringList& urls, const QByteArray& busAddress,
                   const QStringList& extraArguments) {
    if (!m_profile.isValid()) {
        throw std::runtime_error("no temporary profile folder");
    }
    QProcessEnvironment environment = childEnvironment(busAddress);
    // Everything the browser writes stays in the test's folder.
    environment.insert(QStringLiteral("HOME"), m_profile.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"),
                       m_profile.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("XDG_CACHE_HOME"),
                       m_profile.filePath(QStringLiteral("cache")));
    m_process.setProcessEnvironment(environment);
    m_process.setProcessChannelMode(QProcess::SeparateChannels);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(m_profile.filePath(QStringLiteral("chromium.log")));
    QStringList arguments{
        QStringLiteral("--no-sandbox"),
        QStringLiteral("--user-data-dir=") + m_profile.filePath(QStringLiteral("profile")),
        // Port 0: the browser picks a free one and writes it into the profile.
        QStringLiteral("--remote-debugging-port=0"),
        QStringLiteral("--remote-debugging-address=127.0.0.1"),
        QStringLiteral("--force-renderer-accessibility"),
        QStringLiteral("--password-store=basic"),
        QStringLiteral("--no-first-run"),
        QStringLiteral("--no-default-browser-check"),
        QStringLiteral("--disable-gpu"),
        // Nothing of its own to fetch or sync: the machine has no network.
        QStringLiteral("--disable-background-networking"),
        QStringLiteral("--disable-sync"),
        QStringLiteral("--disable-extensions"),
        QStringLiteral("--window-position=0,0"),
        QStringLiteral("--window-size=1000,700"),
    };
    arguments << extraArguments << urls;
    m_process.start(QStringLiteral("chromium"), arguments);
    if (!m_process.waitForStarted(10000)) {
        throw std::runtime_error("chromium did not start (is the chromium package installed?)");
    }
    QFile portFile(m_profile.filePath(QStringLiteral("profile/DevToolsActivePort")));
    spinUntil(
        [&] {
            if (!portFile.open(QIODevice::ReadOnly)) {
                return false;
            }
            m_port = static_cast<quint16>(portFile.readLine().trimmed().toUInt());
            portFile.close();
            return m_port != 0;
        },
        60000ms);
    if (m_port == 0) {
        throw std::runtime_error("chromium opened no remote-debugging port");
    }
}

Chromium::~Chromium() {
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

std::optional<QByteArray> Chromium::get(const QString& path) {
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path)));
    request.setTransferTimeout(5000);
    QNetworkReply* reply = network.get(request);
    spinUntil([reply] { return reply->isFinished(); }, 10000ms);
    std::optional<QByteArray> body;
    if (reply->isFinished() && reply->error() == QNetworkReply::NoError) {
        body = reply->readAll();
    }
    reply->abort();
    reply->deleteLater();
    return body;
}

QList<Chromium::Tab> Chromium::tabs() {
    QList<Tab> tabs;
    const auto body = get(QStringLiteral("/json/list"));
    if (!body) {
        return tabs;
    }
    for (const QJsonValue& target : QJsonDocument::fromJson(*body).array()) {
        const QJsonObject object = target.toObject();
        if (object.value(QStringLiteral("type")).toString() == QStringLiteral("page")) {
            tabs << Tab{object.value(QStringLiteral("id")).toString(),
                        object.value(QStringLiteral("title")).toString(),
                        object.value(QStringLiteral("url")).toString()};
        }
    }
    return tabs;
}

void Chromium::activateTab(const QString& id) {
    get(QStringLiteral("/json/activate/") + id);
}

bool Chromium::waitForTabs(int count, Milliseconds limit) {
    return spinUntil([&] { return tabs().size() == count; }, limit);
}

std::optional<xcb_window_t> Chromium::waitForWindow(Desktop& desktop, const QString& pageTitle) {
    return desktop.waitForWindow(
        0,
        [&pageTitle](const QString& title) {
            return title == pageTitle + QStringLiteral(" - Chromium");
        },
        60000ms);
}

QString writePage(const QTemporaryDir& folder, const QString& fileName, const QString& title,
                  const QString& body) {
    const QString path = folder.filePath(fileName);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw std::runtime_error("cannot write " + path.toStdString());
    }
    file.write(QStringLiteral("<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\">"
                              "<title>%1</title></head><body>%2</body></html>")
                   .arg(title, body)
                   .toUtf8());
    return QUrl::fromLocalFile(path).toString();
}

} // namespace aimset::e2e
