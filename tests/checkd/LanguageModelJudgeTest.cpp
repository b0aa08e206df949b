#include "LanguageModelJudge.h"
#include "AutoJudge.h"
#include "CheckService.h"
#include "OfflineJudge.h"

#include "support/LogCapture.h"
#include "support/SpinUntil.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <future>

using namespace aimset;
using namespace aimset::checkd;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;
using ModelReply = aimset::test::TestHttpServer::Reply;

namespace {

const QString kAimset = u"Write the grant proposal"_s;
const QString kWindow = u"Writer - grant.odt"_s;

// A chat completion whose assistant message is `content`.
ModelReply said(const QString& content) {
    const QJsonObject message{{u"role"_s, u"assistant"_s}, {u"content"_s, content}};
    const QJsonObject choice{{u"index"_s, 0}, {u"message"_s, message}};
    return ModelReply::json(
        200, QJsonDocument(QJsonObject{{u"choices"_s, QJsonArray{choice}}}).toJson());
}

// The judge blocks while it asks: it asks from a thread of its own while the
// model, an OpenAI-compatible endpoint on 127.0.0.1, answers on this one.
template <typename Ask> auto whileTheModelAnswers(Ask ask) {
    auto answer = std::async(std::launch::async, ask);
    aimset::test::spinUntil([&] { return answer.wait_for(0s) == std::future_status::ready; });
    return answer.get();
}

class LanguageModelJudgeTest : public ::testing::Test {
protected:
    QJsonObject post(const QString& mode, int status) {
        const QString member = mode == u"expand"_s ? u"windowTitle"_s : u"context"_s;
        const QJsonObject body{{u"aimset"_s, kAimset}, {member, kWindow}, {u"mode"_s, mode}};
        const checkd::Reply answer = whileTheModelAnswers(
            [&] { return service.handle("POST", "/check", QJsonDocument(body).toJson()); });
        EXPECT_EQ(answer.status, status) << answer.body.toStdString();
        return QJsonDocument::fromJson(answer.body).object();
    }

