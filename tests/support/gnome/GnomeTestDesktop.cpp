#include "GnomeTestDesktop.h"

#include "support/x11/X11TestDesktop.h"

#include <QDBusConnection>
#include <QDBusObjectPath>

#include <stdexcept>

#if !defined(AIMSET_GTK_TEST_WINDOW) || !defined(AIMSET_SYSTEM_PYTHON)
#error                                                                                             \
    "AIMSET_GTK_TEST_WINDOW must name tests/gnome/test_window.py, AIMSET_SYSTEM_PYTHON Debian's Python"
#endif

namespace aimset::test {

namespace {

const QString kRemoteDesktop = QStringLiteral("org.gnome.Mutter.RemoteDesktop");

QDBusMessage callRemoteDesktop(const QString& path, const QString& interface, const QString& method,
                               const QVariantList& arguments = {}) {
    const QDBusMessage reply = callSessionBus(kRemoteDesktop, path, interface, method, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        throw std::runtime_error(
            QString(method + QStringLiteral(": ") + reply.errorMessage()).toStdString());
    }
    return reply;
}

} // namespace

QDBusMessage callSessionBus(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

ShellKeyboard::ShellKeyboard() {
    const QDBusMessage created =
        callRemoteDesktop(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"), kRemoteDesktop,
                          QStringLiteral("CreateSession"));
    m_session = created.arguments().value(0).value<QDBusObjectPath>().path();
    callRemoteDesktop(m_session, kRemoteDesktop + QStringLiteral(".Session"),
                      QStringLiteral("Start"));
}

void ShellKeyboard::key(std::uint32_t code, bool down) {
    callRemoteDesktop(m_session, kRemoteDesktop + QStringLiteral(".Session"),
                      QStringLiteral("NotifyKeyboardKeycode"), {code, down});
}

void ShellKeyboard::keysym(std::uint32_t keysym) {
    for (const bool down : {true, false}) {
        callRemoteDesktop(m_session, kRemoteDesktop + QStringLiteral(".Session"),
                          QStringLiteral("NotifyKeyboardKeysym"), {keysym, down});
    }
}

void ShellKeyboard::type(const QString& text) {
    // Latin-1 characters are their own keysyms.
    for (const QChar c : text) {
        keysym(c.unicode());
    }
}

GtkTestWindow::GtkTestWindow(const QString& appId, const QString& title) {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process, [this] {
        while (m_process.canReadLine()) {
            m_lines << QString::fromUtf8(m_process.readLine()).chopped(1);
        }
    });
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(AIMSET_SYSTEM_PYTHON),
                    {QStringLiteral(AIMSET_GTK_TEST_WINDOW), appId, title});
    if (!m_process.waitForStarted(5000)) {
        throw std::runtime_error("the GTK test window did not start");
    }
}

GtkTestWindow::~GtkTestWindow() {
    stopProcess(m_process);
}

bool GtkTestWindow::waitFor(const QString& line, std::chrono::milliseconds limit) {
    return spinUntil([&] { return m_lines.contains(line); }, limit);
}

void GtkTestWindow::tell(const QString& command) {
    m_process.write((command + QLatin1Char('\n')).toUtf8());
}

bool GtkTestWindow::waitUntilFocused(ShellKeyboard& keyboard) {
    if (!waitFor(QStringLiteral("focus-in"))) {
        return false;
    }
    // A new window hears keys a little after it is told it has the focus.
    const QString heard = QStringLiteral("release Shift_L Shift");
    const bool hears = spinUntil(
        [&] {
            keyboard.key(keyLeftShift, true);
            keyboard.key(keyLeftShift, false);
            return waitFor(heard, std::chrono::milliseconds(100));
        },
        std::chrono::milliseconds(10000));
    if (hears) {
        m_lines.clear();
    }
    return hears;
}

} // namespace aimset::test
