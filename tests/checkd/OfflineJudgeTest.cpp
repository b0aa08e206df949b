#include "OfflineJudge.h"
#include "TextAnalysis.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace aimset::checkd;
using namespace Qt::StringLiterals;

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
    EXPECT_EQ(analyzeTerms(u"Reports, REPORTING; report"_s),
              (QStringList{u"report"_s, u"report"_s, u"report"_s}));
    EXPECT_EQ(analyzeTerms(u"Café Übung"_s), analyzeTerms(u"cafe ubung"_s));
    // Digits stay whole, single letters and symbols go.
    EXPECT_EQ(analyzeTerms(u"Q3 • a 2024 🚀"_s), (QStringList{u"q3"_s, u"2024"_s}));
}

TEST(TextAnalysisTest, JapaneseIsCutIntoPairsAtKana) {
    const QStringList terms = analyzeTerms(u"卒業論文の序論を書く"_s);
    EXPECT_TRUE(terms.contains(u"論文"_s));
    EXPECT_TRUE(terms.contains(u"序論"_s));
    for (const QString& term : terms) {
        EXPECT_FALSE(term.contains(u"の"_s)) << term.toStdString();
    }
    const TermBag bag(u"卒論_序論_v2.docx"_s);
    EXPECT_TRUE(bag.contains(u"序論"_s));
    EXPECT_TRUE(bag.containsPhrase(analyzePhrase(u"v2 docx"_s)));
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
    EXPECT_EQ(related.verdict, u"ALIGNED"_s);
    EXPECT_EQ(related.reason, u"Mentions grant, wetland, survey"_s);
    EXPECT_TRUE(related.question.isEmpty());

    const TextVerdict leisure =
        textAnswer(judge, aimset, "Continue watching on Netflix: season 2, episode 4");
    EXPECT_EQ(leisure.verdict, u"MISALIGNED"_s);
    EXPECT_EQ(
        leisure.reason,
        u"Looks like streaming (netflix), unrelated to \u201CDraft the grant proposal for the wetland survey\u201D"_s);

    const QString question =
        u"Do you need this window for \u201CDraft the grant proposal for the wetland survey\u201D?"_s;
    const TextVerdict unknown = textAnswer(judge, aimset, "Order #1182 has shipped to Leeds");
    EXPECT_EQ(unknown.verdict, u"UNCLEAR"_s);
    EXPECT_EQ(unknown.question, question);

    const TextVerdict empty = textAnswer(judge, aimset, "  \n ");
    EXPECT_EQ(empty.verdict, u"UNCLEAR"_s);
    EXPECT_EQ(empty.reason, u"The window shows no readable text"_s);
    EXPECT_EQ(empty.question, question);
}

TEST(OfflineJudgeExpandTest, NamesWhatTheWindowShows) {
    OfflineJudge judge;
    const auto expand = [&](const char* title) {
        return std::get<QString>(judge.expand(u"Write the report"_s, QString::fromUtf8(title)));
    };
    EXPECT_EQ(expand("(3) Peat bog hydrology - YouTube - Google Chrome"), u"Peat bog hydrology"_s);
    EXPECT_EQ(expand("Google Chrome"), u"Google Chrome"_s);
    EXPECT_EQ(expand("site_photos_march.pdf - Adobe Acrobat Reader"), u"site photos march"_s);
    EXPECT_EQ(expand("Reddit | Wetland restoration grants, any tips? — Mozilla Firefox"),
              u"Wetland restoration grants, any tips?"_s);
    EXPECT_EQ(expand(""), QString());
}

} // namespace
