#include "LanguageModelJudge.h"
#include "AutoJudge.h"
#include "ServiceHarness.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <httplib.h>

#include <mutex>
#include <thread>

using namespace aimset;
using namespace aimset::checkd;
using namespace aimset::checkd::test;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// An OpenAI-compatible endpoint on 127.0.0.1 whose answer the test sets:
// the assistant's message content, or a raw body, a status and a delay.
class FakeModelServer {
public:
    FakeModelServer() {
        m_server.Post("/v1/chat/completions", [this](const httplib::Request& req,
                                                     httplib::Response& res) {
            Answer answer;
            {
                std::lock_guard lock(m_mutex);
                requests.push_back(
                    QJsonDocument::fromJson(QByteArray::fromStdString(req.body)).object());
                authorizations.push_back(req.get_header_value("Authorization"));
                answer = m_answer;
            }
            std::this_thread::sleep_for(answer.delay);
            res.status = answer.status;
            if (!answer.rawBody.empty()) {
                res.set_content(answer.rawBody, "application/json");
                return;
            }
            const QJsonObject completion{
                {u"object"_s, u"chat.completion"_s},
                {u"choices"_s, QJsonArray{QJsonObject{
                                   {u"index"_s, 0},
                                   {u"message"_s, QJsonObject{{u"role"_s, u"assistant"_s},
                                                              {u"content"_s, answer.content}}}}}}};
            res.set_content(QJsonDocument(completion).toJson().toStdString(), "application/json");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running()) {
            std::this_thread::sleep_for(1ms);
        }
    }
    ~FakeModelServer() {
        m_server.stop();
        m_thread.join();
    }

    void answerWith(const QString& content, int status = 200,
                    std::chrono::milliseconds delay = 0ms) {
        std::lock_guard lock(m_mutex);
        m_answer = Answer{content, {}, status, delay};
    }
    void answerWithBody(const std::string& body) {
        std::lock_guard lock(m_mutex);
        m_answer = Answer{{}, body, 200, 0ms};
    }
    QString baseUrl() const { return u"http://127.0.0.1:%1/v1/"_s.arg(m_port); }

    std::vector<QJsonObject> requests;
    std::vector<std::string> authorizations;

private:
    struct Answer {
        QString content;
        std::string rawBody;
        int status = 200;
        std::chrono::milliseconds delay{0};
    };
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    Answer m_answer;
};

class LanguageModelJudgeTest : public ::testing::Test {
protected:
    Reply post(const QString& mode, const QString& member, const QString& value) {
        const QJsonObject body{
            {u"aimset"_s, u"Write the grant proposal"_s}, {member, value}, {u"mode"_s, mode}};
        return service.handle("POST", "/check", QJsonDocument(body).toJson());
    }
    static QJsonObject json(const Reply& reply) {
        return QJsonDocument::fromJson(reply.body).object();
    }

    aimset::test::LogCapture log;
    FakeModelServer model;
    LanguageModelJudge judge{{model.baseUrl(), u"tiny-model"_s, u"sk-test-123"_s},
                             {300ms, 300ms, 300ms}};
    CheckService service{judge};
};

TEST_F(LanguageModelJudgeTest, SendsAChatCompletionWithModelKeyAndTheWindow) {
    model.answerWith(QStringLiteral(R"({"aligned": true})"));
    const Reply reply = post(u"title"_s, u"context"_s, u"Writer - grant.odt"_s);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(json(reply).value(u"aligned"_s), QJsonValue(true));

    ASSERT_EQ(model.requests.size(), 1u);
    const QJsonObject request = model.requests.front();
    EXPECT_EQ(request.value(u"model"_s).toString(), u"tiny-model"_s);
    const QJsonArray messages = request.value(u"messages"_s).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0).toObject().value(u"role"_s).toString(), u"system"_s);
    const QString prompt = messages.at(1).toObject().value(u"content"_s).toString();
    EXPECT_TRUE(prompt.contains(u"Write the grant proposal"_s));
    EXPECT_TRUE(prompt.contains(u"Writer - grant.odt"_s));
    EXPECT_EQ(model.authorizations.front(), "Bearer sk-test-123");
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(u"sk-test-123"_s)) << line.toStdString();
    }
}

TEST_F(LanguageModelJudgeTest, ReadsAnswersWrappedInProseOrFences) {
    model.answerWith(
        u"Sure! Here is my answer:\n```json\n{\"verdict\": \"unclear\", \"reason\": \"A shop {maybe} for supplies\"}\n```\nHope that helps."_s);
    Reply reply = post(u"text"_s, u"context"_s, u"Field boots, size 43"_s);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(
        json(reply),
        (QJsonObject{{u"verdict"_s, u"UNCLEAR"_s},
                     {u"reason"_s, u"A shop {maybe} for supplies"_s},
                     {u"question"_s,
                      u"Do you need this window for \u201CWrite the grant proposal\u201D?"_s}}));

    model.answerWith(u"{\"expansion\": \"  wetland survey methods \"}"_s);
    reply = post(u"expand"_s, u"windowTitle"_s, u"Survey methods - Wikipedia"_s);
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(json(reply).value(u"expansion"_s).toString(), u"wetland survey methods"_s);
}

