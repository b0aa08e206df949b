#include "Monitoring/AlignmentChecker.h"
#include "Simulator/SimulatedDesktop.h"
#include "support/LogCapture.h"
#include "support/SpinUntil.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

const QUrl kServiceURL(u"https://align.example/check"_s);

constexpr std::int32_t kPid = 4242;

enum class Mode { title, text, expand };

struct AlignmentCheckerTest : ::testing::Test {
    SimulatedDesktop sim;
    AlignmentChecker checker{
        sim.http, sim.accessibility, kServiceURL, {u"org.keepassxc.KeePassXC"_s}};
    test::LogCapture log;
    // What each completion received, as text; one entry a completion.
    QStringList results;

    void check(Mode mode) {
        const QString aimset = u"Write the report"_s;
        if (mode == Mode::title) {
            checker.checkTitle(aimset, u"Safari"_s, u"Cat videos"_s, [this](std::optional<bool> r) {
                results << (r ? (*r ? u"true"_s : u"false"_s) : u"none"_s);
            });
        } else if (mode == Mode::text) {
            checker.checkText(aimset, u"page text"_s, [this](std::optional<AlignmentVerdict> r) {
                static const QString kinds[] = {u"aligned"_s, u"unclear"_s, u"misaligned"_s};
                results << (r ? kinds[static_cast<int>(r->kind)] + u" "_s + r->question + u"/"_s +
                                    r->reason
                              : u"none"_s);
            });
        } else {
            checker.expandAimset(aimset, u"Pricing - Docs"_s, [this](std::optional<QString> r) {
                results << (r ? u"\""_s + *r + u"\""_s : u"none"_s);
            });
        }
    }
    void setWindow(std::shared_ptr<const AccessibleElement> window) {
        sim.accessibility.windows.insert(kPid, std::move(window));
    }
    // The text, or none for a window that cannot be read.
    std::optional<QString> extract(const QString& bundleID = u"org.mozilla.firefox"_s) {
        std::optional<std::optional<QString>> result;
        checker.extractWindowText(kPid, bundleID, [&](std::optional<QString> text) {
            EXPECT_FALSE(result) << "completed twice";
            result = std::move(text);
        });
        sim.loop.runPending();
        EXPECT_TRUE(result) << "never completed";
        return result.value_or(std::nullopt);
    }
};

using WindowTextExtractionTest = AlignmentCheckerTest;

// The bodies, as sent, are in the goldens, and the title's timeout in the
// simulator's case of a slow answer.
TEST_F(AlignmentCheckerTest, RequestsCarryTheHeaderAndTimeout) {
    check(Mode::title);
    check(Mode::text);
    check(Mode::expand);
    ASSERT_EQ(sim.http.calls.size(), 3u);
    const HttpRequest& title = sim.http.calls[0].request;
    EXPECT_EQ(title.url, kServiceURL);
    EXPECT_EQ(title.headers, (QList<QPair<QByteArray, QByteArray>>{
                                 {QByteArray("Content-Type"), QByteArray("application/json")}}));
    EXPECT_EQ(sim.http.calls[1].request.timeout, 15000ms);
    EXPECT_EQ(sim.http.calls[2].request.timeout, 10000ms);
    // Values pass through untouched.
    checker.checkTitle(u"a"_s, QString(), u"  spaced  "_s, [](std::optional<bool>) {});
    EXPECT_EQ(sim.http.calls[3].json().value(u"context"_s).toString(), u" -   spaced  "_s);
}

