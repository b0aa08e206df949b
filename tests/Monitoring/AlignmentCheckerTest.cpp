#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;

namespace {

const QUrl kServiceURL(QStringLiteral("https://align.example/check"));

struct AlignmentCheckerTest : ::testing::Test {
    FakeHttpClient http;
    FakeAccessibility accessibility;
    AlignmentChecker checker{http, accessibility, kServiceURL};
    test::LogCapture log;

    // Each completion records what it received; "called" tells it ran once.
    int called = 0;
    std::optional<bool> titleResult;
    std::optional<AlignmentVerdict> textResult;
    std::optional<QString> expandResult;

    void checkTitle(const QString& app = QStringLiteral("Safari"),
                    const QString& title = QStringLiteral("YouTube")) {
        checker.checkTitle(QStringLiteral("Write the report"), app, title,
                           [this](std::optional<bool> result) {
                               ++called;
                               titleResult = result;
                           });
    }
    void checkText() {
        checker.checkText(QStringLiteral("Write the report"), QStringLiteral("page text"),
                          [this](std::optional<AlignmentVerdict> result) {
                              ++called;
                              textResult = result;
                          });
    }
    void expand() {
        checker.expandAimset(QStringLiteral("Write the report"), QStringLiteral("Pricing - Docs"),
                             [this](std::optional<QString> result) {
                                 ++called;
                                 expandResult = result;
                             });
    }
};

TEST_F(AlignmentCheckerTest, RequestsCarryTheModeBodyHeaderAndTimeout) {
    checkTitle(QStringLiteral("Safari"), QStringLiteral("Cat videos"));
    checkText();
    expand();
    ASSERT_EQ(http.calls.size(), 3u);

    const HttpRequest& title = http.calls[0].request;
    EXPECT_EQ(title.url, kServiceURL);
    EXPECT_EQ(title.method, QByteArray("POST"));
    EXPECT_EQ(title.headers, (QList<QPair<QByteArray, QByteArray>>{
                                 {QByteArray("Content-Type"), QByteArray("application/json")}}));
    EXPECT_EQ(title.timeout, 10000ms);
    // Compact JSON with exactly the three members.
    EXPECT_FALSE(title.body.contains('\n'));
    EXPECT_EQ(http.calls[0].json(),
              (QJsonObject{{QStringLiteral("aimset"), QStringLiteral("Write the report")},
                           {QStringLiteral("context"), QStringLiteral("Safari - Cat videos")},
                           {QStringLiteral("mode"), QStringLiteral("title")}}));

    EXPECT_EQ(http.calls[1].request.timeout, 15000ms);
    EXPECT_EQ(http.calls[1].json(),
              (QJsonObject{{QStringLiteral("aimset"), QStringLiteral("Write the report")},
                           {QStringLiteral("context"), QStringLiteral("page text")},
                           {QStringLiteral("mode"), QStringLiteral("text")}}));

    EXPECT_EQ(http.calls[2].request.timeout, 10000ms);
    EXPECT_EQ(http.calls[2].json(),
              (QJsonObject{{QStringLiteral("aimset"), QStringLiteral("Write the report")},
                           {QStringLiteral("windowTitle"), QStringLiteral("Pricing - Docs")},
                           {QStringLiteral("mode"), QStringLiteral("expand")}}));
    EXPECT_EQ(called, 0);
}

TEST_F(AlignmentCheckerTest, ValuesPassThroughUntouched) {
    checkTitle(QString(), QStringLiteral("  Title with spaces  "));
    EXPECT_EQ(http.calls[0].json().value(QStringLiteral("context")).toString(),
              QStringLiteral(" -   Title with spaces  "));
}

TEST_F(AlignmentCheckerTest, TitleAnswers) {
    checkTitle();
    http.respondJson(0, {{QStringLiteral("aligned"), true}, {QStringLiteral("extra"), 1}});
    EXPECT_EQ(called, 1);
    EXPECT_EQ(titleResult, std::optional<bool>(true));

    checkTitle();
    http.respondJson(1, {{QStringLiteral("aligned"), false}});
    EXPECT_EQ(titleResult, std::optional<bool>(false));
    EXPECT_TRUE(log.lines().isEmpty());

    checkTitle();
    http.respondJson(2, {{QStringLiteral("aligned"), QStringLiteral("true")}});
    EXPECT_EQ(called, 3);
    EXPECT_EQ(titleResult, std::nullopt);
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[AlignmentChecker] Failed to parse proxy response")});
}

TEST_F(AlignmentCheckerTest, OnlyStatus200IsRead) {
    for (int status : {201, 204, 500}) {
        titleResult = true;
        checkTitle();
        http.respond(http.nextPending(), status, R"({"aligned":true})");
        EXPECT_EQ(titleResult, std::nullopt);
        EXPECT_EQ(log.take(),
                  QStringList{QStringLiteral("[AlignmentChecker] Proxy error: status ") +
                              QString::number(status)});
    }
    checkText();
    http.respond(http.nextPending(), -1, R"({"verdict":"ALIGNED"})");
    EXPECT_EQ(log.take(),
              QStringList{QStringLiteral("[AlignmentChecker] Text check proxy error: status -1")});
    expand();
    http.respond(http.nextPending(), 404, "");
    EXPECT_EQ(log.take(), QStringList{QStringLiteral(
                              "[AlignmentChecker] Aimset expansion proxy error: status 404")});
}

TEST_F(AlignmentCheckerTest, TransportFailuresLogTheModesRequestFailedLine) {
    checkTitle();
    checkText();
    expand();
    http.fail(0, QStringLiteral("Connection refused"));
    http.fail(1, QStringLiteral("The request timed out."));
    http.fail(2, QStringLiteral("Host not found"));
    EXPECT_EQ(called, 3);
    EXPECT_EQ(titleResult, std::nullopt);
    EXPECT_EQ(textResult, std::nullopt);
    EXPECT_EQ(expandResult, std::nullopt);
    EXPECT_EQ(
        log.take(),
        (QStringList{
            QStringLiteral("[AlignmentChecker] Request failed: Connection refused"),
            QStringLiteral("[AlignmentChecker] Text check request failed: The request timed out."),
            QStringLiteral("[AlignmentChecker] Aimset expansion request failed: Host not found"),
        }));
}

TEST_F(AlignmentCheckerTest, BodyThatIsNotJsonIsARequestFailureButAnArrayIsAParseFailure) {
    checkTitle();
    http.respond(0, 200, "<html>oops</html>");
    const QStringList notJson = log.take();
    ASSERT_EQ(notJson.size(), 1);
    EXPECT_TRUE(notJson[0].startsWith(QStringLiteral("[AlignmentChecker] Request failed: ")));
    EXPECT_GT(notJson[0].size(), QStringLiteral("[AlignmentChecker] Request failed: ").size());

    checkText();
    http.respond(1, 200, "[1,2]");
    expand();
    http.respond(2, 200, R"(["expansion"])");
    EXPECT_EQ(log.take(),
              (QStringList{
                  QStringLiteral("[AlignmentChecker] Failed to parse text check proxy response"),
                  QStringLiteral("[AlignmentChecker] Failed to parse aimset expansion response"),
              }));
    EXPECT_EQ(textResult, std::nullopt);
    EXPECT_EQ(expandResult, std::nullopt);
}

struct VerdictCase {
    QJsonObject answer;
    std::optional<AlignmentVerdict> expected;
    QStringList lines;
};

TEST_F(AlignmentCheckerTest, TextVerdictSpellings) {
    const QString parseLine =
        QStringLiteral("[AlignmentChecker] Failed to parse text check proxy response");
    const std::vector<VerdictCase> cases{
        {{{QStringLiteral("verdict"), QStringLiteral("unclear")}},
         AlignmentVerdict::unclear(QString(), QString()),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict: unclear | reason: ")}},
        {{{QStringLiteral("verdict"), QStringLiteral("UNCLEAR")},
          {QStringLiteral("question"), QStringLiteral("Is this for the report?")},
          {QStringLiteral("reason"), QStringLiteral("Could be research")}},
         AlignmentVerdict::unclear(QStringLiteral("Is this for the report?"),
                                   QStringLiteral("Could be research")),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict: UNCLEAR | reason: Could be "
                         "research")}},
        {{{QStringLiteral("verdict"), QStringLiteral("Misaligned")},
          {QStringLiteral("reason"), 42},
          {QStringLiteral("question"), QStringLiteral("dropped")}},
         AlignmentVerdict::misaligned(QString()),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict: Misaligned | reason: ")}},
        {{{QStringLiteral("verdict"), QStringLiteral("MISALIGNED")},
          {QStringLiteral("reason"), QStringLiteral("Video site")}},
         AlignmentVerdict::misaligned(QStringLiteral("Video site")),
         {QStringLiteral(
             "[AlignmentChecker] Three-tier verdict: MISALIGNED | reason: Video site")}},
        {{{QStringLiteral("verdict"), QStringLiteral("ALIGNED")}},
         AlignmentVerdict::aligned(),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict: ALIGNED | reason: ")}},
        {{{QStringLiteral("verdict"), QStringLiteral("perhaps")}},
         AlignmentVerdict::aligned(),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict: perhaps | reason: ")}},
        {{{QStringLiteral("verdict"), QString()}},
         AlignmentVerdict::aligned(),
         {QStringLiteral("[AlignmentChecker] Three-tier verdict:  | reason: ")}},
        {{{QStringLiteral("verdict"), 3}}, std::nullopt, {parseLine}},
        {{{QStringLiteral("reason"), QStringLiteral("no verdict")}}, std::nullopt, {parseLine}},
    };
    for (const VerdictCase& c : cases) {
        const int before = called;
        textResult = AlignmentVerdict::misaligned(QStringLiteral("stale"));
        checkText();
        http.respondJson(http.nextPending(), c.answer);
        EXPECT_EQ(called, before + 1);
        EXPECT_EQ(textResult, c.expected) << QJsonDocument(c.answer).toJson().toStdString();
        EXPECT_EQ(log.take(), c.lines);
    }
}

TEST_F(AlignmentCheckerTest, ExpansionIsReturnedAsReceivedEvenWhenEmpty) {
    expand();
    http.respondJson(0, {{QStringLiteral("expansion"), QStringLiteral(" report, pricing docs ")}});
    EXPECT_EQ(expandResult, std::optional<QString>(QStringLiteral(" report, pricing docs ")));
    expand();
    http.respondJson(1, {{QStringLiteral("expansion"), QString()}});
    EXPECT_EQ(expandResult, std::optional<QString>(QString()));
    expand();
    http.respondJson(2, {{QStringLiteral("expansion"), QJsonValue::Null}});
    EXPECT_EQ(expandResult, std::nullopt);
    EXPECT_EQ(log.take(),
              (QStringList{
                  QStringLiteral("[AlignmentChecker] Aimset expanded to:  report, pricing docs "),
                  QStringLiteral("[AlignmentChecker] Aimset expanded to: "),
                  QStringLiteral("[AlignmentChecker] Failed to parse aimset expansion response"),
              }));
}

TEST_F(AlignmentCheckerTest, AnswersMayArriveInAnyOrder) {
    std::vector<QString> order;
    checker.checkTitle(QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("first"),
                       [&](std::optional<bool>) { order.push_back(QStringLiteral("first")); });
    checker.checkTitle(QStringLiteral("a"), QStringLiteral("A"), QStringLiteral("second"),
                       [&](std::optional<bool>) { order.push_back(QStringLiteral("second")); });
    http.respondJson(1, {{QStringLiteral("aligned"), true}});
    http.respondJson(0, {{QStringLiteral("aligned"), true}});
    EXPECT_EQ(order, (std::vector<QString>{QStringLiteral("second"), QStringLiteral("first")}));
}

TEST_F(AlignmentCheckerTest, AnUnformableURLGivesNoResultAndNoLine) {
    AlignmentChecker unconfigured(http, accessibility, QUrl());
    std::optional<bool> result = true;
    int calls = 0;
    unconfigured.checkTitle(QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"),
                            [&](std::optional<bool> r) {
                                ++calls;
                                result = r;
                            });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(result, std::nullopt);
    EXPECT_TRUE(http.calls.empty());
    EXPECT_TRUE(log.lines().isEmpty());
}

struct ServiceURLTest : ::testing::Test {
    QByteArray saved = qgetenv("AIMSET_CHECK_URL");
    test::LogCapture log;
    ~ServiceURLTest() override {
        if (saved.isNull()) {
            qunsetenv("AIMSET_CHECK_URL");
        } else {
            qputenv("AIMSET_CHECK_URL", saved);
        }
    }
};

TEST_F(ServiceURLTest, DefaultIsTheLocalServiceAndTheEnvironmentOverridesIt) {
    qunsetenv("AIMSET_CHECK_URL");
    EXPECT_EQ(checkServiceURL(), QUrl(QStringLiteral("http://127.0.0.1:48620/check")));
    qputenv("AIMSET_CHECK_URL", "https://align.example.org/check");
    EXPECT_EQ(checkServiceURL(), QUrl(QStringLiteral("https://align.example.org/check")));
    for (const char* loopback : {"http://127.0.0.1:9000/check", "http://localhost:9000/check",
                                 "http://[::1]:9000/check"}) {
        qputenv("AIMSET_CHECK_URL", loopback);
        EXPECT_EQ(checkServiceURL(), QUrl(QString::fromLatin1(loopback)));
    }
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(ServiceURLTest, PlainHttpToAnotherHostOrGarbageIsRefusedWithALine) {
    qputenv("AIMSET_CHECK_URL", "http://align.example.org/check");
    EXPECT_TRUE(checkServiceURL().isEmpty());
    qputenv("AIMSET_CHECK_URL", "not a url at all");
    EXPECT_TRUE(checkServiceURL().isEmpty());
    EXPECT_EQ(log.take(),
              (QStringList{QStringLiteral("[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs "
                                          "https, or http on a loopback address): "
                                          "http://align.example.org/check"),
                           QStringLiteral("[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs "
                                          "https, or http on a loopback address): not a url at "
                                          "all")}));
}

} // namespace