    aimset::test::LogCapture log;
    ModelReply reply;
    aimset::test::TestHttpServer model{[this](const auto&) { return reply; }};
    const QString baseUrl = u"http://127.0.0.1:%1/v1/"_s.arg(model.port());
    LanguageModelJudge judge{{baseUrl, u"tiny-model"_s, u"sk-test-123"_s}, {300ms, 300ms, 300ms}};
    CheckService service{judge};
};

// The model gets the aimset and the window with the key; its answer is the
// first whole JSON object in what it says. Nonsense, silence and errors are
// the judge's failure, never a verdict: 502, and one line without the key.
TEST_F(LanguageModelJudgeTest, AsksTheModelInEveryModeAndItsFailuresBecome502) {
    const QJsonObject failed{{u"error"_s, u"the judge could not answer"_s}};
    // What the model says, the mode asked in, and the service's answer.
    const std::tuple<const char*, ModelReply, QString, QJsonObject> cases[] = {
        {"wrapped in prose and a fence",
         said(uR"(Sure {here}: ```json {"aligned": true} ``` Hope that helps.)"_s),
         u"title"_s,
         {{u"aligned"_s, true}}},
        {"verdict in lower case",
         said(uR"({"verdict": "unclear", "reason": "A shop {maybe} for supplies"})"_s),
         u"text"_s,
         {{u"verdict"_s, u"UNCLEAR"_s},
          {u"reason"_s, u"A shop {maybe} for supplies"_s},
          {u"question"_s, u"Do you need this window for \u201CWrite the grant proposal\u201D?"_s}}},
        {"expansion with spaces",
         said(uR"({"expansion": "  wetland survey methods "})"_s),
         u"expand"_s,
         {{u"expansion"_s, u"wetland survey methods"_s}}},
        {"garbage", said(u"I think it is fine"_s), u"title"_s, failed},
        {"wrong type", said(uR"({"aligned": "yes"})"_s), u"title"_s, failed},
        {"unknown verdict", said(uR"({"verdict": "MAYBE"})"_s), u"text"_s, failed},
        {"empty expansion", said(uR"({"expansion": ""})"_s), u"expand"_s, failed},
        {"not a completion", ModelReply::json(200, R"({"error": "overloaded"})"), u"title"_s,
         failed},
        {"server error", ModelReply::json(500, said(uR"({"verdict": "ALIGNED"})"_s).body),
         u"text"_s, failed},
        {"silence", ModelReply::silent(), u"title"_s, failed},
    };
    for (const auto& [name, modelReply, mode, answer] : cases) {
        SCOPED_TRACE(name);
        reply = modelReply;
        const bool answered = answer != failed;
        EXPECT_EQ(post(mode, answered ? 200 : 502), answer);
        const QStringList lines = log.take();
        EXPECT_EQ(lines.size(), answered ? 0 : 1) << lines.join(u'\n').toStdString();
        EXPECT_TRUE(answered ||
                    lines.value(0).startsWith(u"[checkd] Judge failed ("_s + mode + u"): "_s));
        EXPECT_FALSE(lines.join(u'\n').contains(u"sk-test-123"_s));

        ASSERT_EQ(model.received.size(), 1) << "asked once, and only once";
        const auto request = model.received.takeFirst();
        EXPECT_EQ(request.path, "/v1/chat/completions");
        EXPECT_EQ(request.headers.value("authorization"), "Bearer sk-test-123");
        const QJsonObject body = QJsonDocument::fromJson(request.body).object();
        EXPECT_EQ(body[u"model"_s], u"tiny-model"_s);
        const QJsonArray messages = body[u"messages"_s].toArray();
        ASSERT_EQ(messages.size(), 2);
        EXPECT_EQ(messages[0][u"role"_s], u"system"_s);
        const QString prompt = messages[1][u"content"_s].toString();
        EXPECT_TRUE(prompt.contains(kAimset) && prompt.contains(kWindow)) << prompt.toStdString();
    }
}

// The model hears only what the offline judge finds unclear, and whatever
// it does wrong, the offline answer stands.
TEST_F(LanguageModelJudgeTest, AutoAsksTheModelOnlyWhenUnclearAndSurvivesItsFailures) {
    AutoJudge automatic(
        std::make_unique<OfflineJudge>(),
        std::make_unique<LanguageModelJudge>(LanguageModelSettings{baseUrl, u"tiny-model"_s, {}},
                                             LanguageModelTimeouts{300ms, 300ms, 300ms}));
    const auto title = [&](const QString& window) {
        return std::get<bool>(
            whileTheModelAnswers([&] { return automatic.judgeTitle(kAimset, window); }));
    };
    const auto text = [&](const QString& windowText) {
        return std::get<TextVerdict>(
            whileTheModelAnswers([&] { return automatic.judgeText(kAimset, windowText); }));
    };
    const QString unclearTitle = u"Google Chrome - Peat bog restoration methods - Google Chrome"_s;
    const QString unclearText = u"Order #1182 has shipped to Leeds"_s;

    // Clear to the offline judge: no request at all.
    EXPECT_FALSE(title(u"Steam - Steam"_s));
    EXPECT_TRUE(title(u"LibreOffice Writer - grant.odt"_s));
    EXPECT_EQ(text(u"The grant proposal, part 2"_s).verdict, u"ALIGNED"_s);
    EXPECT_TRUE(model.received.empty());

    // Unclear: the model decides.
    reply = said(uR"({"aligned": true})"_s);
    EXPECT_TRUE(title(unclearTitle));
    reply = said(uR"({"verdict": "MISALIGNED", "reason": "A shop"})"_s);
    EXPECT_EQ(text(unclearText).reason, u"A shop"_s);
    EXPECT_EQ(model.received.size(), 2);

    // The model fails (any failure of its own is the same to the automatic
    // judge): the offline answer (not aligned, asked) stands.
    reply = ModelReply::silent();
    EXPECT_FALSE(title(unclearTitle));
    const TextVerdict verdict = text(unclearText);
    EXPECT_EQ(verdict.verdict, u"UNCLEAR"_s);
    EXPECT_EQ(verdict.reason, u"No clear link to \u201CWrite the grant proposal\u201D"_s);
}

} // namespace
