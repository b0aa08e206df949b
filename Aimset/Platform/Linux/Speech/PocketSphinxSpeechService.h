#pragma once

#include "Platform/SpeechService.h"

#include <QString>

#include <memory>

namespace aimset {

// On-device speech recognition with PocketSphinx and a US English model.
//
// The model takes about half a second and 95 MB to load, so it is not kept:
// every recognition task loads its own decoder on a worker thread and frees
// it when the task ends. Audio appended meanwhile waits in the request, so
// nothing said at the start of a recording is lost. Results reach the task's
// handler on that worker thread; a task that cannot start at all (a request
// of another service, or one that already has a task) says so at once.
//
// Authorisation means the model is there: "not determined" until asked, then
// "authorised", or "restricted" when its files are missing or it failed to load.
// There is no microphone permission on this desktop; access is granted.
class PocketSphinxSpeechService final : public SpeechService {
public:
    struct Model {
        QString acousticModel; // the folder of the hidden Markov model
        QString languageModel;
        QString dictionary;
    };
    // The US English model of the pocketsphinx-en-us package.
    static Model usEnglishModel();

    explicit PocketSphinxSpeechService(Model model = usEnglishModel());
    // Cancels every running task and waits for its worker to let go.
    ~PocketSphinxSpeechService() override;
    PocketSphinxSpeechService(const PocketSphinxSpeechService&) = delete;
    PocketSphinxSpeechService& operator=(const PocketSphinxSpeechService&) = delete;

    SpeechAuthorizationStatus authorizationStatus() override;
    // Answers at once from the model's files, loading nothing.
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override;
    void requestMicrophoneAccess(std::function<void(bool)> answer) override;
    // A recogniser for "en-US" (or "en_US"); null for any other locale.
    std::shared_ptr<SpeechRecognizer> recognizer(const QString& locale) override;
    std::shared_ptr<SpeechRecognitionRequest>
    createAudioBufferRequest(const RecognitionRequestOptions& options) override;

    // The audio format the decoder works in (mono, 16-bit); other audio is left out.
    static constexpr int sampleRate = 16000;

    // Decoders in memory right now (loading, listening, or about to be freed).
    int loadedDecoderCount() const;

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};

} // namespace aimset
