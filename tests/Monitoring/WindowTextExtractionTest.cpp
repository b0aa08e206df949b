#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset;
using namespace Qt::StringLiterals;

namespace {

constexpr std::int32_t kPid = 4242;

struct WindowTextExtractionTest : ::testing::Test {
    FakeHttpClient http;
    FakeAccessibility accessibility;
    AlignmentChecker checker{
        http, accessibility, QUrl(u"https://a.example/check"_s), {u"org.keepassxc.KeePassXC"_s}};
    test::LogCapture log;

    void setWindow(std::shared_ptr<const AccessibleElement> window) {
        accessibility.windows.insert(kPid, std::move(window));
    }
    // The text, or none for a window that cannot be read.
    std::optional<QString> extract(const QString& bundleID = u"org.mozilla.firefox"_s) {
        std::optional<std::optional<QString>> result;
        checker.extractWindowText(kPid, bundleID, [&](std::optional<QString> text) {
            EXPECT_FALSE(result) << "completed twice";
            result = std::move(text);
        });
        accessibility.deliverReads();
        EXPECT_TRUE(result) << "never completed";
        return result.value_or(std::nullopt);
    }
};

// A chain of depth+1 elements; only the deepest carries text.
std::shared_ptr<const AccessibleElement> chainWithTextAt(int depth, const QString& text) {
    std::shared_ptr<const AccessibleElement> node = FakeElement::make()->withValue(text);
    for (int level = depth - 1; level >= 0; --level) {
        node = FakeElement::make()->adding(node);
    }
    return node;
}

// Depth first, each element before its children; a secure field is skipped
// with everything inside it.
TEST_F(WindowTextExtractionTest, WalksDepthFirstSkippingSecureFields) {
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
                         ->withValue(QString())));
    EXPECT_EQ(extract(), u"Report Intro section   spaced   Save Save"_s);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(WindowTextExtractionTest, DepthFourteenIsReadAndFifteenIsNot) {
    setWindow(chainWithTextAt(14, u"deep"_s));
    EXPECT_EQ(extract(), u"deep"_s);
    setWindow(chainWithTextAt(15, u"too deep"_s));
    EXPECT_EQ(extract(), QString());
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
    EXPECT_TRUE(accessibility.calls.isEmpty());
    // Matching is exact.
    EXPECT_EQ(extract(u"com.apple.passwords"_s), u"vault"_s);
}

TEST_F(WindowTextExtractionTest, AnUnreadableWindowIsToldApartFromAnEmptyOneSilently) {
    accessibility.trusted = false;
    setWindow(FakeElement::make()->withValue(u"hidden"_s));
    EXPECT_EQ(extract(), std::nullopt);
    EXPECT_EQ(accessibility.calls, QStringList{u"isProcessTrusted"_s});

    accessibility.trusted = true;
    accessibility.windows.clear();
    EXPECT_EQ(extract(), std::nullopt);

    setWindow(FakeElement::make()->adding(FakeElement::make()));
    EXPECT_EQ(extract(), QString());
    EXPECT_TRUE(log.lines().isEmpty());
}

} // namespace
