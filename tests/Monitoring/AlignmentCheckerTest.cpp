#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QUrl kServiceURL(u"https://align.example/check"_s);

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

    void checkTitle(const QString& app = u"Safari"_s, const QString& title = u"YouTube"_s) {
        checker.checkTitle(u"Write the report"_s, app, title, [this](std::optional<bool> result) {
            ++called;
            titleResult = result;
        });
    }
    void checkText() {
        checker.checkText(u"Write the report"_s, u"page text"_s,
                          [this](std::optional<AlignmentVerdict> result) {
                              ++called;
                              textResult = result;
                          });
    }
    void expand() {
        checker.expandAimset(u"Write the report"_s, u"Pricing - Docs"_s,
                             [this](std::optional<QString> result) {
                                 ++called;
                                 expandResult = result;
                             });
    }
};

TEST_F(AlignmentCheckerTest, RequestsCarryTheModeBodyHeaderAndTimeout) {
    checkTitle(u"Safari"_s, u"Cat videos"_s);
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
    EXPECT_EQ(http.calls[0].json(), (QJsonObject{{u"aimset"_s, u"Write the report"_s},
                                                 {u"context"_s, u"Safari - Cat videos"_s},
                                                 {u"mode"_s, u"title"_s}}));

    EXPECT_EQ(http.calls[1].request.timeout, 15000ms);
    EXPECT_EQ(http.calls[1].json(), (QJsonObject{{u"aimset"_s, u"Write the report"_s},
                                                 {u"context"_s, u"page text"_s},
                                                 {u"mode"_s, u"text"_s}}));

    EXPECT_EQ(http.calls[2].request.timeout, 10000ms);
    EXPECT_EQ(http.calls[2].json(), (QJsonObject{{u"aimset"_s, u"Write the report"_s},
                                                 {u"windowTitle"_s, u"Pricing - Docs"_s},
                                                 {u"mode"_s, u"expand"_s}}));
    EXPECT_EQ(called, 0);
    // Values pass through untouched.
    checkTitle(QString(), u"  Title with spaces  "_s);
    EXPECT_EQ(http.calls[3].json().value(u"context"_s).toString(), u" -   Title with spaces  "_s);
}

TEST_F(AlignmentCheckerTest, TitleAnswers) {
    checkTitle();
    http.respondJson(0, {{u"aligned"_s, true}, {u"extra"_s, 1}});
    EXPECT_EQ(called, 1);
    EXPECT_EQ(titleResult, std::optional<bool>(true));

    checkTitle();
    http.respondJson(1, {{u"aligned"_s, false}});
    EXPECT_EQ(titleResult, std::optional<bool>(false));
    EXPECT_TRUE(log.lines().isEmpty());

    checkTitle();
    http.respondJson(2, {{u"aligned"_s, u"true"_s}});
    EXPECT_EQ(called, 3);
    EXPECT_EQ(titleResult, std::nullopt);
    EXPECT_EQ(log.take(), QStringList{u"[AlignmentChecker] Failed to parse proxy response"_s});
}

TEST_F(AlignmentCheckerTest, OnlyStatus200IsRead) {
    for (int status : {201, 204, 500}) {
        titleResult = true;
        checkTitle();
        http.respond(http.nextPending(), status, R"({"aligned":true})");
        EXPECT_EQ(titleResult, std::nullopt);
        EXPECT_EQ(log.take(), QStringList{u"[AlignmentChecker] Proxy error: status "_s +
                                          QString::number(status)});
    }
    checkText();
    http.respond(http.nextPending(), -1, R"({"verdict":"ALIGNED"})");
    EXPECT_EQ(log.take(), QStringList{u"[AlignmentChecker] Text check proxy error: status -1"_s});
    expand();
    http.respond(http.nextPending(), 404, "");
    EXPECT_EQ(log.take(),
              QStringList{u"[AlignmentChecker] Aimset expansion proxy error: status 404"_s});
}

TEST_F(AlignmentCheckerTest, TransportFailuresLogTheModesRequestFailedLine) {
    checkTitle();
    checkText();
    expand();
    http.fail(0, u"Connection refused"_s);
    http.fail(1, u"The request timed out."_s);
    http.fail(2, u"Host not found"_s);
    EXPECT_EQ(called, 3);
    EXPECT_EQ(titleResult, std::nullopt);
    EXPECT_EQ(textResult, std::nullopt);
    EXPECT_EQ(expandResult, std::nullopt);
    EXPECT_EQ(log.take(),
              (QStringList{
                  u"[AlignmentChecker] Request failed: Connection refused"_s,
                  u"[AlignmentChecker] Text check request failed: The request timed out."_s,
                  u"[AlignmentChecker] Aimset expansion request failed: Host not found"_s,
              }));
}

