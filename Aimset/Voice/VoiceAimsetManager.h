#pragma once

#include "Platform/AudioEngine.h"
#include "Platform/SpeechService.h"
#include "Runtime/MainLoop.h"
#include "VoiceRecordingPanelController.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace aimset {

// Captures what the user says while holding the voice hotkey, transcribes it on the
// device (US English) and hands the text on as the new aimset. Publishes the
// running transcription for the floating indicator, which it shows and hides.
// Lives on the main thread.
class VoiceAimsetManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isListening READ isListening NOTIFY isListeningChanged)
    Q_PROPERTY(
        QString currentTranscription READ currentTranscription NOTIFY currentTranscriptionChanged)

public:
    static constexpr const char* locale = "en-US";
    static constexpr int tapBus = 0;
    static constexpr int tapBufferSize = 1024;

    VoiceAimsetManager(MainLoop& loop, SpeechService& speech, AudioEngine& audioEngine,
                       PanelHost& panelHost, QObject* parent = nullptr);
    // Going away mid-recording releases the microphone without delivering anything.
    ~VoiceAimsetManager() override;

    bool isListening() const { return m_isListening; }
    QString currentTranscription() const { return m_currentTranscription; }

    // Receives the final, trimmed, non-empty text on the main thread.
    std::function<void(const QString& text)> onTranscriptionComplete;

    // Asks for speech recognition and then the microphone; the answers are logged.
    void requestPermissions();
    // Starts a recording if it can; failures are logged and leave it idle.
    void startListening();
    // Ends the recording, hides the indicator and delivers the text.
    void stopListening();

    bool hasSpeechRecognizer() const { return static_cast<bool>(m_speechRecognizer); }
    const VoiceRecordingPanelController& panelController() const { return m_panelController; }

signals:
    void isListeningChanged();
    void currentTranscriptionChanged();

private:
    void speechAuthorizationAnswered(SpeechAuthorizationStatus status);
    void resultArrived(quint64 recording, const std::optional<SpeechRecognitionResult>& result,
                       const std::optional<QString>& errorDescription);
    void stopAudio();
    void setListening(bool listening);
    void setCurrentTranscription(const QString& text);

    MainLoop& m_loop;
    SpeechService& m_speech;
    AudioEngine& m_audioEngine;
    bool m_isListening = false;
    QString m_currentTranscription;
    std::shared_ptr<SpeechRecognizer> m_speechRecognizer;
    std::shared_ptr<SpeechRecognitionRequest> m_recognitionRequest;
    std::unique_ptr<SpeechRecognitionTask> m_recognitionTask;
    VoiceRecordingPanelController m_panelController;
    // Counts recordings, so a result of a cancelled task that arrives late
    // cannot show an earlier recording's words in a later one.
    quint64 m_recordingCount = 0;
};

} // namespace aimset
