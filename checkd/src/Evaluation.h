#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QJsonValue;

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

    // How the cases of one kind of window ended, by label.
    struct Confusion {
        int alignedKept = 0, alignedAsked = 0, alignedClosed = 0;
        int distractingKept = 0, distractingAsked = 0, distractingClosed = 0;
    };
    QMap<QString, Confusion> byCategory;

    // accuracy=A wrongly_closed=W missed=M asked=Q n=N
    QString summaryLine() const;
    // One line per category: "category=video n=12 aligned: kept=3 asked=1
    // closed=0 | distracting: kept=1 asked=2 closed=5"
    QStringList confusionLines() const;
};

// What the app sends about a case's window: "app - title" for the title
// check and, when the window could be read, what it shows for the text
// check (its own name first, then its text; its app and title when it
// shows no text).
struct CaseWindow {
    QString title;
    std::optional<QString> text;
};
CaseWindow caseWindow(const QString& app, const QString& title, const QJsonValue& text);

// Reads one case per line ({"id", "aimset", "app", "title", "text",
// "label": "aligned"|"distracting", optional "category"}) and asks the
// service as the app would: the title first; when that is not aligned, the
// text if there is any. A window without text is then a question to the
// user, and a failed check closes nothing. Each miss and each unreadable
// line is reported through the callbacks; a case without a category gets
// the one categorize gives its window ("app - title").
EvaluationResult evaluateCases(const CheckService& service, const QByteArray& jsonLines,
                               const std::function<void(const QString&)>& reportMiss,
                               const std::function<void(const QString&)>& reportProblem,
                               const std::function<QString(const QString&)>& categorize = {});

} // namespace aimset::checkd
