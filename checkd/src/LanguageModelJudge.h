#pragma once

#include "CommandLine.h"
#include "Judge.h"

#include <QJsonObject>

#include <chrono>

namespace aimset::checkd {

// Each shorter than the app's own limit (10 s, 15 s, 10 s), so that the app
// hears our failure rather than its own timeout.
struct LanguageModelTimeouts {
    std::chrono::milliseconds title{8000};
    std::chrono::milliseconds text{12000};
    std::chrono::milliseconds expand{8000};
};

// Asks a language model behind any OpenAI-compatible chat-completions
// endpoint (llama.cpp's server, Ollama, a hosted model). Every failure of
// the model, from silence to nonsense, is a JudgeFailure, never a guess.
class LanguageModelJudge final : public Judge {
public:
    using Timeouts = LanguageModelTimeouts;

    explicit LanguageModelJudge(LanguageModelSettings settings, Timeouts timeouts = {});

    QString name() const override { return QStringLiteral("llm"); }
    Judged<bool> judgeTitle(const QString& aimset, const QString& context) override;
    Judged<TextVerdict> judgeText(const QString& aimset, const QString& text) override;
    Judged<QString> expand(const QString& aimset, const QString& windowTitle) override;

    // The first JSON object in a model's answer, which may come wrapped in
    // prose or a code fence; empty when there is none.
    static std::optional<QJsonObject> extractJsonObject(const QString& answer);

private:
    Judged<QJsonObject> ask(const QString& prompt, std::chrono::milliseconds timeout) const;

    LanguageModelSettings m_settings;
    Timeouts m_timeouts;
};

} // namespace aimset::checkd
