#include "AutoJudge.h"

namespace aimset::checkd {

AutoJudge::AutoJudge(std::unique_ptr<OfflineJudge> offline, std::unique_ptr<Judge> model)
    : m_offline(std::move(offline))
    , m_model(std::move(model)) {}

Judged<bool> AutoJudge::judgeTitle(const QString& aimset, const QString& context) {
    const OfflineJudge::Decision decision = m_offline->decideTitle(aimset, context);
    const bool offlineAnswer = decision.verdict == OfflineJudge::Verdict::aligned;
    if (decision.verdict != OfflineJudge::Verdict::unclear || !m_model) {
        return offlineAnswer;
    }
    const Judged<bool> answer = m_model->judgeTitle(aimset, context);
    return std::holds_alternative<bool>(answer) ? answer : Judged<bool>(offlineAnswer);
}

Judged<TextVerdict> AutoJudge::judgeText(const QString& aimset, const QString& text) {
    const Judged<TextVerdict> offlineAnswer = m_offline->judgeText(aimset, text);
    const auto* verdict = std::get_if<TextVerdict>(&offlineAnswer);
    // An empty window gives the model nothing more to go on.
    if (!m_model || !verdict || verdict->verdict != QStringLiteral("UNCLEAR") ||
        text.trimmed().isEmpty()) {
        return offlineAnswer;
    }
    const Judged<TextVerdict> answer = m_model->judgeText(aimset, text);
    return std::holds_alternative<TextVerdict>(answer) ? answer : offlineAnswer;
}

Judged<QString> AutoJudge::expand(const QString& aimset, const QString& windowTitle) {
    return m_offline->expand(aimset, windowTitle);
}

} // namespace aimset::checkd
