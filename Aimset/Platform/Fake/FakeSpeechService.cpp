#include "FakeSpeechService.h"

#include <stdexcept>

namespace aimset {

namespace {

class FakeTaskHandle final : public SpeechRecognitionTask {
public:
    FakeTaskHandle(FakeSpeechService& service, std::shared_ptr<FakeRecognitionTask> task)
        : m_service(service)
        , m_task(std::move(task)) {}
    void cancel() override {
        m_service.record(QStringLiteral("cancel"));
        m_task->cancelled = true;
    }

private:
    FakeSpeechService& m_service;
    std::shared_ptr<FakeRecognitionTask> m_task;
};

class FakeRecognizer final : public SpeechRecognizer {
public:
    explicit FakeRecognizer(FakeSpeechService& service)
        : m_service(service) {}
    bool isAvailable() const override {
        m_service.record(QStringLiteral("isAvailable"));
        return m_service.recognizerAvailable;
    }
    std::unique_ptr<SpeechRecognitionTask>
    recognitionTask(std::shared_ptr<SpeechRecognitionRequest> request,
                    ResultHandler handler) override {
        m_service.record(QStringLiteral("recognitionTask"));
        auto task = std::make_shared<FakeRecognitionTask>();
        task->request = std::move(request);
        task->handler = std::move(handler);
        m_service.tasks.push_back(task);
        return std::make_unique<FakeTaskHandle>(m_service, task);
    }

private:
    FakeSpeechService& m_service;
};

} // namespace

FakeRecognitionRequest::FakeRecognitionRequest(FakeSpeechService& service,
                                               RecognitionRequestOptions requestOptions)
    : options(requestOptions)
    , m_service(service) {}

void FakeRecognitionRequest::append(const AudioBuffer& buffer) {
    appendedFrames += buffer.frameCount;
    ++appendedBuffers;
}

void FakeRecognitionRequest::endAudio() {
    m_service.record(QStringLiteral("endAudio"));
    audioEnded = true;
}

void FakeRecognitionTask::deliverResult(const QString& transcription, bool isFinal) const {
    handler(SpeechRecognitionResult{transcription, isFinal}, std::nullopt);
}

void FakeRecognitionTask::deliverError(const QString& description) const {
    handler(std::nullopt, description);
}

FakeSpeechService::FakeSpeechService(QStringList* journal)
    : m_journal(journal) {}

void FakeSpeechService::record(const QString& call) {
    calls << call;
    if (m_journal) {
        *m_journal << QStringLiteral("speech.") + call;
    }
}

FakeRecognitionTask& FakeSpeechService::latestTask() {
    if (tasks.empty()) {
        throw std::logic_error("no recognition task was started");
    }
    return *tasks.back();
}

SpeechAuthorizationStatus FakeSpeechService::authorizationStatus() {
    record(QStringLiteral("authorizationStatus"));
    return status;
}

void FakeSpeechService::requestAuthorization(
    std::function<void(SpeechAuthorizationStatus)> answer) {
    record(QStringLiteral("requestAuthorization"));
    pendingAuthorization.push_back(std::move(answer));
}

void FakeSpeechService::requestMicrophoneAccess(std::function<void(bool)> answer) {
    record(QStringLiteral("requestMicrophoneAccess"));
    pendingMicrophone.push_back(std::move(answer));
}

std::shared_ptr<SpeechRecognizer> FakeSpeechService::recognizer(const QString& locale) {
    record(QStringLiteral("recognizer ") + locale);
    if (!hasRecognizer) {
        return nullptr;
    }
    return std::make_shared<FakeRecognizer>(*this);
}

std::shared_ptr<SpeechRecognitionRequest>
FakeSpeechService::createAudioBufferRequest(const RecognitionRequestOptions& options) {
    record(QStringLiteral("createRequest partial=%1 onDevice=%2")
               .arg(options.shouldReportPartialResults)
               .arg(options.requiresOnDeviceRecognition));
    auto request = std::make_shared<FakeRecognitionRequest>(*this, options);
    requests.push_back(request);
    return request;
}

} // namespace aimset
