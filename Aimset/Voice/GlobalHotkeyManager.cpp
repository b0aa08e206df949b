#include "GlobalHotkeyManager.h"

#include "Platform/KeyNames.h"
#include "Platform/VoiceChord.h"
#include "Runtime/Log.h"

#include <QPointer>

namespace aimset {

GlobalHotkeyManager::GlobalHotkeyManager(MainLoop& loop, VoiceChord& chord, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_chord(chord) {}

// A watch left running does nothing once we are gone: its handlers hold us weakly.
GlobalHotkeyManager::~GlobalHotkeyManager() = default;

void GlobalHotkeyManager::startMonitoring() {
    QPointer<GlobalHotkeyManager> weak(this);
    MainLoop* loop = &m_loop;
    // Each change is handled in a task of its own, never inside the platform's
    // delivery, and always in the order they arrived.
    const auto enqueue = [weak, loop](bool down) {
        return [weak, loop, down] {
            loop->post([weak, down] {
                if (!weak) {
                    return;
                }
                if (down && !weak->m_isRecording) {
                    weak->startRecording();
                } else if (!down) {
                    weak->stopRecording();
                }
            });
        };
    };
    m_watching = m_chord.watch(enqueue(true), enqueue(false));
    Log(QStringLiteral("[Hotkey] Global hotkey monitor started (") + KeyNames::desktop().hotkey() +
        QLatin1Char(')'));
}

void GlobalHotkeyManager::stopMonitoring() {
    if (m_watching) {
        m_chord.unwatch();
        m_watching = false;
    }
    if (m_isRecording) {
        stopRecording();
    }
    Log(QStringLiteral("[Hotkey] Global hotkey monitor stopped"));
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
