#include "Evaluation.h"
#include "CheckService.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

using namespace aimset::checkd;
using namespace Qt::StringLiterals;

namespace {

// Answers from the window's own words, and records what it was asked.
class ScriptedJudge final : public Judge {
public:
    QString name() const override { return u"scripted"_s; }
    Judged<bool> judgeTitle(const QString&, const QString& context) override {
        calls << u"title "_s + context;
        return context.contains(u"fail"_s) ? Judged<bool>(JudgeFailure{u"no answer"_s})
                                           : Judged<bool>(context.contains(u"work"_s));
    }
    // The verdict is the text's last word: "page ALIGNED" (title, then text), or
    // "App - MISALIGNED" for a window without text.
    Judged<TextVerdict> judgeText(const QString&, const QString& text) override {
        calls << u"text "_s + text;
        return text.endsWith(u"broken"_s) ? Judged<TextVerdict>(JudgeFailure{u"no answer"_s})
                                          : TextVerdict{text.section(u' ', -1), {}, {}};
    }
    Judged<QString> expand(const QString&, const QString&) override { return QString(); }

    QStringList calls;
};

// text nullptr: a window that could not be read.
QByteArray caseLine(const char* id, const char* label, const char* title, const char* text) {
    const QByteArray textField = text ? R"("text":")" + QByteArray(text) + R"(",)" : QByteArray();
    return R"({"id":")" + QByteArray(id) + R"(","aimset":"Do the thing","app":"App","title":")" +
           title + R"(",)" + textField + R"("label":")" + label + "\"}\n";
}

TEST(EvaluationTest, TakesEachCaseThroughTheAppsFlowAndCounts) {
    ScriptedJudge judge;
    const CheckService service(judge);
    QByteArray cases;
    cases += caseLine("a1", "aligned", "work page", "");          // right: title aligned
    cases += caseLine("a2", "aligned", "page", "ALIGNED");        // right: text aligned
    cases += caseLine("a3", "aligned", "page", nullptr);          // unreadable: asked
    cases += caseLine("a4", "aligned", "page", "UNCLEAR");        // asked, not right
    cases += caseLine("a5", "aligned", "fail", "");               // failed title: kept
    cases += caseLine("d1", "distracting", "page", "MISALIGNED"); // right
    cases += caseLine("d2", "distracting", "page", "unclear");    // right, asked
    cases += caseLine("d3", "distracting", "work page", "");      // missed
    cases += caseLine("d4", "distracting", "page", "broken");     // failed text: kept
    cases += caseLine("d5", "distracting", "MISALIGNED", "");     // no text: judged by its title
    cases += caseLine("d6", "distracting", "ALIGNED", " ");       // the same, missed
    cases += "\n{\"aimset\":\"x\",\"label\":\"maybe\"}\nnot json\n";

    QStringList misses;
    QStringList problems;
    const EvaluationResult result = evaluateCases(
        service, cases, [&](const QString& line) { misses << line; },
        [&](const QString& line) { problems << line; },
        [](const QString& window) { return window.contains(u"work"_s) ? u"office"_s : u"web"_s; });

    // A failure or an unreadable window never closes anything.
    EXPECT_EQ(result.summaryLine(),
              u"accuracy=0.545 wrongly_closed=0.000 missed=0.500 asked=0.273 n=11"_s);
    EXPECT_EQ(
        result.confusionLines(),
        (QStringList{
            u"category=office n=2 aligned: kept=1 asked=0 closed=0 | distracting: kept=1 asked=0 closed=0"_s,
            u"category=web n=9 aligned: kept=2 asked=2 closed=0 | distracting: kept=2 asked=1 closed=2"_s}));
    EXPECT_EQ(
        misses,
        (QStringList{
            uR"(miss a3 label=aligned ended=unclear aimset="Do the thing" window="App - page")"_s,
            uR"(miss a4 label=aligned ended=unclear aimset="Do the thing" window="App - page")"_s,
            uR"(miss d3 label=distracting ended=aligned aimset="Do the thing" window="App - work page")"_s,
            uR"(miss d4 label=distracting ended=unjudged aimset="Do the thing" window="App - page")"_s,
            uR"(miss d6 label=distracting ended=aligned aimset="Do the thing" window="App - ALIGNED")"_s,
        }));
    EXPECT_EQ(problems, (QStringList{u"line 13: not a labelled case, skipped"_s,
                                     u"line 14: not a labelled case, skipped"_s}));
    // The text is checked only after a title that is not aligned and only when the
    // window could be read, after the window's title as the reader gives it; a
    // window without text sends its app and title instead.
    EXPECT_EQ(judge.calls.mid(0, 5),
              (QStringList{u"title App - work page"_s, u"title App - page"_s,
                           u"text page ALIGNED"_s, u"title App - page"_s, u"title App - page"_s}));
    EXPECT_EQ(judge.calls.mid(14),
              (QStringList{u"title App - MISALIGNED"_s, u"text App - MISALIGNED"_s,
                           u"title App - ALIGNED"_s, u"text App - ALIGNED"_s}));
}

} // namespace
