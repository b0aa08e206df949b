#pragma once

#include "Platform/SpeechRecognizer.h"

#include <QString>
#include <QThread>
#include <QThreadPool>

#include <atomic>
#include <memory>

class QAudioSource;

namespace aimset {

// Speech from the default audio input (Qt Multimedia: PulseAudio or
// PipeWire), read in the decoder's format (16 kHz mono 16-bit) on a capture
// thread, recognised with PocketSphinx and a US English model. The model
// takes half a second and 95 MB to load, so it is not kept: each recording
// loads a decoder on a worker thread and frees it at the end, the audio
// waiting meanwhile, so nothing said at the start is lost. Availability is
// the model's files: this desktop has no permission to ask for. All but the
// listener's calls (on the worker thread) happens on the main thread.
class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    struct Model {
        QString acousticModel; // the folder of the hidden Markov model
        QString languageModel;
        QString dictionary;
    };
    // The US English model of the pocketsphinx-en-us package.
    static Model usEnglishModel();

    explicit PocketSphinxRecognizer(Model model = usEnglishModel());
    // Ends a recording and waits for every worker to let go of its decoder.
    ~PocketSphinxRecognizer() override;

    SpeechAvailability availability() override;
    void requestAccess(std::function<void(SpeechAvailability)> answer) override;
    // Fails with a description when there is no input device, no sound
    // server, or the device refuses the format.
    std::optional<QString> startListening(Listener listener) override;
    void stopListening() override;

    // Decoders in memory right now (loading, listening, or about to be freed).
    int loadedDecoderCount() const { return m_loadedDecoders; }

    struct Recording;

private:
    // Runs fn on the capture thread and waits for it.
    void onCaptureThread(const std::function<void()>& fn);

    const Model m_model;
    std::atomic<int> m_loadedDecoders{0};
    QThread m_captureThread;
    std::unique_ptr<QObject> m_captureContext; // lives on m_captureThread
    std::unique_ptr<QAudioSource> m_source;    // touched on the capture thread only
    std::shared_ptr<Recording> m_recording;
    // Loads and runs the decoders, one thread per recording still decoding.
    QThreadPool m_workers;
};

} // namespace aimset
