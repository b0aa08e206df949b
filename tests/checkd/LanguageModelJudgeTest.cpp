#include "LanguageModelJudge.h"
#include "AutoJudge.h"
#include "CheckService.h"
#include "OfflineJudge.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestHttpServer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>

using namespace aimset;
using namespace aimset::checkd;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

// A chat completion whose assistant message is `content`.
QByteArray chat(const QString& content) {
    const QJsonObject message{{u"role"_s, u"assistant"_s}, {u"content"_s, content}};
    const QJsonObject choice{{u"index"_s, 0}, {u"message"_s, message}};
    return QJsonDocument(QJsonObject{{u"choices"_s, QJsonArray{choice}}}).toJson();
}

// An OpenAI-compatible endpoint on 127.0.0.1, on a thread of its own (the
// judge blocks while it asks): every request gets the reply the test sets.
class FakeModel {
public:
    using Reply = aimset::test::TestHttpServer::Reply;

    FakeModel() {
        m_thread.start();
        m_context.moveToThread(&m_thread);
        onServerThread([this] {
            m_server = std::make_unique<aimset::test::TestHttpServer>([this](const auto&) {
                std::lock_guard lock(m_mutex);
                return m_reply;
            });
        });
    }
    ~FakeModel() {
        onServerThread([this] { m_server.reset(); });
        m_thread.quit();
        m_thread.wait();
    }

    void say(const QString& content) { reply(Reply::json(200, chat(content))); }
    void reply(const Reply& reply) {
        std::lock_guard lock(m_mutex);
        m_reply = reply;
    }
    QString baseUrl() const { return u"http://127.0.0.1:%1/v1/"_s.arg(m_server->port()); }
    const QList<aimset::test::TestHttpServer::Request>& requests() const {
        return m_server->received;
    }

private:
    void onServerThread(const std::function<void()>& task) {
        QMetaObject::invokeMethod(&m_context, task, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_context;
    std::unique_ptr<aimset::test::TestHttpServer> m_server;
    std::mutex m_mutex;
    Reply m_reply;
};

class LanguageModelJudgeTest : public ::testing::Test {
protected:
    QJsonObject post(const QString& mode, const QString& window, int status = 200) {
        const QString member = mode == u"expand"_s ? u"windowTitle"_s : u"context"_s;
        const QJsonObject body{
            {u"aimset"_s, u"Write the grant proposal"_s}, {member, window}, {u"mode"_s, mode}};
        const Reply reply = service.handle("POST", "/check", QJsonDocument(body).toJson());
        EXPECT_EQ(reply.status, status) << reply.body.toStdString();
        return QJsonDocument::fromJson(reply.body).object();
    }

    aimset::test::LogCapture log;
    FakeModel model;
    LanguageModelJudge judge{{model.baseUrl(), u"tiny-model"_s, u"sk-test-123"_s},
                             {300ms, 300ms, 300ms}};
    CheckService service{judge};
};

// The model gets the aimset and the window with the key; its answer is the
// first whole JSON object in what it says.
TEST_F(LanguageModelJudgeTest, AsksTheModelAndReadsItsAnswerInEveryMode) {
    model.say(uR"(Sure {here}: ```json {"aligned": true} ``` Hope that helps.)"_s);
    EXPECT_EQ(post(u"title"_s, u"Writer - grant.odt"_s), (QJsonObject{{u"aligned"_s, true}}));
    ASSERT_EQ(model.requests().size(), 1);
    EXPECT_EQ(model.requests().front().path, "/v1/chat/completions");
    EXPECT_EQ(model.requests().front().headers.value("authorization"), "Bearer sk-test-123");
    const QJsonObject request = QJsonDocument::fromJson(model.requests().front().body).object();
    EXPECT_EQ(request.value(u"model"_s).toString(), u"tiny-model"_s);
    const QJsonArray messages = request.value(u"messages"_s).toArray();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages.at(0).toObject().value(u"role"_s).toString(), u"system"_s);
    const QString prompt = messages.at(1).toObject().value(u"content"_s).toString();
    EXPECT_TRUE(prompt.contains(u"Write the grant proposal"_s) &&
                prompt.contains(u"Writer - grant.odt"_s))
        << prompt.toStdString();

    model.say(uR"({"verdict": "unclear", "reason": "A shop {maybe} for supplies"})"_s);
    EXPECT_EQ(
        post(u"text"_s, u"Field boots, size 43"_s),
        (QJsonObject{{u"verdict"_s, u"UNCLEAR"_s},
                     {u"reason"_s, u"A shop {maybe} for supplies"_s},
                     {u"question"_s,
                      u"Do you need this window for \u201CWrite the grant proposal\u201D?"_s}}));
    model.say(uR"({"expansion": "  wetland survey methods "})"_s);
    EXPECT_EQ(post(u"expand"_s, u"Survey methods - Wikipedia"_s),
              (QJsonObject{{u"expansion"_s, u"wetland survey methods"_s}}));
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(u"sk-test-123"_s)) << line.toStdString();
    }
}

// Nonsense, silence and errors are the judge's failure, never a verdict.
TEST_F(LanguageModelJudgeTest, NonsenseSilenceAndErrorsBecome502) {
    using R = FakeModel::Reply;
    const auto said = [](const char* content) {
        return R::json(200, chat(QString::fromUtf8(content)));
    };
    const struct {
        const char* name;
        R reply;
        QString mode;
    } cases[] = {
        {"garbage", said("I think it is fine"), u"title"_s},
        {"wrong type", said(R"({"aligned": "yes"})"), u"title"_s},
        {"unknown verdict", said(R"({"verdict": "MAYBE"})"), u"text"_s},
        {"empty expansion", said(R"({"expansion": ""})"), u"expand"_s},
        {"not a completion", R::json(200, R"({"error": "overloaded"})"), u"title"_s},
        {"server error", R::json(500, chat(uR"({"verdict": "ALIGNED"})"_s)), u"text"_s},
        {"silence", R::silent(), u"title"_s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model.reply(c.reply);
        log.clear();
        EXPECT_EQ(post(c.mode, u"Writer - grant.odt"_s, 502),
                  (QJsonObject{{u"error"_s, u"the judge could not answer"_s}}));
        const QStringList lines = log.take();
        ASSERT_EQ(lines.size(), 1);
        EXPECT_TRUE(lines.front().startsWith(u"[checkd] Judge failed ("_s + c.mode + u"): "_s))
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
    EXPECT_TRUE(model.requests().empty());

    // Unclear: the model decides.
    model.say(uR"({"aligned": true})"_s);
    EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, unclearTitle)), true);
    model.say(uR"({"verdict": "MISALIGNED", "reason": "A shop"})"_s);
    EXPECT_EQ(std::get<TextVerdict>(automatic.judgeText(aimset, unclearText)).reason, u"A shop"_s);
    EXPECT_EQ(model.requests().size(), 2);

    // The model fails (nonsense, silence): the offline answer (not aligned, asked) stands.
    for (const auto& failure :
         {FakeModel::Reply::json(200, chat(u"I think it is fine"_s)), FakeModel::Reply::silent()}) {
        model.reply(failure);
        EXPECT_EQ(std::get<bool>(automatic.judgeTitle(aimset, unclearTitle)), false);
        const TextVerdict verdict = std::get<TextVerdict>(automatic.judgeText(aimset, unclearText));
        EXPECT_EQ(verdict.verdict, u"UNCLEAR"_s);
        EXPECT_EQ(verdict.reason, u"No clear link to \u201CWrite the grant proposal\u201D"_s);
    }
}

} // namespace
