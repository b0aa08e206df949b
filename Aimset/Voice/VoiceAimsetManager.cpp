#include "VoiceAimsetManager.h"

#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QPointer>

namespace aimset {

VoiceAimsetManager::VoiceAimsetManager(MainLoop& loop, SpeechService& speech,
                                       AudioEngine& audioEngine, PanelHost& panelHost,
                                       QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_speech(speech)
    , m_audioEngine(audioEngine)
    , m_speechRecognizer(speech.recognizer(QString::fromLatin1(locale)))
    , m_panelController(panelHost) {}

VoiceAimsetManager::~VoiceAimsetManager() {
    if (m_isListening) {
        m_panelController.hide();
        stopAudio();
    }
}

void VoiceAimsetManager::requestPermissions() {
    QPointer<VoiceAimsetManager> weak(this);
    MainLoop* loop = &m_loop;
    m_speech.requestAuthorization([weak, loop](SpeechAuthorizationStatus status) {
        loop->post([weak, status] {
            if (weak) {
                weak->speechAuthorizationAnswered(status);
            }
        });
    });
}

void VoiceAimsetManager::speechAuthorizationAnswered(SpeechAuthorizationStatus status) {
    if (status != SpeechAuthorizationStatus::authorized) {
        Log(QStringLiteral("[Voice] Speech recognition unavailable (status: %1)")
                .arg(static_cast<int>(status)));
        return;
    }
    QPointer<VoiceAimsetManager> weak(this);
    MainLoop* loop = &m_loop;
    m_speech.requestMicrophoneAccess([weak, loop](bool granted) {
        loop->post([weak, granted] {
            if (!weak) {
                return;
            }
            // Only what is known: where nothing had to be asked, nothing was granted.
            Log(granted ? QStringLiteral("[Voice] Speech recognition ready")
                        : QStringLiteral("[Voice] Microphone permission denied"));
        });
    });
}

void VoiceAimsetManager::startListening() {
    if (m_isListening) {
        return;
    }
    if (!m_speechRecognizer || !m_speechRecognizer->isAvailable()) {
        Log(QStringLiteral("[Voice] Speech recognizer not available"));
        return;
    }
    // Asked afresh every time: the user may have changed it since the last press.
    if (m_speech.authorizationStatus() != SpeechAuthorizationStatus::authorized) {
        Log(QStringLiteral("[Voice] Speech recognition not ready"));
        return;
    }

    RecognitionRequestOptions options;
    options.shouldReportPartialResults = true;
    options.requiresOnDeviceRecognition = true;
    m_recognitionRequest = m_speech.createAudioBufferRequest(options);

    // The tap runs on the capture thread: it holds the request alone and
    // never touches this object.
    const AudioFormat format = m_audioEngine.inputFormat(tapBus);
    std::shared_ptr<SpeechRecognitionRequest> request = m_recognitionRequest;
    m_audioEngine.installTap(tapBus, tapBufferSize, format,
                             [request](const AudioBuffer& buffer) { request->append(buffer); });

    const quint64 recording = ++m_recordingCount;
    QPointer<VoiceAimsetManager> weak(this);
    MainLoop* loop = &m_loop;
    m_recognitionTask = m_speechRecognizer->recognitionTask(
        m_recognitionRequest,
        [weak, loop, recording](const std::optional<SpeechRecognitionResult>& result,
                                const std::optional<QString>& errorDescription) {
            loop->post([weak, recording, result, errorDescription] {
                if (weak) {
                    weak->resultArrived(recording, result, errorDescription);
                }
            });
        });

    m_audioEngine.prepare();
    if (const std::optional<QString> failure = m_audioEngine.start()) {
        Log(QStringLiteral("[Voice] Audio engine failed to start: ") + *failure);
        stopAudio();
        return;
    }

    setListening(true);
    setCurrentTranscription(QString());
    m_panelController.show(*this);
    Log(QStringLiteral("[Voice] Started listening"));
}

void VoiceAimsetManager::resultArrived(quint64 recording,
                                       const std::optional<SpeechRecognitionResult>& result,
                                       const std::optional<QString>& errorDescription) {
    // Each partial result replaces the text as a whole.
    if (result && m_isListening && recording == m_recordingCount) {
        setCurrentTranscription(result->bestTranscription);
    }
    // An error does not end the recording; the user's release does.
    if (errorDescription) {
        Log(QStringLiteral("[Voice] Recognition error: ") + *errorDescription);
    }
}

void VoiceAimsetManager::stopListening() {
    if (!m_isListening) {
        return;
    }
    setListening(false);
    m_panelController.hide();
    // The task is cancelled rather than waited on, so the release acts at once
    // on the last partial result.
    stopAudio();

    const QString text = m_currentTranscription.trimmed();
    if (!text.isEmpty()) {
        Log(QStringLiteral("[Voice] Transcription complete: ") + text);
        if (onTranscriptionComplete) {
            onTranscriptionComplete(text);
        }
    } else {
        Log(QStringLiteral("[Voice] Stopped listening (no transcription)"));
    }
    setCurrentTranscription(QString());
}

void VoiceAimsetManager::stopAudio() {
    m_audioEngine.removeTap(tapBus);
    m_audioEngine.stop();
    if (m_recognitionRequest) {
        m_recognitionRequest->endAudio();
    }
    m_recognitionRequest.reset();
    if (m_recognitionTask) {
        m_recognitionTask->cancel();
    }
    m_recognitionTask.reset();
}

void VoiceAimsetManager::setListening(bool listening) {
    assignIfChanged(this, m_isListening, listening, &VoiceAimsetManager::isListeningChanged);
}

void VoiceAimsetManager::setCurrentTranscription(const QString& text) {
    assignIfChanged(this, m_currentTranscription, text,
                    &VoiceAimsetManager::currentTranscriptionChanged);
}

} // namespace aimset
