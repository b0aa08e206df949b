#include "GnomeTestDesktop.h"

#include <QDBusConnection>
#include <QDBusObjectPath>

#include <stdexcept>

#if !defined(AIMSET_GTK_TEST_WINDOW) || !defined(AIMSET_SYSTEM_PYTHON)
#error                                                                                             \
    "AIMSET_GTK_TEST_WINDOW must name tests/gnome/test_window.py, AIMSET_SYSTEM_PYTHON Debian's Python"
#endif

using namespace Qt::StringLiterals;

namespace aimset::test {

namespace {

const QString kRemoteDesktop = u"org.gnome.Mutter.RemoteDesktop"_s;

QDBusMessage callRemoteDesktop(const QString& path, const QString& interface, const QString& method,
                               const QVariantList& arguments = {}) {
    const QDBusMessage reply = callSessionBus(kRemoteDesktop, path, interface, method, arguments);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        throw std::runtime_error(QString(method + u": "_s + reply.errorMessage()).toStdString());
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
        callRemoteDesktop(u"/org/gnome/Mutter/RemoteDesktop"_s, kRemoteDesktop, u"CreateSession"_s);
    m_session = created.arguments().value(0).value<QDBusObjectPath>().path();
    callRemoteDesktop(m_session, kRemoteDesktop + u".Session"_s, u"Start"_s);
}

void ShellKeyboard::key(std::uint32_t code, bool down) {
    callRemoteDesktop(m_session, kRemoteDesktop + u".Session"_s, u"NotifyKeyboardKeycode"_s,
                      {code, down});
}

void ShellKeyboard::keysym(std::uint32_t keysym) {
    for (const bool down : {true, false}) {
        callRemoteDesktop(m_session, kRemoteDesktop + u".Session"_s, u"NotifyKeyboardKeysym"_s,
                          {keysym, down});
    }
}

void ShellKeyboard::type(const QString& text) {
    // Latin-1 characters are their own keysyms.
    for (const QChar c : text) {
        keysym(c.unicode());
    }
}

GtkTestWindow::GtkTestWindow(const QString& appId, const QString& title) {
    m_process.launch(QStringLiteral(AIMSET_SYSTEM_PYTHON),
                     {QStringLiteral(AIMSET_GTK_TEST_WINDOW), appId, title});
}

bool GtkTestWindow::waitFor(const QString& line, std::chrono::milliseconds limit) {
    return spinUntil([&] { return m_process.printed.contains(line); }, limit);
}

void GtkTestWindow::tell(const QString& command) {
    m_process.write((command + u'\n').toUtf8());
}

bool GtkTestWindow::waitUntilFocused(ShellKeyboard& keyboard) {
    if (!waitFor(u"focus-in"_s)) {
        return false;
    }
    // A new window hears keys a little after it is told it has the focus.
    const QString heard = u"release Shift_L Shift"_s;
    const bool hears = spinUntil(
        [&] {
            keyboard.key(keyLeftShift, true);
            keyboard.key(keyLeftShift, false);
            return waitFor(heard, std::chrono::milliseconds(100));
        },
        std::chrono::milliseconds(10000));
    if (hears) {
        m_process.printed.clear();
    }
    return hears;
}

} // namespace aimset::test
