#pragma once

// The headless GNOME Shell the tests run in (tests/gnome/with-gnome-shell.sh):
// keys pressed through the shell's remote-desktop interface, as a person
// would, and GTK test windows that print the events they receive.

#include "support/SpinUntil.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <stdexcept>

namespace aimset::test {

using namespace Qt::StringLiterals;

inline const QString kRemoteDesktop = u"org.gnome.Mutter.RemoteDesktop"_s;

// A method call on the session bus; its reply, an error if it failed.
inline QDBusMessage callSessionBus(const QString& service, const QString& path,
                                   const QString& interface, const QString& method,
                                   const QVariantList& arguments = {}) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// Linux input key codes, as the remote-desktop interface takes them.
enum LinuxKey : std::uint32_t {
    keyM = 50,
    keyLeftShift = 42,
    keyLeftAlt = 56,
    keyTab = 15,
};

class ShellKeyboard {
public:
    ShellKeyboard() {
        const QDBusMessage created =
            call(u"/org/gnome/Mutter/RemoteDesktop"_s, kRemoteDesktop, u"CreateSession"_s);
        m_session = created.arguments().value(0).value<QDBusObjectPath>().path();
        call(m_session, kRemoteDesktop + u".Session"_s, u"Start"_s);
    }
    void key(std::uint32_t code, bool down) {
        call(m_session, kRemoteDesktop + u".Session"_s, u"NotifyKeyboardKeycode"_s, {code, down});
    }
    // Keysyms, for text: the shell finds the keys.
    void type(const QString& text) {
        // Latin-1 characters are their own keysyms.
        for (const QChar c : text) {
            keysym(c.unicode());
        }
    }
    void keysym(std::uint32_t keysym) {
        for (const bool down : {true, false}) {
            call(m_session, kRemoteDesktop + u".Session"_s, u"NotifyKeyboardKeysym"_s,
                 {keysym, down});
        }
    }

private:
    static QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                             const QVariantList& arguments = {}) {
        const QDBusMessage reply =
            callSessionBus(kRemoteDesktop, path, interface, method, arguments);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            throw std::runtime_error(
                QString(method + u": "_s + reply.errorMessage()).toStdString());
        }
        return reply;
    }

    QString m_session;
};

// tests/gnome/test_window.py: a GTK window on Wayland with an application id
// and a title, printing "focus-in", "press w Control" and the like.
class GtkTestWindow {
public:
    GtkTestWindow(const QString& appId, const QString& title) {
        m_process.launch(QStringLiteral(AIMSET_SYSTEM_PYTHON),
                         {QStringLiteral(AIMSET_GTK_TEST_WINDOW), appId, title});
    }

    qint64 pid() const { return m_process.processId(); }
    QStringList lines() const { return m_process.printed; }
    // Waits until the window printed this line.
    bool waitFor(const QString& line,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(10000)) {
        return spinUntil([&] { return m_process.printed.contains(line); }, limit);
    }
    // A command on its standard input ("title TEXT").
    void tell(const QString& command) { m_process.write((command + u'\n').toUtf8()); }
    // Waits until it has the focus and hears keys; forgets what it printed.
    bool waitUntilFocused(ShellKeyboard& keyboard) {
        // A new window hears keys a little after it is told it has the focus.
        const bool hears =
            waitFor(u"focus-in"_s) &&
            spinUntil(
                [&] {
                    keyboard.key(keyLeftShift, true);
                    keyboard.key(keyLeftShift, false);
                    return waitFor(u"release Shift_L Shift"_s, std::chrono::milliseconds(100));
                },
                std::chrono::milliseconds(10000));
        if (hears) {
            m_process.printed.clear();
        }
        return hears;
    }

private:
    LineProcess m_process;
};

} // namespace aimset::test
