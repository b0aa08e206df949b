#pragma once

#include "Platform/KeyEventMonitor.h"
#include "Runtime/MainLoop.h"

#include <QObject>

#include <functional>
#include <optional>

namespace aimset {

// Turns holding Option (Alt) and the M key together into a press-and-hold gesture
// that works whichever application is in front, and reports its start and end.
// A recording that is never released ends by itself after 30 seconds.
// Lives on the main thread.
class GlobalHotkeyManager : public QObject {
    Q_OBJECT

public:
    static constexpr int hotkeyKeyCode = KeyCode::m;
    static constexpr quint64 hotkeyModifier = ModifierFlag::option;
    static constexpr quint64 monitoredEvents =
        KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;
    static constexpr MainLoop::Duration safetyTimeout{30000};

    GlobalHotkeyManager(MainLoop& loop, KeyEventMonitor& monitor, QObject* parent = nullptr);
    ~GlobalHotkeyManager() override;

    std::function<void()> onHotkeyDown;
    std::function<void()> onHotkeyUp;

    // Installs the global and the local monitor. Pair each call with a later
    // stopMonitoring().
    void startMonitoring();
    // Removes the monitors and ends a running recording as a release would.
    void stopMonitoring();

    // Applies one event to the gesture; the monitors feed it through the main loop.
    void handleKeyEvent(const KeyEvent& event);

    bool isRecording() const { return m_isRecording; }
    std::optional<KeyMonitorToken> globalMonitor() const { return m_globalMonitor; }
    std::optional<KeyMonitorToken> localMonitor() const { return m_localMonitor; }

private:
    void dispatch(const KeyEvent& event);
    void startRecording();
    void stopRecording();
    void safetyTimerFired(quint64 recording);

    MainLoop& m_loop;
    KeyEventMonitor& m_monitor;
    std::optional<KeyMonitorToken> m_globalMonitor;
    std::optional<KeyMonitorToken> m_localMonitor;
    bool m_isRecording = false;
    TimerHandle m_safetyTimer;
    // Counts recordings, so a timeout queued just before a release cannot end
    // the recording that follows it.
    quint64 m_recordingCount = 0;
};

} // namespace aimset
