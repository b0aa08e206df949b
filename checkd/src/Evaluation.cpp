#include "Evaluation.h"

#include "CheckService.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace aimset::checkd {

namespace {

enum class Outcome { aligned, unclear, misaligned };

QString nameOf(Outcome outcome) {
    switch (outcome) {
    case Outcome::aligned:
        return QStringLiteral("aligned");
    case Outcome::unclear:
        return QStringLiteral("unclear");
    case Outcome::misaligned:
        return QStringLiteral("misaligned");
    }
    return {};
}

QJsonObject post(const CheckService& service, const QJsonObject& body, int* status) {
    const Reply reply =
        service.handle("POST", "/check", QJsonDocument(body).toJson(QJsonDocument::Compact));
    *status = reply.status;
    return QJsonDocument::fromJson(reply.body).object();
}

// The app's reading of the answers: a failed title check changes nothing,
// a failed text check counts as misaligned.
Outcome runCase(const CheckService& service, const QString& aimset, const QString& app,
                const QString& title, const QString& text) {
    int status = 0;
    const QJsonObject titleAnswer =
        post(service,
             {{QStringLiteral("aimset"), aimset},
              {QStringLiteral("context"), QString(app + QStringLiteral(" - ") + title)},
              {QStringLiteral("mode"), QStringLiteral("title")}},
             &status);
    const QJsonValue aligned = titleAnswer.value(QStringLiteral("aligned"));
    if (status != 200 || !aligned.isBool() || aligned.toBool()) {
        return Outcome::aligned;
    }
    if (text.isEmpty()) {
        return Outcome::misaligned;
    }
    const QJsonObject textAnswer = post(service,
                                        {{QStringLiteral("aimset"), aimset},
                                         {QStringLiteral("context"), text},
                                         {QStringLiteral("mode"), QStringLiteral("text")}},
                                        &status);
    const QJsonValue verdict = textAnswer.value(QStringLiteral("verdict"));
    if (status != 200 || !verdict.isString()) {
        return Outcome::misaligned;
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

QString EvaluationResult::summaryLine() const {
    return QStringLiteral("accuracy=") + share(right, cases) + QStringLiteral(" wrongly_closed=") +
           share(wronglyClosed, alignedCases) + QStringLiteral(" missed=") +
           share(missed, distractingCases) + QStringLiteral(" asked=") + share(asked, cases) +
           QStringLiteral(" n=") + QString::number(cases);
}

EvaluationResult evaluateCases(const CheckService& service, const QByteArray& jsonLines,
                               const std::function<void(const QString&)>& reportMiss,
                               const std::function<void(const QString&)>& reportProblem) {
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
            runCase(service, aimset, app, title, object.value(QStringLiteral("text")).toString());
        ++result.cases;
        const bool wantAligned = label == QStringLiteral("aligned");
        bool right = false;
        if (wantAligned) {
            ++result.alignedCases;
            right = outcome == Outcome::aligned;
            result.wronglyClosed += outcome == Outcome::misaligned ? 1 : 0;
        } else {
            ++result.distractingCases;
            right = outcome != Outcome::aligned;
            result.missed += outcome == Outcome::aligned ? 1 : 0;
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