TEST_F(AlignmentCheckerTest, BodyThatIsNotJsonIsARequestFailureButAnArrayIsAParseFailure) {
    checkTitle();
    http.respond(0, 200, "<html>oops</html>");
    const QStringList notJson = log.take();
    ASSERT_EQ(notJson.size(), 1);
    EXPECT_TRUE(notJson[0].startsWith(u"[AlignmentChecker] Request failed: "_s));
    EXPECT_GT(notJson[0].size(), u"[AlignmentChecker] Request failed: "_s.size());

    checkText();
    http.respond(1, 200, "[1,2]");
    expand();
    http.respond(2, 200, R"(["expansion"])");
    EXPECT_EQ(log.take(), (QStringList{
                              u"[AlignmentChecker] Failed to parse text check proxy response"_s,
                              u"[AlignmentChecker] Failed to parse aimset expansion response"_s,
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
    const QString parseLine = u"[AlignmentChecker] Failed to parse text check proxy response"_s;
    const std::vector<VerdictCase> cases{
        {{{u"verdict"_s, u"unclear"_s}},
         AlignmentVerdict::unclear(QString(), QString()),
         {u"[AlignmentChecker] Three-tier verdict: unclear | reason: "_s}},
        {{{u"verdict"_s, u"UNCLEAR"_s},
          {u"question"_s, u"Is this for the report?"_s},
          {u"reason"_s, u"Could be research"_s}},
         AlignmentVerdict::unclear(u"Is this for the report?"_s, u"Could be research"_s),
         {u"[AlignmentChecker] Three-tier verdict: UNCLEAR | reason: Could be research"_s}},
        {{{u"verdict"_s, u"Misaligned"_s}, {u"reason"_s, 42}, {u"question"_s, u"dropped"_s}},
         AlignmentVerdict::misaligned(QString()),
         {u"[AlignmentChecker] Three-tier verdict: Misaligned | reason: "_s}},
        {{{u"verdict"_s, u"MISALIGNED"_s}, {u"reason"_s, u"Video site"_s}},
         AlignmentVerdict::misaligned(u"Video site"_s),
         {u"[AlignmentChecker] Three-tier verdict: MISALIGNED | reason: Video site"_s}},
        {{{u"verdict"_s, u"ALIGNED"_s}},
         AlignmentVerdict::aligned(),
         {u"[AlignmentChecker] Three-tier verdict: ALIGNED | reason: "_s}},
        {{{u"verdict"_s, u"perhaps"_s}},
         AlignmentVerdict::aligned(),
         {u"[AlignmentChecker] Three-tier verdict: perhaps | reason: "_s}},
        {{{u"verdict"_s, QString()}},
         AlignmentVerdict::aligned(),
         {u"[AlignmentChecker] Three-tier verdict:  | reason: "_s}},
        {{{u"verdict"_s, 3}}, std::nullopt, {parseLine}},
        {{{u"reason"_s, u"no verdict"_s}}, std::nullopt, {parseLine}},
    };
    for (const VerdictCase& c : cases) {
        const int before = called;
        textResult = AlignmentVerdict::misaligned(u"stale"_s);
        checkText();
        http.respondJson(http.nextPending(), c.answer);
        EXPECT_EQ(called, before + 1);
        EXPECT_EQ(textResult, c.expected) << QJsonDocument(c.answer).toJson().toStdString();
        EXPECT_EQ(log.take(), c.lines);
    }
}

TEST_F(AlignmentCheckerTest, ExpansionIsReturnedAsReceivedEvenWhenEmpty) {
    expand();
    http.respondJson(0, {{u"expansion"_s, u" report, pricing docs "_s}});
    EXPECT_EQ(expandResult, std::optional<QString>(u" report, pricing docs "_s));
    expand();
    http.respondJson(1, {{u"expansion"_s, QString()}});
    EXPECT_EQ(expandResult, std::optional<QString>(QString()));
    expand();
    http.respondJson(2, {{u"expansion"_s, QJsonValue::Null}});
    EXPECT_EQ(expandResult, std::nullopt);
    EXPECT_EQ(log.take(), (QStringList{
                              u"[AlignmentChecker] Aimset expanded to:  report, pricing docs "_s,
                              u"[AlignmentChecker] Aimset expanded to: "_s,
                              u"[AlignmentChecker] Failed to parse aimset expansion response"_s,
                          }));
}

TEST_F(AlignmentCheckerTest, AnswersMayArriveInAnyOrder) {
    std::vector<QString> order;
    checker.checkTitle(u"a"_s, u"A"_s, u"first"_s,
                       [&](std::optional<bool>) { order.push_back(u"first"_s); });
    checker.checkTitle(u"a"_s, u"A"_s, u"second"_s,
                       [&](std::optional<bool>) { order.push_back(u"second"_s); });
    http.respondJson(1, {{u"aligned"_s, true}});
    http.respondJson(0, {{u"aligned"_s, true}});
    EXPECT_EQ(order, (std::vector<QString>{u"second"_s, u"first"_s}));
}

TEST_F(AlignmentCheckerTest, AnUnformableURLGivesNoResultAndNoLine) {
    AlignmentChecker unconfigured(http, accessibility, QUrl());
    std::optional<bool> result = true;
    int calls = 0;
    unconfigured.checkTitle(u"a"_s, u"b"_s, u"c"_s, [&](std::optional<bool> r) {
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

TEST_F(ServiceURLTest, UnsetMeansNoneAndOnlySafeOverridesAreTaken) {
    qunsetenv("AIMSET_CHECK_URL");
    EXPECT_EQ(checkServiceURL(), QUrl());
    qputenv("AIMSET_CHECK_URL", "https://align.example.org/check");
    EXPECT_EQ(checkServiceURL(), QUrl(u"https://align.example.org/check"_s));
    for (const char* loopback : {"http://127.0.0.1:9000/check", "http://localhost:9000/check",
                                 "http://[::1]:9000/check"}) {
        qputenv("AIMSET_CHECK_URL", loopback);
        EXPECT_EQ(checkServiceURL(), QUrl(QString::fromLatin1(loopback)));
    }
    EXPECT_TRUE(log.lines().isEmpty());
    // Plain http to another host, or garbage, is refused with a line.
    qputenv("AIMSET_CHECK_URL", "http://align.example.org/check");
    EXPECT_TRUE(checkServiceURL().isEmpty());
    qputenv("AIMSET_CHECK_URL", "not a url at all");
    EXPECT_TRUE(checkServiceURL().isEmpty());
    EXPECT_EQ(
        log.take(),
        (QStringList{
            u"[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs https, or http on a loopback address): http://align.example.org/check"_s,
            u"[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs https, or http on a loopback address): not a url at all"_s}));
}

} // namespace
