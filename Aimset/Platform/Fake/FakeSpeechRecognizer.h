#pragma once

#include "Platform/SpeechRecognizer.h"

#include <QStringList>

#include <mutex>
#include <vector>

namespace aimset {

// Speech the test arranges: what is available, the answers to access
// requests (at once, or held until the test gives them from any thread),
// whether a start fails, and what the recording hears; every call in order.
class FakeSpeechRecognizer final : public SpeechRecognizer {
public:
    // journal, if given, also receives every call prefixed with "speech.".
    explicit FakeSpeechRecognizer(QStringList* journal = nullptr);

    SpeechAvailability availability() override;
    void requestAccess(std::function<void(SpeechAvailability)> answer) override;
    std::optional<QString> startListening(Listener listener) override;
    void stopListening() override;

    // Plays what the recording hears to its listener on the calling thread;
    // false when no recording runs.
    bool hear(const QString& text);
    bool fail(const QString& description);
    bool isListening() const;

    // What availability() says; an answered request sets it.
    SpeechAvailability current = SpeechAvailability::available;
    // When set, the model is gone whatever was answered.
    bool modelMissing = false;
    // When set, requests are answered at once with this; else they wait in pendingAccess.
    std::optional<SpeechAvailability> accessAnswer;
    std::vector<std::function<void(SpeechAvailability)>> pendingAccess;
    // When set, the next start fails with this description.
    std::optional<QString> startFailure;

    // "availability", "requestAccess", "start", "start failed", "stop".
    // Main-thread calls only.
    QStringList calls;

private:
    void record(const QString& call);

    QStringList* m_journal;
    mutable std::mutex m_mutex;
    Listener m_listener;
};

} // namespace aimset
