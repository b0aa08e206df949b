#include "LanguageModelJudge.h"
#include "ServiceHarness.h"

#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Qt/QtHttpClient.h"
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
                {QStringLiteral("object"), QStringLiteral("chat.completion")},
                {QStringLiteral("choices"),
                 QJsonArray{
                     QJsonObject{{QStringLiteral("index"), 0},
                                 {QStringLiteral("message"),
                                  QJsonObject{{QStringLiteral("role"), QStringLiteral("assistant")},
                                              {QStringLiteral("content"), answer.content}}}}}}};
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
    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/v1/").arg(m_port); }

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
            {QStringLiteral("aimset"), QStringLiteral("Write the grant proposal")},
            {member, value},
            {QStringLiteral("mode"), mode}};
        return service.handle("POST", "/check", QJsonDocument(body).toJson());
    }
    static QJsonObject json(const Reply& reply) {
        return QJsonDocument::fromJson(reply.body).object();
    }

    aimset::test::LogCapture log;
    FakeModelServer model;
    LanguageModelJudge judge{
        {model.baseUrl(), QStringLiteral("tiny-model"), QStringLiteral("sk-test-123")},
        {300ms, 300ms, 300ms}};
    CheckService service{judge};
};

TEST_F(LanguageModelJudgeTest, SendsAChatCompletionWithModelKeyAndTheWindow) {
    model.answerWith(QStringLiteral(R"({"aligned": true})"));
    const Reply reply = post(QStringLiteral("title"), QStringLiteral("context"),
                             QStringLiteral("Writer - grant.odt"));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(json(reply).value(QStringLiteral("aligned")), QJsonValue(true));

    ASSERT_EQ(model.requests.size(), 1u);
    const QJsonObject request = model.requests.front();
    EXPECT_EQ(request.value(QStringLiteral("model")).toString(), QStringLiteral("tiny-model"));
    const QJsonArray messages = request.value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0).toObject().value(QStringLiteral("role")).toString(),
              QStringLiteral("system"));
    const QString prompt = messages.at(1).toObject().value(QStringLiteral("content")).toString();
    EXPECT_TRUE(prompt.contains(QStringLiteral("Write the grant proposal")));
    EXPECT_TRUE(prompt.contains(QStringLiteral("Writer - grant.odt")));
    EXPECT_EQ(model.authorizations.front(), "Bearer sk-test-123");
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("sk-test-123"))) << line.toStdString();
    }
}

TEST_F(LanguageModelJudgeTest, ReadsAnswersWrappedInProseOrFences) {
    model.answerWith(QStringLiteral(
        "Sure! Here is my answer:\n```json\n{\"verdict\": \"unclear\", \"reason\": \"A shop "
        "{maybe} for supplies\"}\n```\nHope that helps."));
    Reply reply = post(QStringLiteral("text"), QStringLiteral("context"),
                       QStringLiteral("Field boots, size 43"));
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(
        json(reply),
        (QJsonObject{{QStringLiteral("verdict"), QStringLiteral("UNCLEAR")},
                     {QStringLiteral("reason"), QStringLiteral("A shop {maybe} for supplies")},
                     {QStringLiteral("question"),
                      QStringLiteral("Do you need this window for \u201CWrite the grant "
                                     "proposal\u201D?")}}));

    model.answerWith(QStringLiteral("{\"expansion\": \"  wetland survey methods \"}"));
    reply = post(QStringLiteral("expand"), QStringLiteral("windowTitle"),
                 QStringLiteral("Survey methods - Wikipedia"));
    ASSERT_EQ(reply.status, 200);
    EXPECT_EQ(json(reply).value(QStringLiteral("expansion")).toString(),
              QStringLiteral("wetland survey methods"));
}

TEST_F(LanguageModelJudgeTest, NonsenseSilenceAndErrorsBecome502) {
    struct Bad {
        const char* name;
        std::function<void()> arrange;
        QString mode;
    };
    const std::vector<Bad> cases = {
        {"garbage", [&] { model.answerWith(QStringLiteral("I think it is fine")); },
         QStringLiteral("title")},
        {"wrong type", [&] { model.answerWith(QStringLiteral(R"({"aligned": "yes"})")); },
         QStringLiteral("title")},
        {"unknown verdict", [&] { model.answerWith(QStringLiteral(R"({"verdict": "MAYBE"})")); },
         QStringLiteral("text")},
        {"empty expansion", [&] { model.answerWith(QStringLiteral(R"({"expansion": ""})")); },
         QStringLiteral("expand")},
        {"not a completion", [&] { model.answerWithBody(R"({"error": "overloaded"})"); },
         QStringLiteral("title")},
        {"server error", [&] { model.answerWith(QStringLiteral("{}"), 500); },
         QStringLiteral("text")},
        {"timeout", [&] { model.answerWith(QStringLiteral(R"({"aligned": true})"), 200, 700ms); },
         QStringLiteral("title")},
    };
    for (const Bad& bad : cases) {
        bad.arrange();
        log.clear();
        const QString member = bad.mode == QStringLiteral("expand") ? QStringLiteral("windowTitle")
                                                                    : QStringLiteral("context");
        const Reply reply = post(bad.mode, member, QStringLiteral("Writer - grant.odt"));
        EXPECT_EQ(reply.status, 502) << bad.name;
        EXPECT_EQ(json(reply).value(QStringLiteral("error")).toString(),
                  QStringLiteral("the judge could not answer"))
            << bad.name;
        const QStringList lines = log.take();
        ASSERT_EQ(lines.size(), 1) << bad.name;
        EXPECT_TRUE(lines.front().startsWith(QStringLiteral("[checkd] Judge failed (") + bad.mode +
                                             QStringLiteral("): ")))
            << lines.front().toStdString();
    }
}

// Over real HTTP, a failing model sends the app down its failure path.
TEST_F(LanguageModelJudgeTest, TheAppsClientSeesTheFailureStatus) {
    RunningService running(judge);
    QtHttpClient http;
    FakeAccessibility accessibility;
    AlignmentChecker checker(http, accessibility, running.url());
    model.answerWith(QStringLiteral("no idea"));
    std::optional<std::optional<bool>> answer;
    checker.checkTitle(QStringLiteral("Write the grant proposal"), QStringLiteral("Writer"),
                       QStringLiteral("grant.odt"), [&](std::optional<bool> a) { answer = a; });
    spinUntil([&] { return answer.has_value(); });
    ASSERT_TRUE(answer.has_value());
    EXPECT_FALSE(answer->has_value());
    EXPECT_TRUE(log.lines().contains(QStringLiteral("[AlignmentChecker] Proxy error: status 502")));
}

TEST(LanguageModelAnswerTest, FindsTheFirstWholeObject) {
    EXPECT_EQ(LanguageModelJudge::extractJsonObject(QStringLiteral("x {a} {\"k\": \"}\"} y")),
              (QJsonObject{{QStringLiteral("k"), QStringLiteral("}")}}));
    EXPECT_FALSE(LanguageModelJudge::extractJsonObject(QStringLiteral("{\"open\": ")).has_value());
    EXPECT_FALSE(LanguageModelJudge::extractJsonObject(QString()).has_value());
}

} // namespace
