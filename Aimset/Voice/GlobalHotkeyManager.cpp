#include "GlobalHotkeyManager.h"

#include "Platform/KeyNames.h"
#include "Runtime/Log.h"

#include <QPointer>

namespace aimset {

GlobalHotkeyManager::GlobalHotkeyManager(MainLoop& loop, KeyEventMonitor& monitor, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_monitor(monitor) {}

// Monitors left installed do nothing once we are gone: their handlers hold us weakly.
GlobalHotkeyManager::~GlobalHotkeyManager() = default;

void GlobalHotkeyManager::startMonitoring() {
    QPointer<GlobalHotkeyManager> weak(this);
    MainLoop* loop = &m_loop;
    // Events are handled in a task of their own, never inside the platform's
    // delivery, and always in the order they arrived.
    auto enqueue = [weak, loop](const KeyEvent& event) {
        loop->post([weak, event] {
            if (weak) {
                weak->handleKeyEvent(event);
            }
        });
    };
    m_globalMonitor = m_monitor.addGlobalMonitor(monitoredEvents, enqueue);
    // The keystroke still reaches this application's focused control.
    m_localMonitor = m_monitor.addLocalMonitor(monitoredEvents, [enqueue](const KeyEvent& event) {
        enqueue(event);
        return std::optional<KeyEvent>(event);
    });
    Log(QStringLiteral("[Hotkey] Global hotkey monitor started (") + KeyNames::desktop().hotkey() +
        QLatin1Char(')'));
}

void GlobalHotkeyManager::stopMonitoring() {
    if (m_globalMonitor) {
        m_monitor.removeMonitor(*m_globalMonitor);
        m_globalMonitor.reset();
    }
    if (m_localMonitor) {
        m_monitor.removeMonitor(*m_localMonitor);
        m_localMonitor.reset();
    }
    if (m_isRecording) {
        stopRecording();
    }
    Log(QStringLiteral("[Hotkey] Global hotkey monitor stopped"));
}

void GlobalHotkeyManager::handleKeyEvent(const KeyEvent& event) {
    switch (event.kind) {
    case KeyEventKind::flagsChanged:
        // Option let go ends the recording; any other modifier change is ignored.
        if (m_isRecording && !event.hasOption()) {
            stopRecording();
        }
        break;
    case KeyEventKind::keyDown:
        // Auto-repeats of a held M arrive while recording and are ignored.
        if (event.keyCode == hotkeyKeyCode && event.hasOption() && !m_isRecording) {
            startRecording();
        }
        break;
    case KeyEventKind::keyUp:
        if (event.keyCode == hotkeyKeyCode && m_isRecording) {
            stopRecording();
        }
        break;
    case KeyEventKind::other:
        break;
    }
}

void GlobalHotkeyManager::startRecording() {
    m_isRecording = true;
    const quint64 recording = ++m_recordingCount;
    QPointer<GlobalHotkeyManager> weak(this);
    MainLoop* loop = &m_loop;
    m_safetyTimer = m_loop.scheduleOnce(safetyTimeout, [weak, loop, recording] {
        loop->post([weak, recording] {
            if (weak) {
                weak->safetyTimerFired(recording);
            }
        });
    });
    if (onHotkeyDown) {
        onHotkeyDown();
    }
    Log(QStringLiteral("[Hotkey] ") + KeyNames::desktop().hotkey() +
        QStringLiteral(" pressed — recording started"));
}

void GlobalHotkeyManager::stopRecording() {
    if (!m_isRecording) {
        return;
    }
    m_isRecording = false;
    m_safetyTimer.reset();
    if (onHotkeyUp) {
        onHotkeyUp();
    }
    Log(QStringLiteral("[Hotkey] ") + KeyNames::desktop().hotkey() +
        QStringLiteral(" released — recording stopped"));
}

void GlobalHotkeyManager::safetyTimerFired(quint64 recording) {
    if (!m_isRecording || recording != m_recordingCount) {
        return;
    }
    const double seconds = std::chrono::duration<double>(safetyTimeout).count();
    Log(QStringLiteral("[Hotkey] Safety timeout — stopping recording after ") +
        QString::number(seconds, 'f', 1) + QStringLiteral("s"));
    stopRecording();
}

} // namespace aimset
