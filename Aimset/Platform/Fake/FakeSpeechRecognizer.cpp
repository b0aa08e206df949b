#include "FakeSpeechRecognizer.h"

namespace aimset {

FakeSpeechRecognizer::FakeSpeechRecognizer(QStringList* journal)
    : m_journal(journal) {}

void FakeSpeechRecognizer::record(const QString& call) {
    calls << call;
    if (m_journal) {
        *m_journal << QStringLiteral("speech.") + call;
    }
}

SpeechAvailability FakeSpeechRecognizer::availability() {
    record(QStringLiteral("availability"));
    return modelMissing ? SpeechAvailability::noModel : current;
}

void FakeSpeechRecognizer::requestAccess(std::function<void(SpeechAvailability)> answer) {
    record(QStringLiteral("requestAccess"));
    if (!accessAnswer) {
        pendingAccess.push_back(std::move(answer));
        return;
    }
    // Once answered, the platform says the same from then on.
    current = *accessAnswer;
    answer(current);
}

std::optional<QString> FakeSpeechRecognizer::startListening(Listener listener) {
    if (std::optional<QString> failure = std::exchange(startFailure, std::nullopt)) {
        record(QStringLiteral("start failed"));
        return failure;
    }
    record(QStringLiteral("start"));
    std::lock_guard lock(m_mutex);
    m_listener = std::move(listener);
    return std::nullopt;
}

void FakeSpeechRecognizer::stopListening() {
    record(QStringLiteral("stop"));
    // Waits for a delivery in progress, as the real one does.
    std::lock_guard lock(m_mutex);
    m_listener = {};
}

bool FakeSpeechRecognizer::hear(const QString& text) {
    std::lock_guard lock(m_mutex);
    if (m_listener.heard) {
        m_listener.heard(text);
    }
    return static_cast<bool>(m_listener.heard);
}

bool FakeSpeechRecognizer::fail(const QString& description) {
    std::lock_guard lock(m_mutex);
    if (m_listener.failed) {
        m_listener.failed(description);
    }
    return static_cast<bool>(m_listener.failed);
}

bool FakeSpeechRecognizer::isListening() const {
    std::lock_guard lock(m_mutex);
    return static_cast<bool>(m_listener.heard);
}

} // namespace aimset
