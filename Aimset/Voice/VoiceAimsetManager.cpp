#include "VoiceAimsetManager.h"

#include "Runtime/Log.h"
#include "Runtime/Observable.h"

#include <QPointer>

namespace aimset {

VoiceAimsetManager::VoiceAimsetManager(MainLoop& loop, SpeechRecognizer& speech,
                                       PanelHost& panelHost, QObject* parent)
    : QObject(parent)
    , m_loop(loop)
    , m_speech(speech)
    , m_panelHost(panelHost) {}

VoiceAimsetManager::~VoiceAimsetManager() {
    if (m_isListening) {
        m_panel.reset();
        m_speech.stopListening();
    }
}

void VoiceAimsetManager::requestPermissions() {
    m_speech.requestAccess([weak = QPointer(this), loop = &m_loop](SpeechAvailability answer) {
        loop->post([weak, answer] {
            if (!weak) {
                return;
            }
            // Only what is known: where nothing had to be asked, nothing was granted.
            if (answer == SpeechAvailability::available) {
                Log(QStringLiteral("[Voice] Speech recognition ready"));
            } else if (answer == SpeechAvailability::noMicrophone) {
                Log(QStringLiteral("[Voice] Microphone permission denied"));
            } else {
                // The numbers users and old logs know: 0 not asked, 1 denied, 2 restricted.
                const int status = answer == SpeechAvailability::notDetermined ? 0
                                   : answer == SpeechAvailability::denied      ? 1
                                                                               : 2;
                Log(QStringLiteral("[Voice] Speech recognition unavailable (status: %1)")
                        .arg(status));
            }
        });
    });
}

void VoiceAimsetManager::startListening() {
    if (m_isListening) {
        return;
    }
    // Asked afresh every time: the user may have changed it since the last press.
    // A refused microphone is not tested here: the recording's start reports it.
    const SpeechAvailability availability = m_speech.availability();
    if (availability == SpeechAvailability::noModel) {
        Log(QStringLiteral("[Voice] Speech recognizer not available"));
        return;
    }
    if (availability == SpeechAvailability::notDetermined ||
        availability == SpeechAvailability::denied) {
        Log(QStringLiteral("[Voice] Speech recognition not ready"));
        return;
    }

    const quint64 recording = ++m_recordingCount;
    QPointer<VoiceAimsetManager> weak(this);
    MainLoop* loop = &m_loop;
    SpeechRecognizer::Listener listener;
    listener.heard = [weak, loop, recording](const QString& text) {
        loop->post([weak, recording, text] {
            // Each result replaces the text as a whole.
            if (weak && weak->m_isListening && recording == weak->m_recordingCount) {
                weak->setCurrentTranscription(text);
            }
        });
    };
    listener.failed = [weak, loop](const QString& description) {
        loop->post([weak, description] {
            // An error does not end the recording; the user's release does.
            if (weak) {
                Log(QStringLiteral("[Voice] Recognition error: ") + description);
            }
        });
    };
    if (const std::optional<QString> failure = m_speech.startListening(std::move(listener))) {
        Log(QStringLiteral("[Voice] Audio engine failed to start: ") + *failure);
        return;
    }

    m_isListening = true;
    setCurrentTranscription(QString());
    // The indicator sizes itself; the panel grows with it as the words come.
    m_panel = m_panelHost.presentPanel(PanelRequest{QStringLiteral("VoiceRecordingIndicatorView"),
                                                    this, QSize(), PanelPlacement::topCentre});
    Log(QStringLiteral("[Voice] Started listening"));
}

void VoiceAimsetManager::stopListening() {
    if (!m_isListening) {
        return;
    }
    m_isListening = false;
    m_panel.reset();
    // Stopped rather than waited on, so the release acts at once on the
    // last text heard.
    m_speech.stopListening();

    const QString text = m_currentTranscription.trimmed();
    if (!text.isEmpty()) {
        Log(QStringLiteral("[Voice] Transcription complete: ") + text);
        emit transcriptionComplete(text);
    } else {
        Log(QStringLiteral("[Voice] Stopped listening (no transcription)"));
    }
    setCurrentTranscription(QString());
}

void VoiceAimsetManager::setCurrentTranscription(const QString& text) {
    assignIfChanged(this, m_currentTranscription, text,
                    &VoiceAimsetManager::currentTranscriptionChanged);
}

} // namespace aimset
