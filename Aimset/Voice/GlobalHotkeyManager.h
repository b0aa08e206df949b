#pragma once

#include "Runtime/MainLoop.h"

#include <QObject>

namespace aimset {

class VoiceChord;

// Turns holding the voice chord (Alt+M) into a recording that works whichever
// application is in front, and reports its start and end.
// A recording that is never released ends by itself after 30 seconds.
// Lives on the main thread.
class GlobalHotkeyManager : public QObject {
    Q_OBJECT

public:
    static constexpr MainLoop::Duration safetyTimeout{30000};

    GlobalHotkeyManager(MainLoop& loop, VoiceChord& chord, QObject* parent = nullptr);
    ~GlobalHotkeyManager() override;

    // Watches the chord. Pair each call with a later stopMonitoring().
    void startMonitoring();
    // Stops watching and ends a running recording as a release would.
    void stopMonitoring();

    bool isRecording() const { return m_isRecording; }
    bool isWatching() const { return m_watching; }

signals:
    void hotkeyDown();
    void hotkeyUp();

private:
    void startRecording();
    void stopRecording();
    void safetyTimerFired(quint64 recording);

    MainLoop& m_loop;
    VoiceChord& m_chord;
    bool m_watching = false;
    bool m_isRecording = false;
    TimerHandle m_safetyTimer;
    // Counts recordings, so a timeout queued just before a release cannot end
    // the recording that follows it.
    quint64 m_recordingCount = 0;
};

} // namespace aimset
