#pragma once

#include "Platform/Accessibility.h"
#include "Platform/AudioEngine.h"
#include "Platform/SecretStore.h"
#include "Platform/SpeechService.h"

namespace aimset {

// Stand-ins for desktop services this build cannot reach. Each one answers
// the way a desktop without that service would, so the app takes its
// defined failure paths instead of failing to start.

// No accessibility service: window titles still come from the window
// system, but no window text can be read.
class NullAccessibility final : public Accessibility {
public:
    bool isProcessTrusted() override { return true; }
    void requestTrustWithPrompt() override {}
    std::shared_ptr<const AccessibleElement> focusedWindow(std::int32_t) override { return {}; }
};

// No speech recogniser: spoken aimsets are refused with the usual log lines.
class NullSpeechService final : public SpeechService {
public:
    SpeechAuthorizationStatus authorizationStatus() override {
        return SpeechAuthorizationStatus::restricted;
    }
    void requestAuthorization(std::function<void(SpeechAuthorizationStatus)> answer) override {
        answer(SpeechAuthorizationStatus::restricted);
    }
    void requestMicrophoneAccess(std::function<void(bool)> answer) override { answer(false); }
    std::shared_ptr<SpeechRecognizer> recognizer(const QString&) override { return {}; }
    std::shared_ptr<SpeechRecognitionRequest>
    createAudioBufferRequest(const RecognitionRequestOptions&) override {
        return {};
    }
};

// No microphone.
class NullAudioEngine final : public AudioEngine {
public:
    AudioFormat inputFormat(int) override { return {}; }
    void installTap(int, int, const AudioFormat&, TapBlock) override {}
    void removeTap(int) override {}
    void prepare() override {}
    std::optional<QString> start() override {
        return QStringLiteral("no audio input is available in this build");
    }
    void stop() override {}
};

// No keyring: counters read 0 and are not kept.
class NullSecretStore final : public SecretStore {
public:
    FindResult find(const SecretItemKey&, bool) override { return {Status::failure, {}}; }
    Status add(const SecretItemKey&, const QByteArray&, SecretAccessibility) override {
        return Status::failure;
    }
    Status update(const SecretItemKey&, const QByteArray&) override { return Status::failure; }
    Status remove(const SecretItemKey&) override { return Status::failure; }
};

} // namespace aimset
