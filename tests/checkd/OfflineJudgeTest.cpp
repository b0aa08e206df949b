#include "OfflineJudge.h"
#include "TextAnalysis.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset::checkd;

namespace {

bool titleAnswer(OfflineJudge& judge, const char* aimset, const char* context) {
    const Judged<bool> answer =
        judge.judgeTitle(QString::fromUtf8(aimset), QString::fromUtf8(context));
    EXPECT_TRUE(std::holds_alternative<bool>(answer));
    return std::get<bool>(answer);
}

TextVerdict textAnswer(OfflineJudge& judge, const char* aimset, const char* text) {
    const Judged<TextVerdict> answer =
        judge.judgeText(QString::fromUtf8(aimset), QString::fromUtf8(text));
    EXPECT_TRUE(std::holds_alternative<TextVerdict>(answer));
    return std::get<TextVerdict>(answer);
}

TEST(TextAnalysisTest, WordFormsCaseAndAccentsMeet) {
    EXPECT_EQ(analyzeTerms(QStringLiteral("Reports, REPORTING; report")),
              (QStringList{QStringLiteral("report"), QStringLiteral("report"),
                           QStringLiteral("report")}));
    EXPECT_EQ(analyzeTerms(QStringLiteral("Café Übung")),
              analyzeTerms(QStringLiteral("cafe ubung")));
    // Digits stay whole, single letters and symbols go.
    EXPECT_EQ(analyzeTerms(QStringLiteral("Q3 • a 2024 🚀")),
              (QStringList{QStringLiteral("q3"), QStringLiteral("2024")}));
}

TEST(TextAnalysisTest, JapaneseIsCutIntoPairsAtKana) {
    const QStringList terms = analyzeTerms(QStringLiteral("卒業論文の序論を書く"));
    EXPECT_TRUE(terms.contains(QStringLiteral("論文")));
    EXPECT_TRUE(terms.contains(QStringLiteral("序論")));
    for (const QString& term : terms) {
        EXPECT_FALSE(term.contains(QStringLiteral("の"))) << term.toStdString();
    }
    const TermBag bag(QStringLiteral("卒論_序論_v2.docx"));
    EXPECT_TRUE(bag.contains(QStringLiteral("序論")));
    EXPECT_TRUE(bag.containsPhrase(analyzePhrase(QStringLiteral("v2 docx"))));
}

TEST(OfflineJudgeTitleTest, OverlapWinsAndLeisureLoses) {
    OfflineJudge judge;
    const char* aimset = "Draft the grant proposal for the wetland survey";
    EXPECT_TRUE(titleAnswer(judge, aimset, "LibreOffice Writer - wetland_grant_v2.odt"));
    // Related words of the same field count too.
    EXPECT_TRUE(titleAnswer(judge, "Prepare the investor pitch",
                            "Google Chrome - Q2 deck - Google Slides - Google Chrome"));
    EXPECT_FALSE(titleAnswer(judge, aimset, "Firefox - Home - Netflix — Mozilla Firefox"));
    EXPECT_FALSE(titleAnswer(judge, aimset, "Google Chrome - (4) Home / X - Google Chrome"));
    EXPECT_FALSE(titleAnswer(judge, aimset, "Steam - Steam"));
    // A browser page with nothing in common and no work purpose.
    EXPECT_FALSE(titleAnswer(judge, aimset,
                             "Google Chrome - 25 Cutest Puppies of the Year - Google Chrome"));
}

TEST(OfflineJudgeTitleTest, ThinEvidenceKeepsTheWindow) {
    OfflineJudge judge;
    const char* aimset = "Draft the grant proposal for the wetland survey";
    // A work tool or a reference site without overlap: no reason to close.
    EXPECT_TRUE(titleAnswer(judge, aimset, "LibreOffice Writer - Untitled 1"));
    EXPECT_TRUE(titleAnswer(judge, aimset, "Firefox - Peat - Wikipedia — Mozilla Firefox"));
    // Music plays in the background.
    EXPECT_TRUE(titleAnswer(judge, aimset, "Spotify - Nils Frahm - Says"));
    // A leisure site the aimset itself names is the work.
    EXPECT_TRUE(titleAnswer(judge, "Write a review of the new Netflix thriller",
                            "Firefox - Home - Netflix — Mozilla Firefox"));
}

TEST(OfflineJudgeTitleTest, ANamedSiteCountsOnlyWithTheWorkOnThePage) {
    OfflineJudge judge;
    const char* aimset = "Cut my YouTube video about sourdough baking";
    EXPECT_FALSE(titleAnswer(judge, aimset, "Google Chrome - Trending - YouTube - Google Chrome"));
    EXPECT_TRUE(titleAnswer(
        judge, aimset, "Google Chrome - Sourdough baking in 10 steps - YouTube - Google Chrome"));
}

TEST(OfflineJudgeTextTest, VerdictsWithReasonsAndQuestion) {
    OfflineJudge judge;
    const char* aimset = "Draft the grant proposal for the wetland survey";

    const TextVerdict related = textAnswer(
        judge, aimset, "Section 2: the wetland survey covers six sites; the grant pays for boats.");
    EXPECT_EQ(related.verdict, QStringLiteral("ALIGNED"));
    EXPECT_EQ(related.reason, QStringLiteral("Mentions grant, wetland, survey"));
    EXPECT_TRUE(related.question.isEmpty());

    const TextVerdict leisure =
        textAnswer(judge, aimset, "Continue watching on Netflix: season 2, episode 4");
    EXPECT_EQ(leisure.verdict, QStringLiteral("MISALIGNED"));
    EXPECT_EQ(leisure.reason,
              QStringLiteral("Looks like streaming (netflix), unrelated to \u201CDraft the grant "
                             "proposal for the wetland survey\u201D"));

    const QString question = QStringLiteral(
        "Do you need this window for \u201CDraft the grant proposal for the wetland survey\u201D?");
    const TextVerdict unknown = textAnswer(judge, aimset, "Order #1182 has shipped to Leeds");
    EXPECT_EQ(unknown.verdict, QStringLiteral("UNCLEAR"));
    EXPECT_EQ(unknown.question, question);

    const TextVerdict empty = textAnswer(judge, aimset, "  \n ");
    EXPECT_EQ(empty.verdict, QStringLiteral("UNCLEAR"));
    EXPECT_EQ(empty.reason, QStringLiteral("The window shows no readable text"));
    EXPECT_EQ(empty.question, question);
}

TEST(OfflineJudgeExpandTest, NamesWhatTheWindowShows) {
    OfflineJudge judge;
    const auto expand = [&](const char* title) {
        return std::get<QString>(
            judge.expand(QStringLiteral("Write the report"), QString::fromUtf8(title)));
    };
    EXPECT_EQ(expand("(3) Peat bog hydrology - YouTube - Google Chrome"),
              QStringLiteral("Peat bog hydrology"));
    EXPECT_EQ(expand("Google Chrome"), QStringLiteral("Google Chrome"));
    EXPECT_EQ(expand("site_photos_march.pdf - Adobe Acrobat Reader"),
              QStringLiteral("site photos march"));
    EXPECT_EQ(expand("Reddit | Wetland restoration grants, any tips? — Mozilla Firefox"),
              QStringLiteral("Wetland restoration grants, any tips?"));
    EXPECT_EQ(expand(""), QString());
}

} // namespace