// Every answer completes its own check exactly once, whatever the order the
// answers come in, with the result it carries or none, and at most one line.
// Status 0 is a transport failure.
TEST_F(AlignmentCheckerTest, EachAnswerGivesItsResultAndLine) {
    const QString textParse = u"Failed to parse text check proxy response"_s;
    const QString expandParse = u"Failed to parse aimset expansion response"_s;
    const struct {
        Mode mode;
        int status;
        QByteArray body;
        QString result;
        QString line;
    } cases[] = {
        {Mode::title, 200, R"({"aligned":true,"extra":1})", u"true"_s, {}},
        {Mode::title, 200, R"({"aligned":"true"})", u"none"_s, u"Failed to parse proxy response"_s},
        {Mode::title, 201, R"({"aligned":true})", u"none"_s, u"Proxy error: status 201"_s},
        {Mode::text, -1, R"({"verdict":"ALIGNED"})", u"none"_s,
         u"Text check proxy error: status -1"_s},
        {Mode::text, 0, "The request timed out.", u"none"_s,
         u"Text check request failed: The request timed out."_s},
        {Mode::expand, 0, "Host not found", u"none"_s,
         u"Aimset expansion request failed: Host not found"_s},
        // A body that is not JSON is a failed request; JSON of the wrong shape is unparsable.
        {Mode::title, 200, "<html>oops</html>", u"none"_s, u"Request failed: illegal value"_s},
        {Mode::text, 200, "[1,2]", u"none"_s, textParse},
        {Mode::expand, 200, R"(["expansion"])", u"none"_s, expandParse},
        // Verdicts: any case; anything else with a string verdict is aligned. The
        // plain verdicts with their questions and reasons, a title's "false",
        // a failing title request and expansion are in the goldens.
        {Mode::text, 200, R"({"verdict":"Misaligned","reason":42,"question":"dropped"})",
         u"misaligned /"_s, u"Three-tier verdict: Misaligned | reason: "_s},
        {Mode::text, 200, R"({"verdict":"perhaps"})", u"aligned /"_s,
         u"Three-tier verdict: perhaps | reason: "_s},
        {Mode::text, 200, R"({"verdict":3})", u"none"_s, textParse},
        {Mode::text, 200, R"({"reason":"no verdict"})", u"none"_s, textParse},
        // The expansion comes back as received, even empty.
        {Mode::expand, 200, R"({"expansion":" report, docs "})", u"\" report, docs \""_s,
         u"Aimset expanded to:  report, docs "_s},
        {Mode::expand, 200, R"({"expansion":""})", u"\"\""_s, u"Aimset expanded to: "_s},
        {Mode::expand, 200, R"({"expansion":null})", u"none"_s, expandParse},
    };
    for (const auto& c : cases) {
        check(c.mode);
    }
    for (std::size_t i = std::size(cases); i-- > 0;) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.body.toStdString());
        results.clear();
        if (c.status == 0) {
            sim.http.fail(i, QString::fromUtf8(c.body));
        } else {
            sim.http.respond(i, c.status, c.body);
        }
        EXPECT_EQ(results, QStringList{c.result});
        EXPECT_EQ(log.take(), c.line.isEmpty() ? QStringList()
                                               : QStringList{u"[AlignmentChecker] "_s + c.line});
    }
}

TEST(ServiceURLTest, UnsetMeansNoneAndOnlySafeOverridesAreTaken) {
    test::LogCapture log;
    test::ScopedEnvironment unset("AIMSET_CHECK_URL", std::nullopt);
    EXPECT_EQ(checkServiceURL(), QUrl());
    for (const char* url : {"https://align.example.org/check", "http://127.0.0.1:9000/check",
                            "http://localhost:9000/check", "http://[::1]:9000/check"}) {
        qputenv("AIMSET_CHECK_URL", url);
        EXPECT_EQ(checkServiceURL(), QUrl(QString::fromLatin1(url)));
    }
    EXPECT_TRUE(log.take().isEmpty());
    // Plain http to another host, or garbage, is refused with a line.
    for (const char* url : {"http://align.example.org/check", "not a url at all"}) {
        qputenv("AIMSET_CHECK_URL", url);
        EXPECT_TRUE(checkServiceURL().isEmpty());
        EXPECT_EQ(log.take(), QStringList{u"[AlignmentChecker] Ignoring AIMSET_CHECK_URL (needs "_s
                                          u"https, or http on a loopback address): "_s +
                                          QString::fromLatin1(url)});
    }
}

