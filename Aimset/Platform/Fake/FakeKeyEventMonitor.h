#pragma once

#include "Platform/KeyEventMonitor.h"

#include <QStringList>

#include <map>
#include <vector>

namespace aimset {

// A keyboard the test plays: installs monitors (or refuses them when told),
// records every call, and delivers events the way the desktop would.
class FakeKeyEventMonitor final : public KeyEventMonitor {
public:
    std::optional<KeyMonitorToken> addGlobalMonitor(quint64 mask, GlobalHandler handler) override;
    std::optional<KeyMonitorToken> addLocalMonitor(quint64 mask, LocalHandler handler) override;
    void removeMonitor(KeyMonitorToken token) override;

    // An event while another application is in front: every global monitor
    // whose mask takes its kind receives it.
    void deliverGlobal(const KeyEvent& event);
    // An event while this application is in front: every local monitor
    // receives it; returns what each passed on (nothing = swallowed).
    std::vector<std::optional<KeyEvent>> deliverLocal(const KeyEvent& event);

    // Press M with the given modifiers, release it, change the modifiers.
    static KeyEvent keyDown(int keyCode, quint64 modifierFlags);
    static KeyEvent keyUp(int keyCode, quint64 modifierFlags);
    static KeyEvent flagsChanged(quint64 modifierFlags);

    bool refuseGlobal = false;
    bool refuseLocal = false;
    // "addGlobalMonitor 0x1c00 -> 1", "addLocalMonitor 0x1c00 refused", "removeMonitor 1".
    QStringList calls;

    std::size_t globalMonitorCount() const { return m_global.size(); }
    std::size_t localMonitorCount() const { return m_local.size(); }

private:
    struct Global {
        quint64 mask;
        GlobalHandler handler;
    };
    struct Local {
        quint64 mask;
        LocalHandler handler;
    };

    std::map<quint64, Global> m_global;
    std::map<quint64, Local> m_local;
    quint64 m_nextToken = 1;
};

} // namespace aimset
