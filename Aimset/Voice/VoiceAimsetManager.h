#pragma once

#include "Platform/PanelHost.h"
#include "Platform/SpeechRecognizer.h"
#include "Runtime/MainLoop.h"

#include <QObject>
#include <QString>

namespace aimset {

// Captures what the user says while holding the voice hotkey, transcribes it on the
// device (US English) and hands the text on as the new aimset. Publishes the
// running transcription for the floating "Listening..." indicator, a fresh
// panel for every recording at the top centre of the screen.
// Lives on the main thread.
class VoiceAimsetManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(
        QString currentTranscription READ currentTranscription NOTIFY currentTranscriptionChanged)

public:
    VoiceAimsetManager(MainLoop& loop, SpeechRecognizer& speech, PanelHost& panelHost,
                       QObject* parent = nullptr);
    // Going away mid-recording releases the microphone without delivering anything.
    ~VoiceAimsetManager() override;

    bool isListening() const { return m_isListening; }
    QString currentTranscription() const { return m_currentTranscription; }

    // Asks for speech recognition and the microphone; the answer is logged.
    void requestPermissions();
    // Starts a recording if it can; failures are logged and leave it idle.
    void startListening();
    // Ends the recording, hides the indicator and delivers the text.
    void stopListening();

signals:
    void currentTranscriptionChanged();
    // The final, trimmed, non-empty text of a recording.
    void transcriptionComplete(const QString& text);

private:
    void setCurrentTranscription(const QString& text);

    MainLoop& m_loop;
    SpeechRecognizer& m_speech;
    PanelHost& m_panelHost;
    std::unique_ptr<FloatingPanel> m_panel;
    bool m_isListening = false;
    QString m_currentTranscription;
    // Counts recordings, so a result posted just before a stop cannot show
    // an earlier recording's words in a later one.
    quint64 m_recordingCount = 0;
};

} // namespace aimset