// A chain of depth+1 elements; only the deepest carries text.
std::shared_ptr<const AccessibleElement> chainWithTextAt(int depth, const QString& text) {
    std::shared_ptr<const AccessibleElement> node = FakeElement::make()->withValue(text);
    for (int level = depth - 1; level >= 0; --level) {
        node = FakeElement::make()->adding(node);
    }
    return node;
}

// Depth first, each element before its children, down to depth 14; a secure
// field is skipped with everything inside it.
TEST_F(WindowTextExtractionTest, WalksDepthFirstSkippingSecureFieldsAndTheTooDeep) {
    setWindow(
        FakeElement::make(u"AXWindow"_s)
            ->withTitle(u"Report"_s)
            ->adding(FakeElement::make(u"AXGroup"_s)
                         ->withValue(u"Intro"_s)
                         ->withDescription(u"section"_s)
                         ->adding(FakeElement::make(u"AXStaticText"_s)->withValue(u"  spaced  "_s)))
            ->adding(FakeElement::make(kPasswordRole)
                         ->withValue(u"hunter2"_s)
                         ->withTitle(u"Password"_s)
                         ->adding(FakeElement::make()->withValue(u"hunter2-nested"_s)))
            ->adding(FakeElement::make(u"AXButton"_s)
                         ->withTitle(u"Save"_s)
                         ->withDescription(u"Save"_s)
                         ->withValue(QString()))
            ->adding(chainWithTextAt(13, u"deep"_s))
            ->adding(chainWithTextAt(14, u"too deep"_s)));
    EXPECT_EQ(extract(), u"Report Intro section   spaced   Save Save deep"_s);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(WindowTextExtractionTest, LongTextIsCutAtWholeCharacters) {
    // Each "character" here is several UTF-16 units: an emoji with a skin
    // tone, and an e with two combining marks.
    const QString pair = u"\U0001F44D\U0001F3FDe\u0301\u0323"_s;
    setWindow(FakeElement::make()->withValue(pair.repeated(2250)));
    EXPECT_EQ(extract(), pair.repeated(2000));
    setWindow(FakeElement::make()->withValue(pair.repeated(2000)));
    EXPECT_EQ(extract(), pair.repeated(2000));
    // The cut applies to the joined text, separators included.
    setWindow(FakeElement::make()->withValue(QString(3999, QLatin1Char('a')))->withTitle(u"bc"_s));
    EXPECT_EQ(extract(), QString(3999, QLatin1Char('a')) + QLatin1Char(' '));
}

TEST_F(WindowTextExtractionTest, PasswordManagersAreNeverRead) {
    setWindow(FakeElement::make()->withValue(u"vault"_s));
    for (const QString& id :
         {u"com.apple.Passwords"_s, u"com.1password.1password"_s, u"org.keepassxc.KeePassXC"_s}) {
        EXPECT_EQ(extract(id), QString());
        EXPECT_EQ(
            log.take(),
            QStringList{u"[AlignmentChecker] Skipping text extraction for sensitive app: "_s + id});
    }
    EXPECT_TRUE(sim.accessibility.calls.isEmpty());
    // Matching is exact.
    EXPECT_EQ(extract(u"com.apple.passwords"_s), u"vault"_s);
}

// Without access nothing is asked of the window, and nothing is logged.
TEST_F(WindowTextExtractionTest, WithoutAccessNothingIsReadAndNothingLogged) {
    sim.accessibility.trusted = false;
    setWindow(FakeElement::make()->withValue(u"hidden"_s));
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(sim.accessibility.calls, QStringList{u"isProcessTrusted"_s});
    EXPECT_TRUE(log.lines().isEmpty());
}

} // namespace
