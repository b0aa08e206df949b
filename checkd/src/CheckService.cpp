#include "CheckService.h"

#include "Runtime/Log.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

namespace aimset::checkd {

namespace {

QByteArray toJson(const QJsonObject& object) {
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// A judge that failed gets the app's failure path, not a made-up verdict.
Reply judgeFailed(const JudgeFailure& failure, const QString& mode) {
    Log(QStringLiteral("[checkd] Judge failed (") + mode + QStringLiteral("): ") + failure.message);
    return CheckService::error(502, QStringLiteral("the judge could not answer"), mode);
}

} // namespace

CheckService::CheckService(Judge& judge)
    : m_judge(judge) {}

Reply CheckService::error(int status, const QString& message, const QString& mode) {
    return {status, toJson({{QStringLiteral("error"), message}}), mode};
}

Reply CheckService::handle(const QByteArray& method, const QByteArray& path,
                           const QByteArray& body) const {
    if (path != "/check") {
        return error(404, QStringLiteral("not found: the service answers POST /check"));
    }
    if (method != "POST") {
        return error(405, QStringLiteral("method not allowed: use POST"));
    }
    if (body.size() > maxBodyBytes) {
        return error(400, QStringLiteral("body larger than 65536 bytes"));
    }
    return check(body);
}

Reply CheckService::check(const QByteArray& body) const {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return error(400, QStringLiteral("body is not JSON: ") + parseError.errorString());
    }
    if (!document.isObject()) {
        return error(400, QStringLiteral("body must be a JSON object"));
    }
    const QJsonObject request = document.object();
    const QJsonValue modeValue = request.value(QStringLiteral("mode"));
    if (!modeValue.isString()) {
        return error(400, QStringLiteral("\"mode\" must be a string"));
    }
    const QString mode = modeValue.toString();
    QString contextMember;
    if (mode == QStringLiteral("title") || mode == QStringLiteral("text")) {
        contextMember = QStringLiteral("context");
    } else if (mode == QStringLiteral("expand")) {
        contextMember = QStringLiteral("windowTitle");
    } else {
        return error(400, QStringLiteral("unknown mode: use title, text or expand"));
    }
    const QJsonValue aimset = request.value(QStringLiteral("aimset"));
    if (!aimset.isString()) {
        return error(400, QStringLiteral("\"aimset\" must be a string"), mode);
    }
    if (aimset.toString().trimmed().isEmpty()) {
        return error(400, QStringLiteral("\"aimset\" is empty"), mode);
    }
    const QJsonValue context = request.value(contextMember);
    if (!context.isString()) {
        return error(400, QLatin1Char('"') + contextMember + QStringLiteral("\" must be a string"),
                     mode);
    }

    if (mode == QStringLiteral("title")) {
        const Judged<bool> answer = m_judge.judgeTitle(aimset.toString(), context.toString());
        if (const auto* failure = std::get_if<JudgeFailure>(&answer)) {
            return judgeFailed(*failure, mode);
        }
        return {200, toJson({{QStringLiteral("aligned"), std::get<bool>(answer)}}), mode};
    }
    if (mode == QStringLiteral("text")) {
        const Judged<TextVerdict> answer = m_judge.judgeText(aimset.toString(), context.toString());
        if (const auto* failure = std::get_if<JudgeFailure>(&answer)) {
            return judgeFailed(*failure, mode);
        }
        const TextVerdict& verdict = std::get<TextVerdict>(answer);
        QJsonObject object{{QStringLiteral("verdict"), verdict.verdict},
                           {QStringLiteral("reason"), verdict.reason}};
        if (!verdict.question.isEmpty()) {
            object.insert(QStringLiteral("question"), verdict.question);
        }
        return {200, toJson(object), mode};
    }
    const Judged<QString> answer = m_judge.expand(aimset.toString(), context.toString());
    if (const auto* failure = std::get_if<JudgeFailure>(&answer)) {
        return judgeFailed(*failure, mode);
    }
    return {200, toJson({{QStringLiteral("expansion"), std::get<QString>(answer)}}), mode};
}

} // namespace aimset::checkd
