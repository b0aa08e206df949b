#pragma once

#include "Platform/SpeechService.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace aimset {

class FakeSpeechService;

// A request that counts what the tap appended (from any thread).
class FakeRecognitionRequest final : public SpeechRecognitionRequest {
public:
    FakeRecognitionRequest(FakeSpeechService& service, RecognitionRequestOptions options);
    void append(const AudioBuffer& buffer) override;
    void endAudio() override;

    const RecognitionRequestOptions options;
    std::atomic<int> appendedBuffers{0};
    std::atomic<int> appendedFrames{0};
    std::atomic<bool> audioEnded{false};

private:
    FakeSpeechService& m_service;
};

// One recognition task: the handler the component gave, to play results into.
struct FakeRecognitionTask {
    std::shared_ptr<SpeechRecognitionRequest> request;
    SpeechRecognizer::ResultHandler handler;
    bool cancelled = false;

    // Calls the handler on the calling thread, as the platform would on its own.
    void deliverResult(const QString& transcription, bool isFinal = false) const;
    void deliverError(const QString& description) const;
};

// On-device speech the test arranges: the authorisation status, whether a
// recogniser exists and is available, the permission answers (held until the
// test gives them, from any thread), and every call in order.
class FakeSpeechService final : public SpeechService {
public:
    // journal, if given, also receives every call prefixed with "speech.".
    explicit FakeSpeechService(QStringList* journal = nullptr);

    SpeechAuthorizationStatus authorizationStatus() override;
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override;
    void requestMicrophoneAccess(std::function<void(bool)> answer) override;
    std::shared_ptr<SpeechRecognizer> recognizer(const QString& locale) override;
    std::shared_ptr<SpeechRecognitionRequest>
    createAudioBufferRequest(const RecognitionRequestOptions& options) override;

    SpeechAuthorizationStatus status = SpeechAuthorizationStatus::authorized;
    bool hasRecognizer = true;
    bool recognizerAvailable = true;

    // Answers still owed to the component, oldest first.
    std::vector<std::function<void(SpeechAuthorizationStatus)>> pendingAuthorization;
    std::vector<std::function<void(bool)>> pendingMicrophone;

    std::vector<std::shared_ptr<FakeRecognitionRequest>> requests;
    std::vector<std::shared_ptr<FakeRecognitionTask>> tasks;
    // The task of the latest recording; throws std::logic_error if none was started.
    FakeRecognitionTask& latestTask();

    // "authorizationStatus", "requestAuthorization", "requestMicrophoneAccess",
    // "recognizer en-US", "isAvailable", "createRequest partial=1 onDevice=1",
    // "recognitionTask", "endAudio", "cancel". Main-thread calls only.
    QStringList calls;
    void record(const QString& call);

private:
    QStringList* m_journal;
};

} // namespace aimset
