#include "Evaluation.h"

#include "CheckService.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace aimset::checkd {

namespace {

// unjudged: a check failed, so the window stays as it is.
enum class Outcome { aligned, unclear, misaligned, unjudged };

QString nameOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::aligned:
        return QStringLiteral("aligned");
    case Outcome::unclear:
        return QStringLiteral("unclear");
    case Outcome::misaligned:
        return QStringLiteral("misaligned");
    case Outcome::unjudged:
        return QStringLiteral("unjudged");
    }
    return {};
}

QJsonObject post(const CheckService& service, const QJsonObject& body, int* status) {
    const Reply reply =
        service.handle("POST", "/check", QJsonDocument(body).toJson(QJsonDocument::Compact));
    *status = reply.status;
    return QJsonDocument::fromJson(reply.body).object();
}

// The app's reading of the answers: a failed check changes nothing; after a
// title that is not aligned the window's text is checked. A window that
// could not be read at all is put to the user.
Outcome runCase(const CheckService& service, const QString& aimset, const CaseWindow& window) {
    int status = 0;
    const QJsonObject titleAnswer = post(service,
                                         {{QStringLiteral("aimset"), aimset},
                                          {QStringLiteral("context"), window.title},
                                          {QStringLiteral("mode"), QStringLiteral("title")}},
                                         &status);
    const QJsonValue aligned = titleAnswer.value(QStringLiteral("aligned"));
    if (status != 200 || !aligned.isBool()) {
        return Outcome::unjudged;
    }
    if (aligned.toBool()) {
        return Outcome::aligned;
    }
    if (!window.text) {
        return Outcome::unclear;
    }
    const QJsonObject textAnswer = post(service,
                                        {{QStringLiteral("aimset"), aimset},
                                         {QStringLiteral("context"), *window.text},
                                         {QStringLiteral("mode"), QStringLiteral("text")}},
                                        &status);
    const QJsonValue verdict = textAnswer.value(QStringLiteral("verdict"));
    if (status != 200 || !verdict.isString()) {
        return Outcome::unjudged;
    }
    const QString upper = verdict.toString().toUpper();
    if (upper == QStringLiteral("UNCLEAR")) {
        return Outcome::unclear;
    }
    if (upper == QStringLiteral("MISALIGNED")) {
        return Outcome::misaligned;
    }
    return Outcome::aligned;
}

QString share(int count, int total) {
    return QString::number(total > 0 ? static_cast<double>(count) / total : 0.0, 'f', 3);
}

} // namespace

// The window reader gives the window's (or the page's) own name first, then
// what it shows, so a case's text follows its title.
CaseWindow caseWindow(const QString& app, const QString& title, const QJsonValue& text) {
    CaseWindow window{app + QStringLiteral(" - ") + title, std::nullopt};
    if (text.isString()) {
        window.text = text.toString().trimmed().isEmpty()
                          ? window.title
                          : title + QLatin1Char(' ') + text.toString();
    }
    return window;
}

QString EvaluationResult::summaryLine() const {
    return QStringLiteral("accuracy=") + share(right, cases) + QStringLiteral(" wrongly_closed=") +
           share(wronglyClosed, alignedCases) + QStringLiteral(" missed=") +
           share(missed, distractingCases) + QStringLiteral(" asked=") + share(asked, cases) +
           QStringLiteral(" n=") + QString::number(cases);
}

QStringList EvaluationResult::confusionLines() const {
    QStringList lines;
    for (auto it = byCategory.constBegin(); it != byCategory.constEnd(); ++it) {
        const Confusion& c = it.value();
        const int n = c.alignedKept + c.alignedAsked + c.alignedClosed + c.distractingKept +
                      c.distractingAsked + c.distractingClosed;
        lines.append(QStringLiteral("category=%1 n=%2 aligned: kept=%3 asked=%4 closed=%5 | "
                                    "distracting: kept=%6 asked=%7 closed=%8")
                         .arg(it.key())
                         .arg(n)
                         .arg(c.alignedKept)
                         .arg(c.alignedAsked)
                         .arg(c.alignedClosed)
                         .arg(c.distractingKept)
                         .arg(c.distractingAsked)
                         .arg(c.distractingClosed));
    }
    return lines;
}

EvaluationResult evaluateCases(const CheckService& service, const QByteArray& jsonLines,
                               const std::function<void(const QString&)>& reportMiss,
                               const std::function<void(const QString&)>& reportProblem,
                               const std::function<QString(const QString&)>& categorize) {
    EvaluationResult result;
    int lineNumber = 0;
    for (const QByteArray& rawLine : jsonLines.split('\n')) {
        ++lineNumber;
        const QByteArray line = rawLine.trimmed();
        if (line.isEmpty()) {
            continue;
        }
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        const QString label = object.value(QStringLiteral("label")).toString();
        const QString aimset = object.value(QStringLiteral("aimset")).toString();
        if ((label != QStringLiteral("aligned") && label != QStringLiteral("distracting")) ||
            aimset.isEmpty()) {
            reportProblem(QStringLiteral("line ") + QString::number(lineNumber) +
                          QStringLiteral(": not a labelled case, skipped"));
            continue;
        }
        const QString app = object.value(QStringLiteral("app")).toString();
        const QString title = object.value(QStringLiteral("title")).toString();
        const Outcome outcome =
            runCase(service, aimset, caseWindow(app, title, object.value(QStringLiteral("text"))));
        ++result.cases;
        const bool wantAligned = label == QStringLiteral("aligned");
        // A window left unjudged stays open, as an aligned one does.
        const bool kept = outcome == Outcome::aligned || outcome == Outcome::unjudged;
        QString category = object.value(QStringLiteral("category")).toString();
        if (category.isEmpty()) {
            category = categorize ? categorize(app + QStringLiteral(" - ") + title)
                                  : QStringLiteral("other");
        }
        EvaluationResult::Confusion& confusion = result.byCategory[category];
        bool right = false;
        if (wantAligned) {
            ++result.alignedCases;
            right = kept;
            result.wronglyClosed += outcome == Outcome::misaligned ? 1 : 0;
            ++(kept                          ? confusion.alignedKept
               : outcome == Outcome::unclear ? confusion.alignedAsked
                                             : confusion.alignedClosed);
        } else {
            ++result.distractingCases;
            right = !kept;
            result.missed += kept ? 1 : 0;
            ++(kept                          ? confusion.distractingKept
               : outcome == Outcome::unclear ? confusion.distractingAsked
                                             : confusion.distractingClosed);
        }
        result.asked += outcome == Outcome::unclear ? 1 : 0;
        result.right += right ? 1 : 0;
        if (!right) {
            QString id = object.value(QStringLiteral("id")).toString();
            if (id.isEmpty()) {
                id = QStringLiteral("line ") + QString::number(lineNumber);
            }
            reportMiss(QStringLiteral("miss ") + id + QStringLiteral(" label=") + label +
                       QStringLiteral(" ended=") + nameOf(outcome) + QStringLiteral(" aimset=\"") +
                       aimset + QStringLiteral("\" window=\"") + app + QStringLiteral(" - ") +
                       title + QLatin1Char('"'));
        }
    }
    return result;
}

} // namespace aimset::checkd
