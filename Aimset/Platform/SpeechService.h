#pragma once

#include "Platform/AudioEngine.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace aimset {

// Numeric values are the ones logged.
enum class SpeechAuthorizationStatus {
    notDetermined = 0,
    denied = 1,
    restricted = 2,
    authorized = 3,
};

struct RecognitionRequestOptions {
    bool shouldReportPartialResults = false;
    // Audio never leaves the machine for recognition.
    bool requiresOnDeviceRecognition = false;
};

// A streaming recognition request fed with captured audio.
class SpeechRecognitionRequest {
public:
    virtual ~SpeechRecognitionRequest() = default;
    // Safe to call from the capture thread.
    virtual void append(const AudioBuffer& buffer) = 0;
    // No more audio follows.
    virtual void endAudio() = 0;
};

class SpeechRecognitionTask {
public:
    virtual ~SpeechRecognitionTask() = default;
    virtual void cancel() = 0;
};

struct SpeechRecognitionResult {
    // The best transcription of everything heard so far.
    QString bestTranscription;
    bool isFinal = false;
};

class SpeechRecognizer {
public:
    // Called on a platform thread for every partial result and for errors;
    // either argument may be present.
    using ResultHandler = std::function<void(const std::optional<SpeechRecognitionResult>& result,
                                             const std::optional<QString>& errorDescription)>;

    virtual ~SpeechRecognizer() = default;
    virtual bool isAvailable() const = 0;
    virtual std::unique_ptr<SpeechRecognitionTask>
    recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request, ResultHandler handler) = 0;
};

// On-device speech recognition and the permissions it needs.
class SpeechService {
public:
    virtual ~SpeechService() = default;

    virtual SpeechAuthorizationStatus authorizationStatus() = 0;
    // Asks the user if needed. The answer may arrive on any thread.
    virtual void
    requestAuthorization(std::function<void(SpeechAuthorizationStatus status)> answer) = 0;
    // Asks for the microphone. The answer may arrive on any thread.
    virtual void requestMicrophoneAccess(std::function<void(bool granted)> answer) = 0;
    // The recogniser for a locale such as "en-US", or null if there is none.
    virtual std::shared_ptr<SpeechRecognizer> recognizer(const QString& locale) = 0;
    virtual std::shared_ptr<SpeechRecognitionRequest>
    createAudioBufferRequest(const RecognitionRequestOptions& options) = 0;
};

} // namespace aimset
