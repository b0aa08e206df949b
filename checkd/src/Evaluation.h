#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace aimset::checkd {

class CheckService;

// How a set of labelled windows fared, each taken through the app's flow.
struct EvaluationResult {
    int cases = 0;
    int right = 0;
    int alignedCases = 0;
    int distractingCases = 0;
    int wronglyClosed = 0; // "aligned" cases that ended misaligned
    int missed = 0;        // "distracting" cases that ended aligned
    int asked = 0;         // cases that ended unclear

    // accuracy=A wrongly_closed=W missed=M asked=Q n=N
    QString summaryLine() const;
};

// Reads one case per line ({"id", "aimset", "app", "title", "text",
// "label": "aligned"|"distracting"}) and asks the service as the app would:
// the title first; when that is not aligned, the text if there is any,
// otherwise the window counts as misaligned. Each miss and each unreadable
// line is reported through the callbacks.
EvaluationResult evaluateCases(const CheckService& service, const QByteArray& jsonLines,
                               const std::function<void(const QString&)>& reportMiss,
                               const std::function<void(const QString&)>& reportProblem);

} // namespace aimset::checkd