TEST_F(LanguageModelJudgeTest, NonsenseSilenceAndErrorsBecome502) {
    struct Bad {
        const char* name;
        std::function<void()> arrange;
        QString mode;
    };
    const std::vector<Bad> cases = {
        {"garbage", [&] { model.answerWith(u"I think it is fine"_s); }, u"title"_s},
        {"wrong type", [&] { model.answerWith(QStringLiteral(R"({"aligned": "yes"})")); },
         u"title"_s},
        {"unknown verdict", [&] { model.answerWith(QStringLiteral(R"({"verdict": "MAYBE"})")); },
         u"text"_s},
        {"empty expansion", [&] { model.answerWith(QStringLiteral(R"({"expansion": ""})")); },
         u"expand"_s},
        {"not a completion", [&] { model.answerWithBody(R"({"error": "overloaded"})"); },
         u"title"_s},
        {"server error", [&] { model.answerWith(u"{}"_s, 500); }, u"text"_s},
        {"timeout", [&] { model.answerWith(QStringLiteral(R"({"aligned": true})"), 200, 700ms); },
         u"title"_s},
    };
    for (const Bad& bad : cases) {
        bad.arrange();
        log.clear();
        const QString member = bad.mode == u"expand"_s ? u"windowTitle"_s : u"context"_s;
        const Reply reply = post(bad.mode, member, u"Writer - grant.odt"_s);
        EXPECT_EQ(reply.status, 502) << bad.name;
        EXPECT_EQ(json(reply).value(u"error"_s).toString(), u"the judge could not answer"_s)
            << bad.name;
        const QStringList lines = log.take();
        ASSERT_EQ(lines.size(), 1) << bad.name;
        EXPECT_TRUE(lines.front().startsWith(u"[checkd] Judge failed ("_s + bad.mode + u"): "_s))
            << lines.front().toStdString();
    }
}

// The model hears only what the offline judge finds unclear, and whatever
// it does wrong, the offline answer stands.
TEST_F(LanguageModelJudgeTest, AutoAsksTheModelOnlyWhenUnclearAndSurvivesItsFailures) {
    AutoJudge automatic(std::make_unique<OfflineJudge>(),
                        std::make_unique<LanguageModelJudge>(
                            LanguageModelSettings{model.baseUrl(), u"tiny-model"_s, {}},
                            LanguageModelTimeouts{300ms, 300ms, 300ms}));
    const QString aimset = u"Write the grant proposal"_s;
    const QString unclearTitle = u"Google Chrome - Peat bog restoration methods - Google Chrome"_s;
    const QString unclearText = u"Order #1182 has shipped to Leeds"_s;

    // Clear to the offline judge: no request at all.
    EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, u"Steam - Steam"_s)), false);
    EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, u"LibreOffice Writer - grant.odt"_s)),
              true);
    EXPECT_EQ(
        std::get<TextVerdict>(automatic.judgeText(aimset, u"The grant proposal, part 2"_s)).verdict,
        u"ALIGNED"_s);
    EXPECT_TRUE(model.requests.empty());

    // Unclear: the model decides.
    model.answerWith(QStringLiteral(R"({"aligned": true})"));
    EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, unclearTitle)), true);
    model.answerWith(QStringLiteral(R"({"verdict": "MISALIGNED", "reason": "A shop"})"));
    EXPECT_EQ(std::get<TextVerdict>(automatic.judgeText(aimset, unclearText)).reason, u"A shop"_s);
    EXPECT_EQ(model.requests.size(), 2u);

    // The model fails: the offline answer (not aligned, asked) stands.
    const std::vector<std::function<void()>> failures = {
        [&] { model.answerWith(u"I think it is fine"_s); },
        [&] { model.answerWith(QStringLiteral(R"({"aligned": true})"), 200, 700ms); },
    };
    for (const auto& fail : failures) {
        fail();
        EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, unclearTitle)), false);
        const TextVerdict verdict = std::get<TextVerdict>(automatic.judgeText(aimset, unclearText));
        EXPECT_EQ(verdict.verdict, u"UNCLEAR"_s);
        EXPECT_EQ(verdict.reason, u"No clear link to \u201CWrite the grant proposal\u201D"_s);
    }
}

TEST(LanguageModelAnswerTest, FindsTheFirstWholeObject) {
    EXPECT_EQ(LanguageModelJudge::extractJsonObject(u"x {a} {\"k\": \"}\"} y"_s),
              (QJsonObject{{u"k"_s, u"}"_s}}));
    EXPECT_FALSE(LanguageModelJudge::extractJsonObject(u"{\"open\": "_s).has_value());
    EXPECT_FALSE(LanguageModelJudge::extractJsonObject(QString()).has_value());
}

} // namespace
