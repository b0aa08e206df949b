#pragma once

#include "Platform/KeyEventMonitor.h"
#include "XcbConnection.h"

#include <QObject>
#include <QSet>
#include <QSocketNotifier>

#include <functional>
#include <map>
#include <memory>

namespace aimset {

// Translates X key codes and held modifier keys into the port's vocabulary.
// Modifier state is tracked from the keys themselves, so a release that
// arrives twice or a press without its release never leaves a flag stuck.
class X11KeyTranslator {
public:
    // The X key codes that act as each modifier, from the server's modifier map.
    struct ModifierKeys {
        QSet<std::uint8_t> shift, control, option, command;
    };

    explicit X11KeyTranslator(ModifierKeys keys = defaultModifierKeys());

    // The key code of the ANSI position of an X key code (-1 when unmapped).
    static int keyCodeFor(std::uint8_t xKeycode);
    // Key codes of a standard PC keyboard under evdev.
    static ModifierKeys defaultModifierKeys();

    // Turns a raw press or release into the event a monitor reports.
    KeyEvent translate(std::uint8_t xKeycode, bool pressed);
    quint64 flags() const;

private:
    ModifierKeys m_keys;
    QSet<std::uint8_t> m_held;
};

// Key events of the whole desktop from XInput2's raw key events, read on a
// connection of its own through a socket notifier on the main thread. Raw
// events neither repeat nor take the key from the application that has it.
class X11KeyEventMonitor final : public QObject, public KeyEventMonitor {
public:
    // Whether one of this application's windows is the active one; decides
    // between the local and the global monitors.
    using OwnWindowActive = std::function<bool()>;

    // Null when no X server can be reached.
    static std::unique_ptr<X11KeyEventMonitor> create(OwnWindowActive ownWindowActive,
                                                      const char* display = nullptr);
    ~X11KeyEventMonitor() override;

    std::optional<KeyMonitorToken> addGlobalMonitor(quint64 mask, GlobalHandler handler) override;
    std::optional<KeyMonitorToken> addLocalMonitor(quint64 mask, LocalHandler handler) override;
    void removeMonitor(KeyMonitorToken token) override;

    bool hasRawEvents() const { return m_xinputOpcode != 0; }

private:
    X11KeyEventMonitor(std::unique_ptr<XcbConnection> connection, OwnWindowActive ownWindowActive);
    void selectRawEvents();
    X11KeyTranslator::ModifierKeys readModifierMap();
    void readEvents();
    void deliver(const KeyEvent& event);

    struct Monitor {
        quint64 mask = 0;
        GlobalHandler global;
        LocalHandler local;
    };

    std::unique_ptr<XcbConnection> m_x;
    OwnWindowActive m_ownWindowActive;
    X11KeyTranslator m_translator;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<quint64, Monitor> m_monitors;
    quint64 m_nextToken = 1;
    std::uint8_t m_xinputOpcode = 0;
};

} // namespace aimset
