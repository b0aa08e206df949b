#include "GlobalHotkeyManager.h"

#include "Platform/KeyNames.h"
#include "Platform/VoiceChord.h"
#include "Runtime/Log.h"

namespace aimset {

GlobalHotkeyManager::GlobalHotkeyManager(MainLoop& loop, VoiceChord& chord, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_chord(chord) {}

GlobalHotkeyManager::~GlobalHotkeyManager() {
    if (m_watching) {
        m_chord.unwatch();
    }
}

void GlobalHotkeyManager::startMonitoring() {
    // Each change is handled in a task of its own, never inside the platform's
    // delivery, and always in the order they arrived.
    const auto enqueue = [this](bool down) {
        return [this, down] {
            m_loop.post(
                [this, down] {
                    if (down && !m_isRecording) {
                        startRecording();
                    } else if (!down) {
                        stopRecording();
                    }
                },
                this);
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
    m_safetyTimer = m_loop.scheduleOnce(
        safetyTimeout,
        [this, recording] {
            m_loop.post([this, recording] { safetyTimerFired(recording); }, this);
        },
        this);
    emit hotkeyDown();
    Log(QStringLiteral("[Hotkey] ") + KeyNames::desktop().hotkey() +
        QStringLiteral(" pressed — recording started"));
}

void GlobalHotkeyManager::stopRecording() {
    if (!m_isRecording) {
        return;
    }
    m_isRecording = false;
    m_safetyTimer.reset();
    emit hotkeyUp();
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
