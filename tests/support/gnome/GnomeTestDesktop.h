#pragma once

// The headless GNOME Shell the tests run in (tests/gnome/with-gnome-shell.sh):
// keys pressed through the shell's remote-desktop interface, as a person
// would, and GTK test windows that print the events they receive.

#include "support/SpinUntil.h"

#include <QDBusMessage>
#include <QStringList>

#include <chrono>
#include <cstdint>

namespace aimset::test {

// A method call on the session bus; its reply, an error if it failed.
QDBusMessage callSessionBus(const QString& service, const QString& path, const QString& interface,
                            const QString& method, const QVariantList& arguments = {});

// Linux input key codes, as the remote-desktop interface takes them.
enum LinuxKey : std::uint32_t {
    keyM = 50,
    keyLeftShift = 42,
    keyLeftAlt = 56,
    keyTab = 15,
};

class ShellKeyboard {
public:
    ShellKeyboard();
    void key(std::uint32_t code, bool down);
    // Keysyms, for text: the shell finds the keys.
    void type(const QString& text);
    void keysym(std::uint32_t keysym);

private:
    QString m_session;
};

// tests/gnome/test_window.py: a GTK window on Wayland with an application id
// and a title, printing "focus-in", "press w Control" and the like.
class GtkTestWindow {
public:
    GtkTestWindow(const QString& appId, const QString& title);

    qint64 pid() const { return m_process.processId(); }
    QStringList lines() const { return m_process.printed; }
    // Waits until the window printed this line.
    bool waitFor(const QString& line,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(10000));
    // A command on its standard input ("title TEXT").
    void tell(const QString& command);
    // Waits until it has the focus and hears keys; forgets what it printed.
    bool waitUntilFocused(ShellKeyboard& keyboard);

private:
    LineProcess m_process;
};

} // namespace aimset::test
