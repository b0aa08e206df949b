#include "FakeKeyEventMonitor.h"

namespace aimset {

namespace {

QString hex(quint64 mask) {
    return QStringLiteral("0x") + QString::number(mask, 16);
}

quint64 maskOf(KeyEventKind kind) {
    switch (kind) {
    case KeyEventKind::keyDown:
        return KeyEventMask::keyDown;
    case KeyEventKind::keyUp:
        return KeyEventMask::keyUp;
    case KeyEventKind::flagsChanged:
        return KeyEventMask::flagsChanged;
    case KeyEventKind::other:
        break;
    }
    return 0;
}

bool takes(quint64 mask, const KeyEvent& event) {
    // Kinds outside the three masks reach every monitor, so a component has
    // to ignore them itself.
    const quint64 bit = maskOf(event.kind);
    return bit == 0 || (mask & bit) != 0;
}

} // namespace

std::optional<KeyMonitorToken> FakeKeyEventMonitor::addGlobalMonitor(quint64 mask,
                                                                     GlobalHandler handler) {
    if (refuseGlobal) {
        calls << QStringLiteral("addGlobalMonitor %1 refused").arg(hex(mask));
        return std::nullopt;
    }
    const quint64 token = m_nextToken++;
    m_global.emplace(token, Global{mask, std::move(handler)});
    calls << QStringLiteral("addGlobalMonitor %1 -> %2").arg(hex(mask)).arg(token);
    return KeyMonitorToken{token};
}

std::optional<KeyMonitorToken> FakeKeyEventMonitor::addLocalMonitor(quint64 mask,
                                                                    LocalHandler handler) {
    if (refuseLocal) {
        calls << QStringLiteral("addLocalMonitor %1 refused").arg(hex(mask));
        return std::nullopt;
    }
    const quint64 token = m_nextToken++;
    m_local.emplace(token, Local{mask, std::move(handler)});
    calls << QStringLiteral("addLocalMonitor %1 -> %2").arg(hex(mask)).arg(token);
    return KeyMonitorToken{token};
}

void FakeKeyEventMonitor::removeMonitor(KeyMonitorToken token) {
    calls << QStringLiteral("removeMonitor %1").arg(token.value);
    m_global.erase(token.value);
    m_local.erase(token.value);
}

void FakeKeyEventMonitor::deliverGlobal(const KeyEvent& event) {
    // Copy: a handler may add or remove monitors.
    const auto monitors = m_global;
    for (const auto& [token, monitor] : monitors) {
        if (takes(monitor.mask, event) && monitor.handler) {
            monitor.handler(event);
        }
    }
}

std::vector<std::optional<KeyEvent>> FakeKeyEventMonitor::deliverLocal(const KeyEvent& event) {
    std::vector<std::optional<KeyEvent>> passedOn;
    const auto monitors = m_local;
    for (const auto& [token, monitor] : monitors) {
        if (takes(monitor.mask, event) && monitor.handler) {
            passedOn.push_back(monitor.handler(event));
        }
    }
    return passedOn;
}

KeyEvent FakeKeyEventMonitor::keyDown(int keyCode, quint64 modifierFlags) {
    return {KeyEventKind::keyDown, keyCode, modifierFlags};
}

KeyEvent FakeKeyEventMonitor::keyUp(int keyCode, quint64 modifierFlags) {
    return {KeyEventKind::keyUp, keyCode, modifierFlags};
}

KeyEvent FakeKeyEventMonitor::flagsChanged(quint64 modifierFlags) {
    return {KeyEventKind::flagsChanged, 0, modifierFlags};
}

} // namespace aimset
