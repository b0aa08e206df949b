#include "Monitoring/AlignmentChecker.h"
#include "Platform/Fake/FakeAccessibility.h"
#include "Platform/Fake/FakeHttpClient.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QTextBoundaryFinder>

#include <gtest/gtest.h>

using namespace aimset;

namespace {

constexpr std::int32_t kPid = 4242;

struct WindowTextExtractionTest : ::testing::Test {
    FakeHttpClient http;
    FakeAccessibility accessibility;
    AlignmentChecker checker{http,
                             accessibility,
                             QUrl(QStringLiteral("https://a.example/check")),
                             {QStringLiteral("org.keepassxc.KeePassXC")}};
    test::LogCapture log;

    void setWindow(std::shared_ptr<const AccessibleElement> window) {
        accessibility.windows.insert(kPid, std::move(window));
    }
    QString extract(const QString& bundleID = QStringLiteral("org.mozilla.firefox")) {
        return checker.extractWindowText(kPid, bundleID);
    }
};

int graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

// A chain of depth+1 elements; only the deepest carries text.
std::shared_ptr<const AccessibleElement> chainWithTextAt(int depth, const QString& text) {
    std::shared_ptr<const AccessibleElement> node = FakeElement::make()->withValue(text);
    for (int level = depth - 1; level >= 0; --level) {
        node = FakeElement::make()->adding(node);
    }
    return node;
}

TEST_F(WindowTextExtractionTest, WalksDepthFirstEachElementBeforeItsChildren) {
    setWindow(FakeElement::make(QStringLiteral("AXWindow"))
                  ->withTitle(QStringLiteral("Report"))
                  ->adding(FakeElement::make(QStringLiteral("AXGroup"))
                               ->withValue(QStringLiteral("Intro"))
                               ->withDescription(QStringLiteral("section"))
                               ->adding(FakeElement::make(QStringLiteral("AXStaticText"))
                                            ->withValue(QStringLiteral("  spaced  "))))
                  ->adding(FakeElement::make(QStringLiteral("AXButton"))
                               ->withTitle(QStringLiteral("Save"))
                               ->withDescription(QStringLiteral("Save"))
                               ->withValue(QString())));
    EXPECT_EQ(extract(), QStringLiteral("Report Intro section   spaced   Save Save"));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST_F(WindowTextExtractionTest, SecureFieldsAreSkippedWithEverythingInside) {
    setWindow(FakeElement::make(QStringLiteral("AXWindow"))
                  ->withTitle(QStringLiteral("Sign in"))
                  ->adding(FakeElement::make(QStringLiteral("AXTextField"))
                               ->withValue(QStringLiteral("alice@example.com")))
                  ->adding(FakeElement::make(kSecureTextFieldRole)
                               ->withValue(QStringLiteral("hunter2"))
                               ->withTitle(QStringLiteral("Password"))
                               ->adding(FakeElement::make(QStringLiteral("AXStaticText"))
                                            ->withValue(QStringLiteral("hunter2-nested"))))
                  ->adding(FakeElement::make(QStringLiteral("AXButton"))
                               ->withTitle(QStringLiteral("Continue"))));
    const QString text = extract();
    EXPECT_EQ(text, QStringLiteral("Sign in alice@example.com Continue"));
    EXPECT_FALSE(text.contains(QStringLiteral("hunter2")));
}

TEST_F(WindowTextExtractionTest, DepthFourteenIsReadAndFifteenIsNot) {
    setWindow(chainWithTextAt(14, QStringLiteral("deep")));
    EXPECT_EQ(extract(), QStringLiteral("deep"));
    setWindow(chainWithTextAt(15, QStringLiteral("too deep")));
    EXPECT_EQ(extract(), QString());
}

TEST_F(WindowTextExtractionTest, LongTextIsCutAtWholeCharacters) {
    // Each "character" here is several UTF-16 units: an emoji with a skin
    // tone, and an e with two combining marks.
    const QString emoji = QStringLiteral("\U0001F44D\U0001F3FD");
    const QString accented = QStringLiteral("e\u0301\u0323");
    QString value;
    for (int i = 0; i < 2250; ++i) {
        value += emoji + accented;
    }
    ASSERT_EQ(graphemeCount(value), 4500);
    setWindow(FakeElement::make()->withValue(value));
    const QString text = extract();
    EXPECT_EQ(graphemeCount(text), 4000);
    EXPECT_TRUE(value.startsWith(text));
    EXPECT_TRUE(text.endsWith(accented));

    QString exact;
    for (int i = 0; i < 2000; ++i) {
        exact += emoji + accented;
    }
    setWindow(FakeElement::make()->withValue(exact));
    EXPECT_EQ(extract(), exact);

    // The cut applies to the joined text, separators included.
    setWindow(FakeElement::make()
                  ->withValue(QString(3999, QLatin1Char('a')))
                  ->withTitle(QStringLiteral("bc")));
    EXPECT_EQ(extract(), QString(3999, QLatin1Char('a')) + QLatin1Char(' '));
}

TEST_F(WindowTextExtractionTest, PasswordManagersAreNeverRead) {
    setWindow(FakeElement::make()->withValue(QStringLiteral("vault")));
    for (const QString& id :
         {QStringLiteral("com.apple.Passwords"), QStringLiteral("com.1password.1password"),
          QStringLiteral("org.keepassxc.KeePassXC")}) {
        EXPECT_EQ(extract(id), QString());
        EXPECT_EQ(
            log.take(),
            QStringList{
                QStringLiteral("[AlignmentChecker] Skipping text extraction for sensitive app: ") +
                id});
    }
    EXPECT_TRUE(accessibility.calls.isEmpty());
    EXPECT_EQ(AlignmentChecker::sensitiveBundleIDs().size(), 8);
    // Matching is exact.
    EXPECT_EQ(extract(QStringLiteral("com.apple.passwords")), QStringLiteral("vault"));
}

TEST_F(WindowTextExtractionTest, NothingReadableGivesEmptyTextSilently) {
    accessibility.trusted = false;
    setWindow(FakeElement::make()->withValue(QStringLiteral("hidden")));
    EXPECT_EQ(extract(), QString());
    EXPECT_EQ(accessibility.calls, QStringList{QStringLiteral("isProcessTrusted")});

    accessibility.trusted = true;
    accessibility.windows.clear();
    EXPECT_EQ(extract(), QString());

    setWindow(FakeElement::make()->adding(FakeElement::make()));
    EXPECT_EQ(extract(), QString());
    EXPECT_TRUE(log.lines().isEmpty());
}

} // namespace
